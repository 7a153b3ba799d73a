// The bus scan: every address asked once with a short limit, and what answers listed.
#include "measure/BusScan.hpp"

#include "model/ControlGroups.hpp"
#include "tests/measure/ModuleFixture.hpp"

namespace nuv::test {
namespace {

using BusScanTest = ModuleTest;

TEST_F(BusScanTest, FindsTheModuleAndAsksEveryAddressOnce) {
    module.Configure(37, 4);
    std::vector<int> told;
    const std::int64_t start = clock.NowMs();
    const ScanResult scan = ScanBus(tool, 1, 247, kScanLimitMs, [&](std::uint8_t address) {
        told.push_back(address);
        return true;
    });
    EXPECT_EQ(scan.code, result::Ok);
    ASSERT_EQ(scan.hits.size(), 1U);
    EXPECT_EQ(scan.hits[0].address, 37);
    EXPECT_EQ(scan.hits[0].Describe(), "answered");
    EXPECT_EQ(scan.asked, 247);
    EXPECT_EQ(told.size(), 247U);
    EXPECT_EQ(told.front(), 1);
    EXPECT_EQ(told.back(), 247);
    // One request per address, in order, on the wire; the silent ones cost their limit each.
    ASSERT_EQ(module.Requests().size(), 247U);
    EXPECT_EQ(module.Requests()[0], Hex("01 03 00 00 00 01"));
    EXPECT_EQ(module.Requests()[36], Hex("25 03 00 00 00 01"));
    EXPECT_EQ(module.Requests()[246], Hex("F7 03 00 00 00 01"));
    EXPECT_LT(clock.NowMs() - start, 247 * (kScanLimitMs + 20));
    EXPECT_EQ(scan.elapsedMs, clock.NowMs() - start);
}

TEST_F(BusScanTest, TheProgressCanEndTheScan) {
    const ScanResult scan =
        ScanBus(tool, 1, 247, kScanLimitMs, [](std::uint8_t address) { return address < 3; });
    EXPECT_EQ(scan.asked, 2);
    ASSERT_EQ(scan.hits.size(), 1U);
    EXPECT_EQ(scan.hits[0].address, 2);
}

TEST_F(BusScanTest, TheWindowsScanShowsItsProgressAndTheModulesFound) {
    std::vector<int> positions;
    pump.onEvents = [&] {
        if (positions.empty() || positions.back() != panel.ProgressBar1.Position()) {
            positions.push_back(panel.ProgressBar1.Position());
        }
        EXPECT_FALSE(panel.btnScanBus.Enabled());  // no second command meanwhile
    };
    tool.Click(panel.btnScanBus);
    pump.onEvents = nullptr;
    EXPECT_GT(positions.size(), 90U);
    EXPECT_EQ(panel.ProgressBar1.Position(), 100);
    const std::string caption = panel.ServiceStatus.Caption();
    EXPECT_EQ(caption.substr(0, 13), "Found at: 2 (") << caption;
    EXPECT_EQ(caption.substr(caption.size() - 3), " s)") << caption;
    EXPECT_NE(tool.log.Text().find("Bus scan of addresses 1..247: 1 device(s) answered in"),
              std::string::npos);
    EXPECT_NE(tool.log.Text().find("  address 2: answered"), std::string::npos);
    EXPECT_TRUE(panel.btnScanBus.Enabled());
    EXPECT_TRUE(panel.btn3.Enabled());

    driver.Unplug(0);
    tool.Click(panel.btnScanBus);
    EXPECT_EQ(panel.ServiceStatus.Caption(), "Scan stopped at address 1");
}

class BusScanScriptedTest : public ToolTest {
  protected:
    BusScanScriptedTest() {
        AddModule();
        Start();
    }
};

TEST_F(BusScanScriptedTest, ExceptionsAndForeignAnswersCountAsSomethingThere) {
    constexpr std::size_t kRequest = 8;
    peer->ReplyAfter(5 * kRequest, Hex("05 83 02 81 30"));        // refuses the read
    peer->ReplyAfter(7 * kRequest, Hex("02 03 02 01 91 3C 78"));  // answers as address 2
    peer->ReplyAfter(9 * kRequest, Hex("09 03 02 01 91 00 00"));  // a damaged answer
    const ScanResult scan = ScanBus(tool, 1, 10, kScanLimitMs);
    ASSERT_EQ(scan.hits.size(), 3U);
    EXPECT_EQ(scan.hits[0].address, 5);
    EXPECT_EQ(scan.hits[0].Describe(), "exception 02 (illegal data address)");
    EXPECT_EQ(scan.hits[1].address, 7);
    EXPECT_EQ(scan.hits[1].Describe(), "answered as address 2");
    EXPECT_EQ(scan.hits[2].address, 9);
    EXPECT_EQ(scan.hits[2].Describe(), "answered, but the answer was damaged");
    // The requests on the wire: address 1 first, then 2 ...
    const auto& wire = peer->Received();
    ASSERT_EQ(wire.size(), 10 * kRequest);
    EXPECT_EQ(std::vector<std::uint8_t>(wire.begin(), wire.begin() + 16),
              Hex("01 03 00 00 00 01 84 0A 02 03 00 00 00 01 84 39"));
}

}  // namespace
}  // namespace nuv::test
