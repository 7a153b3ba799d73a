// "Update from file…": the chosen file is checked before anything reaches the driver.
#include <filesystem>
#include <fstream>

#include "firmware/FirmwareCommands.hpp"
#include "tests/firmware/FirmwareUpdateFixture.hpp"

namespace nuv::test {
namespace {

class FirmwareFileCommandTest : public FirmwareUpdateTest {
  protected:
    FirmwareFileCommandTest() { std::filesystem::create_directories(folder); }
    ~FirmwareFileCommandTest() override { std::filesystem::remove_all(folder); }
    std::string Write(const std::string& name, const std::string& content) {
        const std::string path = folder + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    const std::string folder = ::testing::TempDir() + "nuv-firmware-command";
};

TEST_F(FirmwareFileCommandTest, AValidHexFileIsDescribedAndWritten) {
    // Two records, 3 bytes at 0 and 1 byte at 0x0300: 769 bytes, 4 pages.
    dialogs.fileToOpen = Write("build.hex", ":03000000010203F7\n:01030000AA52\n:00000001FF\n");
    Click(panel.btnUpdateFromFile);
    EXPECT_EQ(dialogs.filesAsked, 1);
    std::vector<std::uint8_t> image(769, 0xFF);
    image[0] = 1;
    image[1] = 2;
    image[2] = 3;
    image[768] = 0xAA;
    EXPECT_EQ(tool.log.Text(), "Firmware image: " + *dialogs.fileToOpen +
                                   " (Intel HEX), 769 B, 4 pages\nSHA-256: " + Sha256Hex(image) +
                                   "\nWriting Firmware... OK\n\n"
                                   // three bytes are no firmware the module can run
                                   "The module reports firmware FF.FF after the update: the "
                                   "image written is no firmware it can run. Write the carried "
                                   "build (Update Firmware).\n");
    EXPECT_EQ(PagesOnTheWire(), Range(0, 3));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), loader.Flash().begin()));
    EXPECT_EQ(panel.Edit4.Text(), "769");
}

TEST_F(FirmwareFileCommandTest, AnUnusableFileSaysWhyAndNothingReachesTheDriver) {
    std::filesystem::create_directories(folder + "/folder.hex");
    const std::string locked = Write("locked.bin", "\x01\x02");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    const std::vector<std::pair<std::string, std::string>> files{
        {Write("bad.hex", ":03000000010203F8\n:00000001FF\n"),
         "is not a usable Intel HEX file: line 1: checksum F8 is wrong (the record needs F7)"},
        {Write("far.hex", ":020000040002F8\n:010000005AA5\n:00000001FF\n"),
         "is not a usable Intel HEX file: line 2: data at 0x20000..0x20000 lies beyond the "
         "page buffer of 131072 bytes"},
        {Write("empty.hex", ""), "is empty"},
        {folder + "/folder.hex", "is a folder, not a file"},
    };
    for (const auto& [path, why] : files) {
        SCOPED_TRACE(path);
        dialogs.fileToOpen = path;
        tool.log.SetText("before");
        const std::size_t calls = driver.CallCount();
        Click(panel.btnUpdateFromFile);
        EXPECT_EQ(tool.log.Text(),
                  "Firmware file " + path + " " + why + "\nNothing has been sent to the module.\n");
        EXPECT_EQ(tool.log.Runs().front().colour, colour::ErrorRed);
        EXPECT_EQ(driver.CallCount(), calls);
    }
    // As root, only another user meets the missing permission.
    dialogs.fileToOpen = locked;
    const bool asRoot = ::geteuid() == 0;
    if (!asRoot || ::seteuid(65534) == 0) {
        Click(panel.btnUpdateFromFile);
        if (asRoot) {
            ASSERT_EQ(::seteuid(0), 0);
        }
        EXPECT_EQ(tool.log.Text(), "Firmware file " + locked +
                                       " cannot be read: Permission denied\nNothing has been "
                                       "sent to the module.\n");
    }
    EXPECT_TRUE(device.Written().empty());
    EXPECT_EQ(tool.link.LinkBaud(), 9600U);
}

TEST_F(FirmwareFileCommandTest, ACancelledDialogDoesNothing) {
    tool.log.SetText("before");
    const std::size_t calls = driver.CallCount();
    Click(panel.btnUpdateFromFile);
    EXPECT_EQ(dialogs.filesAsked, 1);
    EXPECT_EQ(tool.log.Text(), "before");
    EXPECT_EQ(driver.CallCount(), calls);
}

}  // namespace
}  // namespace nuv::test
