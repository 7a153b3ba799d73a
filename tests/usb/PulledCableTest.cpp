// A cable pulled in the middle of an exchange: the tool says so within its time limits, nothing
// hangs, and the next "Find USB Devices" lists what is still plugged in.
#include <atomic>
#include <chrono>
#include <thread>

#include "core/MessageTable.hpp"
#include "tests/usb/UsbFixture.hpp"

namespace nuv::test {
namespace {

class PulledCableTest : public EmulatedCableTest {
  protected:
    ~PulledCableTest() override {
        watching_ = false;
        if (watcher_.joinable()) watcher_.join();
    }
    std::string Row(std::size_t row) const {
        const StringGrid& grid = tool->panel.StringGrid1;
        return grid.Cell(0, row) + "|" + grid.Cell(1, row) + "|" + grid.Cell(2, row);
    }
    // Pulls the module's cable as soon as `when` holds, looking every millisecond from a thread
    // of its own, as a hand would: libftdi1 may hold the tool's thread inside one read for as
    // long as bytes keep coming, so the tool's own waits cannot be relied on to be in between.
    void PullWhen(std::function<bool(sim::ModuleSimulator&)> when) {
        watching_ = true;
        watcher_ = std::thread([this, when] {
            while (watching_) {
                if (Module(when)) {
                    usb.Pull(cable);
                    pulledAtNs = clock.NowNs();
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    void StopWatching() {
        watching_ = false;
        if (watcher_.joinable()) watcher_.join();
    }
    std::atomic<std::int64_t> pulledAtNs{0};

  private:
    std::atomic<bool> watching_{false};
    std::thread watcher_;
};

TEST_F(PulledCableTest, DuringAReading) {
    usb.Plug({"FTDI", "FT232R USB UART", "A10K3B7Z"});
    Start();
    ASSERT_TRUE(tool->link.IsOpen()) << tool->log.Text();
    PullWhen([](sim::ModuleSimulator& m) { return !m.Requests().empty(); });
    const std::int64_t start = clock.NowNs();
    Click(tool->panel.btn3);  // "Read Temperatures"
    const std::int64_t took = clock.NowNs() - start;
    StopWatching();
    ASSERT_NE(pulledAtNs, 0) << tool->log.Text();
    EXPECT_FALSE(tool->measure.lastReading.has_value());
    // The reply stopped in the middle; the transaction gives up at its 2500 ms limit and says
    // why, as for a module that fell silent.
    const std::string text = tool->log.Text();
    EXPECT_NE(text.find("RecieveError: 10\nError 30.00 Timeout (10)\n"
                        "Check intrface or select proper Module Address..."),
              std::string::npos)
        << text;
    EXPECT_GE(took, 2500 * kMs);
    EXPECT_LT(took, 2500 * kMs + 500 * kMs);
    EXPECT_FALSE(tool->CommandRunning());

    Click(tool->panel.Button3);  // "Find USB Devices"
    EXPECT_EQ(Row(1), "FT232R USB UART|A10K3B7Z|free ");
    EXPECT_EQ(Row(2), "||");
    // No module among what is left: code 20 (0x14).
    EXPECT_EQ(tool->log.Text(), "Error: 00.14\n" + MessageTable(result::NoModuleDevice) + "\n");
}

TEST_F(PulledCableTest, DuringAFirmwarePage) {
    Module([](sim::ModuleSimulator& m) { return m.firmwareBuild = 0x47; });
    Start();
    PullWhen([](sim::ModuleSimulator& m) { return m.bootLoader.PagesWritten().size() >= 3; });
    Click(tool->panel.btn1);  // "Update Firmware"
    const std::int64_t after = clock.NowNs() - pulledAtNs;
    StopWatching();
    ASSERT_NE(pulledAtNs, 0) << tool->log.Text();
    // The boot loader's request for the next page never comes: the 500 ms wait for it ends the
    // update with code 21 (0x15) and the pages it could not write.
    const std::string text = tool->log.Text();
    EXPECT_EQ(text.rfind("Error: 00.15\n" + MessageTable(result::FirstByteTimeout) + "\n", 0), 0U)
        << text;
    EXPECT_NE(text.find("Pages not written: 3-69\n"), std::string::npos) << text;
    EXPECT_LT(after, 1500 * kMs);
    EXPECT_TRUE(tool->panel.windowEnabled);
    EXPECT_FALSE(tool->CommandRunning());

    Click(tool->panel.Button3);  // "Find USB Devices"
    EXPECT_EQ(Row(1), "||");
    EXPECT_EQ(tool->log.Text(), "Error: 00.08\n" + MessageTable(result::NoDevice) + "\n");
}

}  // namespace
}  // namespace nuv::test
