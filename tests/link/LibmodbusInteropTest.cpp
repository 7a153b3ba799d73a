// The temperature reading through the serial-port driver against an independent Modbus RTU
// slave (libmodbus) on the far end of a pseudo-terminal cable.
#include <gtest/gtest.h>
#include <modbus.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "link/QtEventPump.hpp"
#include "link/SerialPortFtdi.hpp"
#include "measure/Temperatures.hpp"
#include "model/Tool.hpp"
#include "sim/Pty.hpp"

namespace nuv::test {
namespace {

// Two pseudo-terminals whose master ends are joined: what one slave end writes, the other
// slave end reads. A null-modem cable between two programs.
class PtyCable {
  public:
    PtyCable() : relay_([this] { Relay(); }) {}
    ~PtyCable() {
        stop_ = true;
        relay_.join();
    }
    bool Ok() const { return a_.Ok() && b_.Ok(); }
    const std::string& EndA() const { return a_.SlavePath(); }
    const std::string& EndB() const { return b_.SlavePath(); }

  private:
    void Relay() {
        while (!stop_) {
            pollfd fds[2] = {{a_.MasterFd(), POLLIN, 0}, {b_.MasterFd(), POLLIN, 0}};
            if (!Ok() || ::poll(fds, 2, 10) <= 0) continue;
            for (int i = 0; i < 2; ++i) {
                if ((fds[i].revents & POLLIN) == 0) continue;
                std::uint8_t buffer[512];
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0 && ::write(fds[1 - i].fd, buffer, static_cast<std::size_t>(n)) != n) {
                    continue;  // a full buffer loses bytes, as a real line would
                }
            }
        }
    }

    sim::PtyPair a_;
    sim::PtyPair b_;
    std::atomic<bool> stop_{false};
    std::thread relay_;
};

// A libmodbus RTU slave with `registers` holding registers, answering until destroyed.
class LibmodbusSlave {
  public:
    LibmodbusSlave(const std::string& path, int address, int registers) {
        context_ = modbus_new_rtu(path.c_str(), 9600, 'N', 8, 1);
        mapping_ = modbus_mapping_new(0, 0, registers, 0);
        if (context_ == nullptr || mapping_ == nullptr) return;
        modbus_set_slave(context_, address);
        if (modbus_connect(context_) != 0) return;
        connected_ = true;
    }
    ~LibmodbusSlave() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (context_ != nullptr) {
            modbus_close(context_);
            modbus_free(context_);
        }
        if (mapping_ != nullptr) modbus_mapping_free(mapping_);
    }
    bool Ok() const { return connected_; }
    std::uint16_t* Registers() { return mapping_->tab_registers; }
    void Start() {
        thread_ = std::thread([this] { Serve(); });
    }

  private:
    void Serve() {
        std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stop_) {
            pollfd fd{modbus_get_socket(context_), POLLIN, 0};
            if (::poll(&fd, 1, 20) <= 0) continue;
            const int length = modbus_receive(context_, query);
            if (length > 0) modbus_reply(context_, query, length, mapping_);
        }
    }

    modbus_t* context_ = nullptr;
    modbus_mapping_t* mapping_ = nullptr;
    bool connected_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(LibmodbusInterop, ReadTemperaturesDecodesAnIndependentSlave) {
    PtyCable cable;
    if (!cable.Ok()) GTEST_SKIP() << "no pseudo-terminals here";
    LibmodbusSlave slave(cable.EndB(), 2, 101);
    ASSERT_TRUE(slave.Ok()) << modbus_strerror(errno);
    for (int r = 0; r < 100; ++r) slave.Registers()[r] = static_cast<std::uint16_t>(0x0100 + r);
    slave.Registers()[3 * 10 + 2] = 0xF040;  // channel 3, sensor 2: shorted line
    slave.Registers()[99] = 0x7FFF;
    slave.Registers()[100] = 0xFFF8;  // the module's own temperature
    slave.Start();

    SerialPortFtdi driver({ExplicitPort{cable.EndA(), "ORNEVA NUV", "NUV13001"}});
    SystemClock clock;
    QtEventPump pump;
    ConsoleDialogs dialogs;
    Tool tool(driver, clock, pump, dialogs);
    tool.FormCreate();
    ASSERT_TRUE(tool.link.IsOpen()) << tool.log.Text();

    EXPECT_EQ(ReadTemperatures(tool, 2), 252) << tool.log.Text();
    EXPECT_EQ(tool.panel.Memo1.Text(), "207");
    EXPECT_EQ(tool.panel.StringGrid3.Cell(1, 1), "16.00");  // 0x0100
    EXPECT_EQ(tool.panel.StringGrid3.Cell(1, 2), "16.06");  // 0x0101
    EXPECT_EQ(tool.panel.StringGrid2.Cell(2, 2), "01");
    EXPECT_EQ(tool.panel.StringGrid2.Cell(3, 2), "01");
    EXPECT_EQ(tool.panel.StringGrid3.Cell(4, 3), "-252.00");
    EXPECT_EQ(tool.panel.StringGrid3.Cell(10, 10), "2,047.94");
    EXPECT_EQ(tool.panel.Label5.Caption(), "-0.50 'C");
    EXPECT_EQ(tool.measure.counters.oneWireShort, 1);

    // Twelve sensors a channel ask for 121 registers: past the slave's map.
    tool.panel.ComboBox6.SetIndex(1);
    EXPECT_EQ(ReadTemperatures(tool, 2), 17);
    EXPECT_EQ(tool.panel.Memo1.Text(), "5");
    const std::string text = tool.log.Text();
    EXPECT_NE(text.find("02 83 02 30 F1 "), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 38), "Illegal Data Address or Data Value ...");
}

}  // namespace
}  // namespace nuv::test
