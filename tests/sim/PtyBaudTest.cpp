// The master end of a pseudo-terminal sees the baud rate that the program on the slave end set,
// which nuvsim follows for its wire time.
#include <gtest/gtest.h>

#include "core/MessageLog.hpp"
#include "link/QtEventPump.hpp"
#include "link/SerialPortFtdi.hpp"
#include "link/UsbLink.hpp"
#include "model/StringGrid.hpp"
#include "sim/Pty.hpp"

namespace nuv::test {
namespace {

TEST(PtyBaudTest, TheMasterSeesTheRateTheSlaveProgramSet) {
    sim::PtyPair pty;
    if (!pty.Ok()) GTEST_SKIP() << pty.Error();
    SystemClock clock;
    QtEventPump pump;
    MessageLog log;
    StringGrid deviceList{3, 11};
    SerialPortFtdi driver({ExplicitPort{pty.SlavePath(), "ORNEVA NUV", "NUV13001"}});
    UsbLink link(driver, clock, pump, log);
    ASSERT_EQ(link.ConnectModule(), 0) << log.Text();
    EXPECT_EQ(pty.SlaveBaud(), 9600U);
    ASSERT_EQ(link.SetLinkBaud(115200), 0);
    EXPECT_EQ(pty.SlaveBaud(), 115200U);
    link.CloseLink();
    EXPECT_NE(pty.SlaveBaud(), 0U);  // the port keeps a rate with nobody on it
}

}  // namespace
}  // namespace nuv::test
