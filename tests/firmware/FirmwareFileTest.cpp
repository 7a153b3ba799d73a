// A firmware file checked before use: a clear reason for every file that cannot be written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "firmware/FirmwareFile.hpp"

namespace nuv::test {
namespace {

class FirmwareFileTest : public ::testing::Test {
  protected:
    FirmwareFileTest() { std::filesystem::create_directories(folder); }
    ~FirmwareFileTest() override { std::filesystem::remove_all(folder); }

    std::string Write(const std::string& name, const std::string& content) {
        const std::string path = folder + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    const std::string folder = ::testing::TempDir() + "nuv-firmware-files";
};

TEST_F(FirmwareFileTest, RawAndHexImagesAreReadWithTheirOrigin) {
    const std::string raw(17830, '\x01');
    const FirmwareFileResult binary = LoadFirmwareFile(Write("build.bin", raw));
    ASSERT_TRUE(binary.image) << binary.error;
    EXPECT_EQ(binary.image->bytes.size(), 17830U);
    EXPECT_EQ(binary.image->origin, folder + "/build.bin (raw binary)");
    EXPECT_FALSE(binary.image->standIn);

    const FirmwareFileResult hex =
        LoadFirmwareFile(Write("build.HEX", ":03000000010203F7\n:00000001FF\n"));
    ASSERT_TRUE(hex.image) << hex.error;
    EXPECT_EQ(hex.image->bytes, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(hex.image->origin, folder + "/build.HEX (Intel HEX)");
    // By its text, whatever the name.
    const FirmwareFileResult text =
        LoadFirmwareFile(Write("build.txt", ":03000000010203F7\n:00000001FF\n"));
    ASSERT_TRUE(text.image) << text.error;
    EXPECT_EQ(text.image->bytes.size(), 3U);
    // The whole flash below the boot loader is still an image: 503 pages, the last one short.
    const FirmwareFileResult full =
        LoadFirmwareFile(Write("full.bin", std::string(0x1F700, '\x02')));
    ASSERT_TRUE(full.image) << full.error;
    EXPECT_EQ(PageCount(full.image->bytes.size()), 503U);
}

TEST_F(FirmwareFileTest, EveryUnusableFileSaysWhy) {
    EXPECT_EQ(LoadFirmwareFile(Write("empty.hex", "")).error, "is empty");
    EXPECT_EQ(LoadFirmwareFile(folder).error, "is a folder, not a file");
    EXPECT_EQ(LoadFirmwareFile(folder + "/missing.bin").error,
              "cannot be read: No such file or directory");
    EXPECT_EQ(LoadFirmwareFile(Write("big.bin", std::string(kPageBufferSize + 1, '\x01'))).error,
              "holds 131073 bytes; an image fits the page buffer of 131072 bytes");
    EXPECT_EQ(LoadFirmwareFile(Write("bad.hex", ":03000000010203F8\n:00000001FF\n")).error,
              "is not a usable Intel HEX file: line 1: checksum F8 is wrong (the record needs F7)");
    EXPECT_EQ(LoadFirmwareFile("/dev/null").error, "is not a regular file");
    // One byte more would reach into the boot loader's own section.
    EXPECT_EQ(LoadFirmwareFile(Write("over.bin", std::string(0x1F701, '\x01'))).error,
              "describes 128769 bytes; the module's flash below its boot loader takes 128768");
}

// A raw image is taken only when it can be one: a text (notes, a listing, a HEX file spoilt
// by a binary byte) or a file shorter than a page is refused with what it is.
TEST_F(FirmwareFileTest, ATextOrAFileShorterThanAPageIsNoRawImage) {
    const std::string textRefusal =
        "is a text file, not a firmware image (neither Intel HEX nor a raw binary image)";
    EXPECT_EQ(LoadFirmwareFile(Write("notes.txt", "These are my notes on module 17.\n")).error,
              textRefusal);
    // Long enough for a page, with Windows line ends, tabs and Polish letters in UTF-8.
    std::string notes;
    while (notes.size() < 1000) notes += "Moduł 7:\tczujnik 3 wymieniony\r\n";
    EXPECT_EQ(LoadFirmwareFile(Write("notes.bin", notes)).error, textRefusal);
    EXPECT_EQ(LoadFirmwareFile(Write("short.bin", std::string(255, '\x01'))).error,
              "holds 255 bytes, less than one page of 256: too short for a raw image");
    // A file that begins with ':' is Intel HEX, whatever follows, and the reader says why not.
    EXPECT_EQ(LoadFirmwareFile(Write("spoilt.bin", ":03000000010203F7\n\x01\x02\n")).error,
              "is not a usable Intel HEX file: line 2: a record must begin with ':'");

    // A page of bytes that are not all text is an image, and so is the smallest one.
    const FirmwareFileResult page = LoadFirmwareFile(Write("page.bin", std::string(256, '\x01')));
    ASSERT_TRUE(page.image) << page.error;
    EXPECT_EQ(page.image->bytes.size(), 256U);
    std::string mostlyText(2000, 'A');
    mostlyText[1500] = '\xFF';
    const FirmwareFileResult binary = LoadFirmwareFile(Write("image.bin", mostlyText));
    ASSERT_TRUE(binary.image) << binary.error;
    EXPECT_EQ(binary.image->origin, folder + "/image.bin (raw binary)");
}

TEST_F(FirmwareFileTest, AnUnreadableFileIsRefused) {
    const std::string path = Write("locked.bin", "\x01\x02");
    std::filesystem::permissions(path, std::filesystem::perms::none);
    // Root reads any file; as another user the missing permission counts.
    const bool asRoot = ::geteuid() == 0;
    if (asRoot && ::seteuid(65534) != 0) {
        GTEST_SKIP() << "cannot drop root to test permissions";
    }
    const FirmwareFileResult result = LoadFirmwareFile(path);
    if (asRoot) {
        ASSERT_EQ(::seteuid(0), 0);
    }
    EXPECT_FALSE(result.image);
    EXPECT_EQ(result.error, "cannot be read: Permission denied");
}

}  // namespace
}  // namespace nuv::test
