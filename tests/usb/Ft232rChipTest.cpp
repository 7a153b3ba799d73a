// The emulated FT232R alone, on a virtual clock: the baud divisors it decodes, the packets it
// sends on the bulk IN endpoint, how fast it takes bulk OUT bytes, and its modem-control lines.
#include <gtest/gtest.h>

#include "tests/link/LinkFixture.hpp"
#include "usbemu/Ft232rChip.hpp"

namespace nuv::test {
namespace {

using usbemu::DecodeBaudRate;
using usbemu::Ft232rChip;
using usbemu::SetupPacket;

constexpr std::int64_t kMs = 1'000'000;

std::string HexOf(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char two[4];
    for (const std::uint8_t b : bytes) {
        std::snprintf(two, sizeof two, text.empty() ? "%02X" : " %02X", b);
        text += two;
    }
    return text;
}

TEST(Ft232rBaudDivisor, DecodesTheWholePartAndTheEighths) {
    EXPECT_EQ(DecodeBaudRate(0x4138, 0x0000), 9600U);     // 312 + 1/2
    EXPECT_EQ(DecodeBaudRate(0x001A, 0x0000), 115385U);   // 26
    EXPECT_EQ(DecodeBaudRate(0xC04E, 0x0000), 38400U);    // 78 + 1/8
    EXPECT_EQ(DecodeBaudRate(0x8034, 0x0000), 57416U);    // 52 + 1/4
    EXPECT_EQ(DecodeBaudRate(0x0034, 0x0001), 57279U);    // 52 + 3/8 (code 4: the index bit)
    EXPECT_EQ(DecodeBaudRate(0x0000, 0x0000), 3000000U);  // divisor 0: 3 MBd
    EXPECT_EQ(DecodeBaudRate(0x0001, 0x0000), 2000000U);  // divisor 1: 2 MBd
    EXPECT_EQ(DecodeBaudRate(0x2710, 0x0000), 300U);      // 10000
}

class Ft232rChipTest : public ::testing::Test {
  protected:
    std::optional<std::vector<std::uint8_t>> Vendor(std::uint8_t request, std::uint16_t value,
                                                    std::uint16_t index = 1,
                                                    std::uint16_t length = 0) {
        const std::uint8_t type = length > 0 ? 0xC0 : 0x40;
        return chip.Control(SetupPacket{type, request, value, index, length}, {});
    }
    VirtualClock clock{5 * kMs};
    Ft232rChip chip{{}, clock};
    sim::SimDevice& wire = chip.Wire();
};

TEST_F(Ft232rChipTest, AnInPacketIsDueAtTheLatencyPeriodOrWhenSixtyTwoBytesWait) {
    // The default latency is 16 ms: nothing before, a status-only packet at it.
    EXPECT_FALSE(chip.NextInPacket().has_value());
    clock.AdvanceNs(16 * kMs);
    EXPECT_EQ(HexOf(*chip.NextInPacket()), "01 60");

    ASSERT_TRUE(Vendor(usbemu::sio::kSetLatencyTimer, 1).has_value());
    EXPECT_EQ(HexOf(*Vendor(usbemu::sio::kGetLatencyTimer, 0, 1, 1)), "01");
    std::vector<std::uint8_t> bytes(70);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
    wire.SendBurst(bytes, clock.NowNs());
    clock.AdvanceNs(2 * kMs);  // a burst arrives one byte time (1.04 ms) after it is sent
    // 62 waiting bytes go at once, whole packet; the rest waits for the latency period.
    const auto full = chip.NextInPacket();
    ASSERT_TRUE(full.has_value());
    ASSERT_EQ(full->size(), 64U);
    EXPECT_EQ(HexOf({full->begin(), full->begin() + 4}), "01 60 00 01");
    EXPECT_EQ((*full)[63], 61);
    EXPECT_FALSE(chip.NextInPacket().has_value());
    clock.AdvanceNs(kMs);
    EXPECT_EQ(HexOf(*chip.NextInPacket()), "01 60 3E 3F 40 41 42 43 44 45");
}

TEST_F(Ft232rChipTest, BulkOutIsTakenAsTheWireEmptiesTheBuffer) {
    const std::vector<std::uint8_t> data(300, 0x55);
    EXPECT_EQ(chip.TakeOut(data), 256U);  // the buffer towards the UART
    EXPECT_EQ(chip.TakeOut(data), 0U);
    // At 9600 baud a byte takes 1.04 ms on the wire: after 10.5 ms ten have left.
    clock.AdvanceNs(10'500'000);
    EXPECT_EQ(chip.TakeOut(data), 10U);
    // While bytes wait, the line status says the transmitter is busy.
    EXPECT_EQ(HexOf(*Vendor(usbemu::sio::kPollModemStatus, 0, 1, 2)), "01 00");
}

TEST_F(Ft232rChipTest, ModemControlMovesOnlyTheLinesItsMaskNames) {
    ASSERT_TRUE(Vendor(usbemu::sio::kSetModemCtrl, 0x0101).has_value());  // DTR on
    EXPECT_TRUE(wire.Dtr());
    EXPECT_FALSE(wire.Rts());
    ASSERT_TRUE(Vendor(usbemu::sio::kSetModemCtrl, 0x0202).has_value());  // RTS on
    EXPECT_TRUE(wire.Dtr());
    EXPECT_TRUE(wire.Rts());
    ASSERT_TRUE(Vendor(usbemu::sio::kSetModemCtrl, 0x0100).has_value());  // DTR off
    EXPECT_FALSE(wire.Dtr());
    EXPECT_TRUE(wire.Rts());
    // 115200 (divisor 26) reaches the far end as the standard rate; 7E2 and back to 8N1.
    ASSERT_TRUE(Vendor(usbemu::sio::kSetBaudRate, 0x001A, 0).has_value());
    EXPECT_EQ(wire.Baud(), 115200U);
    ASSERT_TRUE(Vendor(usbemu::sio::kSetData, 0x1207).has_value());
    EXPECT_EQ(wire.WordLength(), 7);
    EXPECT_EQ(wire.Parity(), ft::ParityEven);
    EXPECT_EQ(wire.StopBits(), ft::StopBits2);
    // A latency of 0 and an EEPROM write are refused (a stall), and the log says so.
    EXPECT_FALSE(Vendor(usbemu::sio::kSetLatencyTimer, 0).has_value());
    EXPECT_FALSE(Vendor(usbemu::sio::kWriteEeprom, 0x1234, 0x10).has_value());
    ASSERT_EQ(chip.Log().size(), 7U);
    EXPECT_TRUE(chip.Log()[5].stalled);
    EXPECT_FALSE(chip.Log()[4].stalled);
}

TEST_F(Ft232rChipTest, DescriptorsAndEepromNameTheChip) {
    EXPECT_EQ(HexOf(chip.DeviceDescriptor()),
              "12 01 00 02 00 00 00 08 03 04 01 60 00 06 01 02 03 01");
    EXPECT_EQ(HexOf(chip.ConfigurationDescriptor()),
              "09 02 20 00 01 01 00 A0 2D 09 04 00 00 02 FF FF FF 02 "
              "07 05 81 02 40 00 00 07 05 02 02 40 00 00");
    const auto product = chip.Control(SetupPacket{0x80, 0x06, 0x0302, 0x0409, 255}, {});
    ASSERT_TRUE(product.has_value());
    EXPECT_EQ(HexOf(*product), "16 03 4F 00 52 00 4E 00 45 00 56 00 41 00 20 00 4E 00 55 00 56 00");
    // EEPROM words 1 and 2: vendor 0403, product 6001; the last word checks the others.
    EXPECT_EQ(HexOf(*Vendor(usbemu::sio::kReadEeprom, 0, 1, 2)), "03 04");
    EXPECT_EQ(HexOf(*Vendor(usbemu::sio::kReadEeprom, 0, 2, 2)), "01 60");
}

}  // namespace
}  // namespace nuv::test
