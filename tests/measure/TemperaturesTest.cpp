// Reading all temperatures of a module: requests, decoding into the grids, error values.
#include "core/MessageTable.hpp"
#include "measure/Temperatures.hpp"
#include "protocol/TemperatureRegister.hpp"
#include "tests/measure/ModuleFixture.hpp"

namespace nuv::test {
namespace {

using TemperaturesTest = ModuleTest;

TEST(RawToCelsius, StepsOfOneSixteenthWithTheNegativeRangeFromF000) {
    EXPECT_EQ(RawToCelsius(0x01, 0x91), 25.0625F);
    EXPECT_EQ(RawToCelsius(0xFF, 0xF8), -0.5F);
    EXPECT_EQ(RawToCelsius(0x00, 0x00), 0.0F);
    EXPECT_EQ(RawToCelsius(0x7F, 0xFF), 2047.9375F);
    EXPECT_EQ(RawToCelsius(0x80, 0x00), 2048.0F);
    EXPECT_EQ(RawToCelsius(0xEF, 0xFF), 3839.9375F);
    EXPECT_EQ(RawToCelsius(0xF0, 0x00), -256.0F);
    EXPECT_EQ(RawToCelsius(0xF0, 0x40), -252.0F);
    EXPECT_EQ(RawToCelsius(0xF0, 0x50), -251.0F);
    EXPECT_EQ(RawToCelsius(0xF0, 0x60), -250.0F);
}

TEST_F(TemperaturesTest, TenSensorsAreOneRequestOf101Registers) {
    module.SensorAt(0, 0).fixedRaw = 0x0191;
    module.SensorAt(9, 9).fixedRaw = 0xFFF8;
    EXPECT_EQ(ReadTemperatures(tool, 2), 0);
    ASSERT_EQ(module.Requests().size(), 1U);
    EXPECT_EQ(device.Written(), Hex("02 03 00 00 00 65 85 D2"));
    EXPECT_EQ(panel.Memo1.Text(), "207");
    EXPECT_EQ(panel.StringGrid3.Cell(1, 1), "25.06");
    EXPECT_EQ(panel.StringGrid2.Cell(4, 1), "25.06");
    EXPECT_EQ(panel.StringGrid2.Cell(2, 1), "01");
    EXPECT_EQ(panel.StringGrid2.Cell(3, 1), "91");
    EXPECT_EQ(panel.StringGrid3.Cell(10, 10), "-0.50");
    EXPECT_EQ(panel.StringGrid2.Cell(40, 10), "-0.50");
    EXPECT_EQ(panel.Label5.Caption(), "31.25 'C");  // register 100
    // The trace, then the answer in green without a line break.
    const std::string text = tool.log.Text();
    EXPECT_EQ(text.substr(0, 25), "02 03 00 00 00 65 85 D2 \n");
    EXPECT_EQ(text.substr(25, 12), "02 03 CA 01 ");
    EXPECT_EQ(text.size(), 25 + 207 * 3U);
    EXPECT_EQ(tool.log.Runs().back().colour, (Rgb{165, 228, 167}));
}

TEST_F(TemperaturesTest, SixteenSensorsAreTwoRequests100MsApart) {
    module.sensorsPerChannel = 16;
    module.SensorAt(9, 15).fixedRaw = 0x0320;  // register 159, in the second answer
    module.moduleTemperatureRaw = 0x0140;      // register 160
    panel.ComboBox6.SetIndex(2);
    EXPECT_EQ(ReadTemperatures(tool, 2), 0);
    ASSERT_EQ(module.Requests().size(), 2U);
    EXPECT_EQ(device.Written(), Hex("02 03 00 00 00 50 45 C5 02 03 00 50 00 51 84 14"));
    // First answer 165 bytes, then the pause, then the second request on the wire.
    const std::int64_t gap = module.RequestTimesNs()[1] - module.RequestTimesNs()[0];
    EXPECT_GT(gap, (165 + 8) * 1'041'666LL + 100 * kMs);
    EXPECT_LT(gap, (165 + 8) * 1'041'666LL + 100 * kMs + 30 * kMs);
    EXPECT_EQ(panel.Memo1.Text(), "167");
    EXPECT_EQ(panel.StringGrid3.Cell(10, 16), "50.00");
    EXPECT_EQ(panel.StringGrid2.Cell(40, 16), "50.00");  // held below the rows shown
    EXPECT_EQ(panel.Label5.Caption(), "20.00 'C");
}

TEST_F(TemperaturesTest, ErrorValuesAreCountedAndTheLastOneFoundIsTheResult) {
    module.SensorAt(3, 2).fixedRaw = 0xF040;
    EXPECT_EQ(ReadTemperatures(tool, 2), 252);
    EXPECT_EQ(panel.StringGrid3.Cell(4, 3), "-252.00");
    EXPECT_EQ(panel.StringGrid2.Cell(16, 3), "-252.00");
    EXPECT_EQ(panel.StringGrid2.Cell(14, 3), "F0");
    EXPECT_EQ(panel.StringGrid2.Cell(15, 3), "40");
    EXPECT_EQ(tool.measure.counters.oneWireShort, 1);
    EXPECT_EQ(panel.Label20.Caption(), "   Bledy 1W (zwarcie do GND): 1");

    module.SensorAt(5, 0).fixedRaw = 0xF060;  // later in scan order than channel 3
    EXPECT_EQ(ReadTemperatures(tool, 2), 250);
    EXPECT_EQ(tool.measure.counters.oneWireShort, 2);
    EXPECT_EQ(tool.measure.counters.oneWirePresence, 1);
    EXPECT_EQ(panel.Label19.Caption(), "   Bledy Presence 1W (brak sondy/zwarcie do +5V): 1");

    module.SensorAt(7, 1).fixedRaw = 0xF050;
    module.SensorAt(7, 2).fixedRaw = 0xF050;
    EXPECT_EQ(ReadTemperatures(tool, 2), 251);
    EXPECT_EQ(tool.measure.counters.oneWireCrc, 2);
    EXPECT_EQ(panel.Label20.Caption(), "   Bledy CRC 1W (uszk.czujnik/dlugi przewod): 2");
}

TEST_F(TemperaturesTest, TheModuleTemperatureIsShownButNotCounted) {
    module.moduleTemperatureRaw = 0xF060;
    EXPECT_EQ(ReadTemperatures(tool, 2), 0);
    EXPECT_EQ(panel.Label5.Caption(), "-250.00 'C");
    EXPECT_EQ(tool.measure.counters.oneWirePresence, 0);
}

TEST_F(TemperaturesTest, LargeValuesAreGroupedWithTheLocaleSeparators) {
    module.SensorAt(0, 0).fixedRaw = 0x7FFF;
    EXPECT_EQ(ReadTemperatures(tool, 2), 0);
    EXPECT_EQ(panel.StringGrid3.Cell(1, 1), "2,047.94");
    tool.numberFormat = NumberFormat{",", "."};
    EXPECT_EQ(ReadTemperatures(tool, 2), 0);
    EXPECT_EQ(panel.StringGrid3.Cell(1, 1), "2.047,94");
    EXPECT_EQ(panel.Label5.Caption(), "31,25 'C");
}

TEST_F(TemperaturesTest, SilenceTimesOutAfter2500MsAndCountsAsNoData) {
    module.faults.silent = -1;
    panel.StringGrid3.SetCell(1, 1, "old");
    const std::int64_t start = clock.NowMs();
    tool.Click(panel.btn3);
    EXPECT_GE(clock.NowMs() - start, 2500);
    EXPECT_LT(clock.NowMs() - start, 2600);
    EXPECT_EQ(tool.log.Text(),
              "02 03 00 00 00 65 85 D2 \n\nRecieveError: 11\n"
              "Error 30.00 Timeout (11)\n"
              "Check intrface or select proper Module Address...\n");
    EXPECT_EQ(tool.measure.counters.noData, 1);
    EXPECT_EQ(panel.Label23.Caption(), "Licznik Braku Danych: 1");
    EXPECT_EQ(panel.StringGrid3.Cell(1, 1), "old");  // a failed reading leaves the grids
    EXPECT_TRUE(panel.btn3.Enabled());               // the normal group is back
    EXPECT_EQ(panel.Memo1.Text(), "0");
}

TEST_F(TemperaturesTest, AnExceptionAnswerPointsAtTheAddressOrRange) {
    panel.ComboBox6.SetIndex(1);  // 12 sensors: 121 registers, past this module's 101
    EXPECT_EQ(ReadTemperatures(tool, 2), 17);
    EXPECT_EQ(panel.Memo1.Text(), "5");
    const std::string text = tool.log.Text();
    EXPECT_EQ(text.substr(text.size() - 63),
              "Error 30.00 Timeout (11)\nIllegal Data Address or Data Value ...");
}

TEST_F(TemperaturesTest, AnExceptionAnswerJustBeforeTheLimitIsRefusedAsAnyOther) {
    // An exception frame whose last byte comes just before the limit: its CRC fits, but it is a
    // refusal, not the registers asked for. It ends the wait at its fifth byte and is named as
    // an exception answer that comes at once is.
    auto late = std::make_shared<sim::ScriptedPeer>();
    device.AttachPeer(late);
    const std::int64_t start = clock.NowNs();
    late->SendAt(start + 2490 * kMs, Hex("02 83 02 30 F1"));
    panel.StringGrid3.SetCell(1, 1, "kept");
    EXPECT_EQ(ReadTemperatures(tool, 2), 17);
    EXPECT_LE(clock.NowNs() - start, 2490 * kMs + 5 * device.ByteTimeNs() + kMs);
    EXPECT_EQ(panel.StringGrid3.Cell(1, 1), "kept");
    EXPECT_EQ(panel.Memo1.Text(), "5");
    EXPECT_EQ(tool.modbus.LastCheck().fault, ReplyFault::Exception);
    EXPECT_EQ(tool.modbus.LastCheck().got, 0x02);
    const std::string text = tool.log.Text();
    EXPECT_EQ(text.substr(text.size() - 63),
              "Error 30.00 Timeout (11)\nIllegal Data Address or Data Value ...");
}

TEST_F(TemperaturesTest, ATypedAddressIsTakenWhenItNamesOne) {
    panel.ComboBox2.SetIndex(-1);
    panel.ComboBox2.SetText(" 7");
    EXPECT_EQ(ModuleAddress(panel), 7);
    panel.ComboBox2.SetText("abc");
    EXPECT_EQ(ModuleAddress(panel), 0);  // no module answers address 0
    panel.ComboBox2.SetText("248");
    EXPECT_EQ(ModuleAddress(panel), 0);
    panel.ComboBox2.SetIndex(2);
    EXPECT_EQ(ModuleAddress(panel), 3);
}

TEST_F(TemperaturesTest, AFailedSecondHalfReturnsItsCodeWithoutLines) {
    panel.ComboBox6.SetIndex(2);  // 161 registers: the second half lies past the map
    EXPECT_EQ(ReadTemperatures(tool, 2), 17);
    EXPECT_EQ(tool.log.Text().find("Error 30.00"), std::string::npos);
}

TEST_F(TemperaturesTest, OtherFailuresAreCountedByKind) {
    module.faults.corruptCrc = 1;
    tool.Click(panel.btn7);
    EXPECT_EQ(tool.measure.counters.otherError, 1);
    EXPECT_EQ(panel.Label17.Caption(), "Inne bledy USB: 1");

    device.InjectFault(sim::Op::Read, ft::IoError);
    tool.Click(panel.btn3);
    EXPECT_EQ(tool.measure.counters.readError, 1);
    EXPECT_EQ(panel.Label21.Caption(), "Bledy FT_READ: 1");

    device.InjectFault(sim::Op::Read, ft::Ok, 0);
    device.InjectFault(sim::Op::Status, ft::IoError);
    tool.Click(panel.btn3);
    EXPECT_EQ(tool.measure.counters.usbError, 1);
    EXPECT_EQ(panel.Label22.Caption(), "Bledy FT_READ: 1");
}

TEST_F(TemperaturesTest, LinkPreparationFailuresAreReported) {
    device.InjectFault(sim::Op::Baud, ft::IoError, 1, /*skip=*/1);  // the connect's own passes
    EXPECT_EQ(ReadTemperatures(tool, 2), 12);
    EXPECT_EQ(tool.log.Text(), "Error SET COMMV(0C)\n");

    tool.log.Clear();
    driver.Unplug(0);
    EXPECT_EQ(ReadTemperatures(tool, 2), 8);
    EXPECT_EQ(tool.log.Text(),
              "Error: 00.08\n" + MessageTable(8) + "\nError: 00.08\n" + MessageTable(8) + "\n");
}

TEST_F(TemperaturesTest, ChangingTheSensorCountLaysTheGridOutAnew) {
    EXPECT_EQ(ReadTemperatures(tool, 2), 0);
    panel.ComboBox6.SetIndex(1);
    tool.Change(panel.ComboBox6);
    EXPECT_EQ(panel.StringGrid3.RowCount(), 13U);
    EXPECT_EQ(panel.StringGrid3.DefaultRowHeight(), 21);
    EXPECT_EQ(panel.StringGrid3.Cell(1, 1), "");
    EXPECT_EQ(panel.StringGrid3.Cell(0, 1), "      1");
    EXPECT_NE(panel.StringGrid2.Cell(4, 1), "");  // the sensor grid is not touched

    // Typed text selects no item: the 16-sensor layout, and 161 registers on the next read.
    panel.ComboBox6.SetText("sixteen please");
    panel.ComboBox6.SetIndex(-1);
    tool.Change(panel.ComboBox6);
    EXPECT_EQ(panel.StringGrid3.RowCount(), 17U);
    EXPECT_EQ(panel.StringGrid3.DefaultRowHeight(), 16);
    module.sensorsPerChannel = 16;
    EXPECT_EQ(ReadTemperatures(tool, 2), 0);
    EXPECT_EQ(module.Requests().back(), Hex("02 03 00 50 00 51"));
}

}  // namespace
}  // namespace nuv::test
