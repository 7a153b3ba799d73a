// nuvtool: the service tool of the NUV module. Until the main window exists it runs the start-up
// connection once and prints the device list and the message log to the console.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <memory>

#include "app/MessageLog.hpp"
#include "app/StringGrid.hpp"
#include "link/QtEventPump.hpp"
#include "link/SerialPortFtdi.hpp"
#include "link/UsbLink.hpp"
#include "sim/SimulatedModule.hpp"

namespace {

void PrintDeviceList(const nuv::StringGrid& grid) {
    for (std::size_t row = 0; row < grid.RowCount(); ++row) {
        if (row > 0 && grid.Cell(0, row).empty() && grid.Cell(1, row).empty()) continue;
        std::printf("%-32s %-18s %s\n", grid.Cell(0, row).c_str(), grid.Cell(1, row).c_str(),
                    grid.Cell(2, row).c_str());
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName("nuvtool");
    QCoreApplication::setApplicationVersion(NUV_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription("Service tool for the NUV temperature measurement module.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption simulate("simulate", "Attach the simulated module.");
    const QCommandLineOption port("port", "Use the serial port at PATH as the module's device.",
                                  "PATH");
    parser.addOption(simulate);
    parser.addOption(port);
    parser.process(application);

    nuv::SystemClock clock;
    nuv::QtEventPump pump;
    std::unique_ptr<nuv::FtdiApi> driver;
    if (parser.isSet(simulate)) {
        auto simulated = std::make_unique<nuv::sim::SimFtdi>(clock);
        nuv::sim::AddSimulatedModule(*simulated);
        driver = std::move(simulated);
    } else {
        std::vector<nuv::ExplicitPort> explicitPorts;
        if (parser.isSet(port))
            explicitPorts.push_back(
                nuv::ExplicitPort{parser.value(port).toStdString(), "ORNEVA NUV", ""});
        driver = std::make_unique<nuv::SerialPortFtdi>(std::move(explicitPorts));
    }

    nuv::MessageLog log;
    nuv::StringGrid deviceList(3, 11);
    deviceList.SetCell(0, 0, " Device name");
    deviceList.SetCell(1, 0, " Hardware version");
    deviceList.SetCell(2, 0, " State");
    nuv::UsbLink link(*driver, clock, pump, log, deviceList);

    const nuv::LinkResult result = link.ConnectModule();
    PrintDeviceList(deviceList);
    std::printf("\nRS485 pass-through: %s\n", link.CheckHardwareVersion() ? "available" : "off");
    std::printf("%s", log.Text().c_str());
    return result == nuv::result::Ok ? 0 : 1;
}
