#include <gtest/gtest.h>

#include "protocol/Crc8.hpp"
#include "protocol/ModbusCrc.hpp"
#include "tests/link/LinkFixture.hpp"

namespace nuv::test {
namespace {

TEST(OneWireCrc8, KnownSerialsCheckOut) {
    EXPECT_EQ(OneWireCrc8(Hex("28 23 77 58 02 00 00")), 0x46);
    EXPECT_EQ(OneWireCrc8(Hex("28 23 77 58 02 00 00 46")), 0x00);
    EXPECT_EQ(OneWireCrc8(Hex("02 1C B8 01 00 00 00")), 0xA2);
    EXPECT_EQ(OneWireCrc8({}), 0x00);
}

TEST(ModbusCrc, CheckValueAndKnownFrames) {
    const std::string digits = "123456789";
    const std::vector<std::uint8_t> ascii(digits.begin(), digits.end());
    const ModbusCrcBytes check = ModbusCrc(ascii);
    EXPECT_EQ(check.first, 0x37);
    EXPECT_EQ(check.second, 0x4B);
    EXPECT_EQ(check.Value(), 0x4B37);

    const ModbusCrcBytes request = ModbusCrc(Hex("01 03 00 00 00 01"));
    EXPECT_EQ(request.first, 0x84);
    EXPECT_EQ(request.second, 0x0A);
    const ModbusCrcBytes service = ModbusCrc(Hex("FA 55 AA CC 55"));
    EXPECT_EQ(service.first, 0x58);
    EXPECT_EQ(service.second, 0xC7);
}

TEST(ModbusCrc, TakenPieceByPieceItIsTheSame) {
    const ModbusCrcBytes head = ModbusCrc(Hex("01 03"));
    const ModbusCrcBytes whole = ModbusCrcContinue(head, Hex("00 00 00 01"));
    EXPECT_EQ(whole.first, 0x84);
    EXPECT_EQ(whole.second, 0x0A);
    EXPECT_EQ(ModbusCrcContinue(ModbusCrcContinue(kModbusCrcStart, Hex("31 32 33 34")),
                                Hex("35 36 37 38 39"))
                  .Value(),
              0x4B37);
    EXPECT_EQ(ModbusCrcContinue(head, {}).Value(), head.Value());
}

TEST(ModbusCrc, CheckForm) {
    EXPECT_EQ(ModbusCrcCheck(Hex("01 03 00 00 00 01 84 0A"), 6), 0);
    EXPECT_EQ(ModbusCrcCheck(Hex("01 03 00 00 00 01 84 0B"), 6), 1);
    EXPECT_EQ(ModbusCrcCheck(Hex("01 03 00 00 00 01 0A 84"), 6), 1);
    EXPECT_EQ(ModbusCrcCheck(Hex("01 03 00"), 2), 1);  // too short to hold the CRC
}

}  // namespace
}  // namespace nuv::test
