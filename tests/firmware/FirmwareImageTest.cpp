// The page layout of an image, its description, and the carried stand-in.
#include <gtest/gtest.h>

#include <string_view>

#include "firmware/CarriedFirmware.hpp"
#include "firmware/FirmwareImage.hpp"
#include "firmware/Sha256.hpp"

namespace nuv::test {
namespace {

TEST(FirmwareImageTest, ImagesAreLaidOutInPagesOf256FilledWithFF) {
    EXPECT_EQ(PageCount(1), 1U);
    EXPECT_EQ(PageCount(256), 1U);
    EXPECT_EQ(PageCount(257), 2U);
    EXPECT_EQ(PageCount(17830), 70U);  // 69 whole pages and one of 166 bytes

    std::vector<std::uint8_t> image(17830);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i / 256);
    const PageBuffer buffer(image);
    EXPECT_EQ(buffer.Pages(), 70U);
    EXPECT_EQ(buffer.Page(1)[0], 0x01);
    EXPECT_EQ(buffer.Page(68)[255], 68);
    const auto last = buffer.Page(69);
    EXPECT_EQ(last[0], 69);
    EXPECT_EQ(last[165], 69);  // 69 * 256 + 165 = 17829, the last image byte
    EXPECT_TRUE(
        std::all_of(last.begin() + 166, last.end(), [](std::uint8_t b) { return b == 0xFF; }));
    // Every page after the image's is erased flash, to the end of the buffer.
    for (const std::size_t page : {std::size_t{70}, kPageBufferSize / 256 - 1}) {
        const auto erased = buffer.Page(page);
        EXPECT_TRUE(
            std::all_of(erased.begin(), erased.end(), [](std::uint8_t b) { return b == 0xFF; }));
    }
    EXPECT_THROW(static_cast<void>(buffer.Page(kPageBufferSize / 256)), std::out_of_range);
    EXPECT_THROW(PageBuffer(std::vector<std::uint8_t>(kPageBufferSize + 1)), std::invalid_argument);
}

TEST(FirmwareImageTest, DescriptionAndPageRanges) {
    const FirmwareImage image{{'a', 'b', 'c'}, "test.bin (raw binary)", false};
    EXPECT_EQ(DescribeImage(image),
              "Firmware image: test.bin (raw binary), 3 B, 1 pages\n"
              "SHA-256: ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // Each image is described by its own hash, whatever was described before it.
    const FirmwareImage empty{{}, "empty.bin (raw binary)", false};
    EXPECT_EQ(DescribeImage(empty),
              "Firmware image: empty.bin (raw binary), 0 B, 0 pages\n"
              "SHA-256: e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(DescribeImage(image).substr(DescribeImage(image).size() - 64),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(PageRanges({}), "");
    EXPECT_EQ(PageRanges({5}), "5");
    EXPECT_EQ(PageRanges({5, 7, 8, 9, 69}), "5, 7-9, 69");
}

TEST(FirmwareImageTest, TheStandInIsMarkedDeterministicAndOfTheCarriedSize) {
    const std::vector<std::uint8_t> standIn = StandInFirmwareImage();
    ASSERT_EQ(standIn.size(), 17830U);
    EXPECT_EQ(StandInFirmwareImage(), standIn);
    for (std::size_t at = 0; at + kStandInNotice.size() <= standIn.size(); at += 1024) {
        const std::string_view text(reinterpret_cast<const char*>(standIn.data()) + at,
                                    kStandInNotice.size());
        EXPECT_EQ(text, kStandInNotice) << at;
    }
    const auto tag = FindBuildTag(standIn);
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->firmwareClass, 0x00);
    EXPECT_EQ(tag->build, 0x48);
    // Between the notices the bytes take many values, as a program's do.
    const std::set<std::uint8_t> values(standIn.begin() + 200, standIn.begin() + 1000);
    EXPECT_GT(values.size(), 200U);

    // This build carries no product image, so it carries the stand-in, and says so.
    ASSERT_TRUE(CarriesStandIn());
    const FirmwareImage& carried = CarriedFirmwareImage();
    EXPECT_EQ(carried.bytes, standIn);
    EXPECT_TRUE(carried.standIn);
    EXPECT_EQ(carried.origin,
              "STAND-IN of build 00.48 for development and tests, NOT FOR REAL MODULES");
    EXPECT_EQ(CarriedBootLoaderIdentification(),
              (BootLoaderKey{0x4E, 0x4F, 0x54, 0x2D, 0x52, 0x45, 0x41, 0x4C}));
    EXPECT_FALSE(FindBuildTag(std::vector<std::uint8_t>(kBuildTag.begin(), kBuildTag.end())));
}

}  // namespace
}  // namespace nuv::test
