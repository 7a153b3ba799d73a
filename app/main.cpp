// nuvtool: the service tool of the NUV module. Reads its options, chooses the driver (the
// cables, a named port, or the simulated module), builds the tool on it, then its two windows,
// runs the start-up (title, texts, selectors, the connection to the module) and the window's
// message loop.
#include <unistd.h>
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ScreenshotHooks.hpp"
#include "app/gui/Fonts.hpp"
#include "app/gui/GuiPump.hpp"
#include "app/gui/MainWindow.hpp"
#include "app/gui/QtDialogs.hpp"
#include "app/gui/SoundTone.hpp"
#include "link/CableDriver.hpp"
#include "link/PortKeeper.hpp"
#include "model/Tool.hpp"
#include "report/ReportPdf.hpp"
#include "sim/SimulatedModule.hpp"

namespace {

// --simulate-usb: the program starts itself again inside the host of an emulated FTDI cable with
// the simulated module behind it (nuvusbsim under umockdev-wrapper), where it finds that cable on
// the USB and drives it through libftdi1 and libusb as a real one. Returns only on failure.
int RunOverEmulatedCable(int argc, char* argv[], int sensors) {
#ifdef NUV_USBSIM_PATH
    std::vector<std::string> command{NUV_UMOCKDEV_WRAPPER, NUV_USBSIM_PATH};
    if (sensors >= 0) {
        command.push_back("--sensors");
        command.push_back(std::to_string(sensors));
    }
    command.push_back("--");
    char self[4096] = {};
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    command.push_back(length > 0 ? std::string(self, static_cast<std::size_t>(length)) : argv[0]);
    for (int index = 1; index < argc; ++index) command.push_back(argv[index]);
    std::vector<char*> pointers;
    for (std::string& part : command) pointers.push_back(part.data());
    pointers.push_back(nullptr);
    ::execv(pointers[0], pointers.data());
    std::perror("nuvtool: cannot start the emulated cable");
    return 1;
#else
    (void)argc;
    (void)argv;
    (void)sensors;
    std::fprintf(stderr, "nuvtool: this build has no emulated cable (umockdev was missing)\n");
    return 2;
#endif
}

// The program's own options: where the module is, and the simulated module's settings (the
// latter hidden from the help).
struct Options {
    explicit Options(QCommandLineParser& parser) {
        parser.setApplicationDescription(
            "Service tool for the NUV temperature measurement module.");
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOption(simulate);
        parser.addOption(port);
        parser.addOption(faultRate);
        parser.addPositionalArgument("file", "The save dialog starts in the folder of this file.",
                                     "[file]");
        for (QCommandLineOption* option : {&simSensors, &simLevels, &simulateUsb}) {
            option->setFlags(QCommandLineOption::HiddenFromHelp);
            parser.addOption(*option);
        }
    }

    // Parses the command line; an exit status when the program ends here (the help, the version,
    // a bad option), which needs no display.
    std::optional<int> Parse(QCommandLineParser& parser, int argc, char* argv[]) {
        QStringList arguments;
        for (int index = 0; index < argc; ++index) arguments << QString::fromLocal8Bit(argv[index]);
        parser.parse(arguments);
        if (parser.isSet("help") || parser.isSet("help-all") || parser.isSet("version")) {
            const QCoreApplication console(argc, argv);
            parser.process(console);  // prints and leaves
            return 0;
        }
        bool rateOk = false;
        rate = parser.value(faultRate).toDouble(&rateOk);
        if (!rateOk || rate < 0 || rate > 1) {
            std::fprintf(stderr, "nuvtool: --sim-fault-rate takes a number from 0 to 1\n");
            return 2;
        }
        sensors = std::clamp(parser.value(simSensors).toInt(), -1, 16);
        return std::nullopt;
    }

    QCommandLineOption simulate{"simulate", "Attach the simulated module."};
    QCommandLineOption port{"port", "Use the serial port at PATH as the module's device.", "PATH"};
    QCommandLineOption faultRate{
        "sim-fault-rate",
        "With --simulate: the share of answers (0 to 1) the simulated module spoils at random.",
        "RATE", "0"};
    QCommandLineOption simSensors{"sim-sensors", "Sensors on every simulated channel.", "N", "-1"};
    QCommandLineOption simLevels{"sim-levels", "Sensor positions per channel (10, 12, 16).", "N",
                                 "10"};
    // The real driver stack over an emulated FTDI cable with the simulated module behind it.
    QCommandLineOption simulateUsb{"simulate-usb",
                                   "Attach the simulated module on an emulated cable."};
    double rate = 0;
    int sensors = -1;
};

// The driver the tool runs on, with what it is built from.
struct Driver {
    std::unique_ptr<nuv::sim::SimFtdi> simulated;
    std::unique_ptr<nuv::PortKeeper> simulatedKeeper;
    std::unique_ptr<nuv::CableDriver> cables;
    nuv::FtdiApi* api = nullptr;
};

// The simulated module stands in for a cable on the default driver: no line moves at an open.
// Otherwise the cables, or only the port named on the command line: the USB cables are not
// listed then, so that a failing USB listing cannot keep the named port from being used.
Driver ChooseDriver(const QCommandLineParser& parser, const Options& options,
                    nuv::SystemClock& clock) {
    Driver driver;
    if (parser.isSet(options.simulate)) {
        driver.simulated = std::make_unique<nuv::sim::SimFtdi>(clock);
        nuv::sim::AddSimulatedModule(*driver.simulated, options.rate, options.sensors,
                                     parser.value(options.simLevels).toInt());
        driver.simulatedKeeper = std::make_unique<nuv::PortKeeper>(*driver.simulated);
        driver.api = driver.simulatedKeeper.get();
        return driver;
    }
    std::vector<nuv::ExplicitPort> explicitPorts;
    if (parser.isSet(options.port)) {
        explicitPorts.push_back(
            nuv::ExplicitPort{parser.value(options.port).toStdString(), "ORNEVA NUV", ""});
    }
    driver.cables = std::make_unique<nuv::CableDriver>(clock, std::move(explicitPorts),
                                                       !parser.isSet(options.port));
    driver.api = &driver.cables->Api();
    return driver;
}

// The tool on its driver with the window's outside world, its two windows, the start-up, and
// the window's message loop.
int RunWindow(const QCommandLineParser& parser, Driver& driver, nuv::SystemClock& clock,
              const nuv::ScreenshotHooks& hooks) {
    nuv::gui::GuiPump pump;
    nuv::gui::QtDialogs dialogs;
    nuv::Tool tool(*driver.api, clock, pump, dialogs);
    tool.buildVersion = NUV_VERSION;
    tool.reportPdf = nuv::RenderReportPdf;
    nuv::gui::SoundTone tone;
    tool.tone = &tone;
    if (driver.cables) {
        // A cable that libftdi1 cannot reach: one line in the log, and on standard error.
        driver.cables->notice = [&tool](const std::string& line) {
            const nuv::Rgb colour = tool.log.Colour();
            tool.log.SetColour(nuv::colour::Hint);
            tool.log.AppendLine(line);
            tool.log.SetColour(colour);
            std::fprintf(stderr, "nuvtool: %s\n", line.c_str());
        };
    }
    // Measured values use the separators of the user's locale.
    const QLocale locale;
    tool.numberFormat = nuv::NumberFormat{nuv::gui::ToStdString(QString(locale.decimalPoint())),
                                          nuv::gui::ToStdString(QString(locale.groupSeparator()))};
    if (!parser.positionalArguments().isEmpty()) {
        tool.saveFolder =
            nuv::gui::ToStdString(QFileInfo(parser.positionalArguments().front()).absolutePath());
    }

    nuv::gui::TForm1 window(tool, &pump);
    dialogs.SetParent(&window);
    tool.FormCreate();
    hooks.BeforeShow(tool);
    window.SyncAll();
    window.show();
    hooks.AfterShow(tool, window);
    return QApplication::exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    // A log or report written into a pipe or FIFO whose reader has gone fails with its reason
    // (the log stops, the report says it was not written), instead of ending the window.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication::setApplicationName("nuvtool");
    QCoreApplication::setApplicationVersion(NUV_VERSION);
    QCommandLineParser parser;
    Options options(parser);
    nuv::ScreenshotHooks hooks(parser);
    if (const auto status = options.Parse(parser, argc, argv)) return *status;
    if (parser.isSet(options.simulateUsb) && std::getenv("NUV_USB_EMULATED") == nullptr) {
        return RunOverEmulatedCable(argc, argv, options.sensors);
    }
    QApplication application(argc, argv);
    parser.process(application);
    hooks.Read(parser);
    nuv::SystemClock clock;
    Driver driver = ChooseDriver(parser, options, clock);
    return RunWindow(parser, driver, clock, hooks);
}
