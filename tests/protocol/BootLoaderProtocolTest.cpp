// The boot loader's page encoding: scrambling and the check byte, against vectors worked out by
// hand from the key bytes.
#include <gtest/gtest.h>

#include "protocol/BootLoaderProtocol.hpp"
#include "tests/link/LinkFixture.hpp"

namespace nuv::test {
namespace {

PageBytes Filled(std::uint8_t value) {
    PageBytes page{};
    page.fill(value);
    return page;
}

std::vector<std::uint8_t> Bytes(const PageBytes& page, std::size_t from, std::size_t count) {
    return {page.begin() + static_cast<std::ptrdiff_t>(from),
            page.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

// k1 = 11, k2 = 22, k4 = 44, k6 = 66: odd mask ~44 + 11 = CC, even mask ~66 - 22 = 77.
constexpr BootLoaderKey kKey{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};

TEST(BootLoaderProtocolTest, ScramblingFollowsPositionParityAndThirds) {
    const PageBytes zeros = ScramblePage(Filled(0x00), kKey);
    // 0: even, third (18); 1: odd (55); 2: even (FA); 3: odd, third (21); 4, 5, 6 likewise.
    EXPECT_EQ(Bytes(zeros, 0, 7), Hex("6F 98 8F EE 89 9C 69"));
    // 254: even, not a third; 255: odd, a third.
    EXPECT_EQ(Bytes(zeros, 254, 2), Hex("73 12"));
    const PageBytes ones = ScramblePage(Filled(0xFF), kKey);
    EXPECT_EQ(Bytes(ones, 0, 4), Hex("90 67 70 11"));
    EXPECT_EQ(Bytes(ones, 254, 2), Hex("8C ED"));
}

TEST(BootLoaderProtocolTest, MasksWrapModulo256AndOnlyFourKeyBytesCount) {
    // ~00 + 02 = 101 -> 01; ~FF - 01 = -1 -> FF.
    const BootLoaderKey wrapping{0x00, 0x02, 0x01, 0x00, 0x00, 0x00, 0xFF, 0x00};
    EXPECT_EQ(Bytes(ScramblePage(Filled(0x00), wrapping), 0, 4), Hex("E7 55 07 23"));
    const BootLoaderKey others{0xAA, 0x02, 0x01, 0xAA, 0x00, 0xAA, 0xFF, 0xAA};
    EXPECT_EQ(ScramblePage(Filled(0x5A), others), ScramblePage(Filled(0x5A), wrapping));
}

TEST(BootLoaderProtocolTest, UnscramblingRestoresThePage) {
    PageBytes plain{};
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const PageBytes sent = ScramblePage(plain, kKey);
    EXPECT_NE(sent, plain);
    EXPECT_EQ(UnscramblePage(sent, kKey), plain);
}

TEST(BootLoaderProtocolTest, CheckByteIsTheSumOfThePlainBytes) {
    PageBytes counting{};
    for (std::size_t i = 0; i < counting.size(); ++i) counting[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(PageCheckByte(counting), 0x80);      // 0 + 1 + ... + 255 = 7F80
    EXPECT_EQ(PageCheckByte(Filled(0xFF)), 0x00);  // 256 * FF = FF00
    // The last page of 17830 bytes of 01: 166 image bytes and 90 bytes FF, 166 + 90 * 255.
    PageBytes last = Filled(0xFF);
    std::fill_n(last.begin(), 166, 0x01);
    EXPECT_EQ(PageCheckByte(last), 0x4C);
    EXPECT_EQ(PageNumberBytes(1), (std::array<std::uint8_t, 2>{0x00, 0x01}));
    EXPECT_EQ(PageNumberBytes(0x1F7), (std::array<std::uint8_t, 2>{0x01, 0xF7}));
}

}  // namespace
}  // namespace nuv::test
