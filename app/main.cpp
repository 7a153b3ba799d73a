// nuvtool: the service tool of the NUV module. Builds the tool on the chosen driver, then its
// two windows, runs the start-up (title, texts, selectors, the connection to the module) and the
// window's message loop.
#include <unistd.h>
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/gui/Fonts.hpp"
#include "app/gui/GuiPump.hpp"
#include "app/gui/MainWindow.hpp"
#include "app/gui/QtDialogs.hpp"
#include "app/gui/SoundTone.hpp"
#include "app/gui/TrendWindow.hpp"
#include "link/CableDriver.hpp"
#include "link/PortKeeper.hpp"
#include "model/Tool.hpp"
#include "report/ReportPdf.hpp"
#include "report/ServiceReport.hpp"
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

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName("nuvtool");
    QCoreApplication::setApplicationVersion(NUV_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription("Service tool for the NUV temperature measurement module.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption simulate("simulate", "Attach the simulated module.");
    const QCommandLineOption port("port", "Use the serial port at PATH as the module's device.",
                                  "PATH");
    const QCommandLineOption faultRate(
        "sim-fault-rate",
        "With --simulate: the share of answers (0 to 1) the simulated module spoils at random.",
        "RATE", "0");
    parser.addOption(simulate);
    parser.addOption(port);
    parser.addOption(faultRate);
    parser.addPositionalArgument("file", "The save dialog starts in the folder of this file.",
                                 "[file]");
    // For pictures of the windows: the page shown at start (0 to 4), the window scrolled to the
    // service strip, the sort-by-serial area or the APC window shown, a control clicked, and a
    // file written once the windows are drawn (and the click's command has ended); and the
    // service report's PDF written then.
    QCommandLineOption showPage("show-page", "Page shown at start.", "N");
    QCommandLineOption scrollService("scroll-service", "Scroll to the service strip.");
    QCommandLineOption showSortArea("show-sort-area", "Show the sort-by-serial area.");
    QCommandLineOption showApc("show-apc", "Show the APC window.");
    QCommandLineOption readyFile("ready-file", "Write FILE once the windows are drawn.", "FILE");
    QCommandLineOption click("click", "Click the control NAME once the window is shown.", "NAME");
    QCommandLineOption readyAfter("ready-after", "Write the ready file MS after the clicks.", "MS",
                                  "500");
    QCommandLineOption simSensors("sim-sensors", "Sensors on every simulated channel.", "N", "-1");
    // The real driver stack over an emulated FTDI cable with the simulated module behind it.
    QCommandLineOption simulateUsb("simulate-usb",
                                   "Attach the simulated module on an emulated cable.");
    QCommandLineOption simLevels("sim-levels", "Sensor positions per channel (10, 12, 16).", "N",
                                 "10");
    QCommandLineOption showLevel("show-level", "Scroll the sensor grids to level N.", "N");
    QCommandLineOption trendPictureOption(
        "trend-picture", "Save the trend plot as PNG FILE before the ready file.", "FILE");
    QCommandLineOption reportPdfOption(
        "report-pdf", "Write the service report as PDF FILE before the ready file.", "FILE");
    QCommandLineOption reportRemarks("report-remarks", "The remarks of --report-pdf.", "TEXT");
    for (QCommandLineOption* option :
         {&showPage, &scrollService, &showSortArea, &showApc, &readyFile, &click, &readyAfter,
          &simSensors, &simLevels, &showLevel, &trendPictureOption, &reportPdfOption,
          &reportRemarks, &simulateUsb}) {
        option->setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(*option);
    }
    // The help and the version are answered without a display.
    QStringList arguments;
    for (int index = 0; index < argc; ++index) arguments << QString::fromLocal8Bit(argv[index]);
    parser.parse(arguments);
    if (parser.isSet("help") || parser.isSet("help-all") || parser.isSet("version")) {
        const QCoreApplication console(argc, argv);
        parser.process(console);  // prints and leaves
        return 0;
    }
    bool rateOk = false;
    const double rate = parser.value(faultRate).toDouble(&rateOk);
    if (!rateOk || rate < 0 || rate > 1) {
        std::fprintf(stderr, "nuvtool: --sim-fault-rate takes a number from 0 to 1\n");
        return 2;
    }
    if (parser.isSet(simulateUsb) && std::getenv("NUV_USB_EMULATED") == nullptr) {
        return RunOverEmulatedCable(argc, argv,
                                    std::clamp(parser.value(simSensors).toInt(), -1, 16));
    }
    QApplication application(argc, argv);
    parser.process(application);

    nuv::SystemClock clock;
    // The simulated module stands in for a cable on the default driver: no line moves at an open.
    std::unique_ptr<nuv::sim::SimFtdi> simulated;
    std::unique_ptr<nuv::PortKeeper> simulatedKeeper;
    std::unique_ptr<nuv::CableDriver> cables;
    nuv::FtdiApi* driver = nullptr;
    if (parser.isSet(simulate)) {
        simulated = std::make_unique<nuv::sim::SimFtdi>(clock);
        nuv::sim::AddSimulatedModule(*simulated, rate,
                                     std::clamp(parser.value(simSensors).toInt(), -1, 16),
                                     parser.value(simLevels).toInt());
        simulatedKeeper = std::make_unique<nuv::PortKeeper>(*simulated);
        driver = simulatedKeeper.get();
    } else {
        std::vector<nuv::ExplicitPort> explicitPorts;
        if (parser.isSet(port)) {
            explicitPorts.push_back(
                nuv::ExplicitPort{parser.value(port).toStdString(), "ORNEVA NUV", ""});
        }
        // A port named on the command line is the module's: the USB cables are not listed then,
        // so that a failing USB listing cannot keep the named port from being used.
        cables = std::make_unique<nuv::CableDriver>(clock, std::move(explicitPorts),
                                                    !parser.isSet(port));
        driver = &cables->Api();
    }

    nuv::gui::GuiPump pump;
    nuv::gui::QtDialogs dialogs;
    nuv::Tool tool(*driver, clock, pump, dialogs);
    tool.buildVersion = NUV_VERSION;
    tool.reportPdf = nuv::RenderReportPdf;
    nuv::gui::SoundTone tone;
    tool.tone = &tone;
    if (cables) {
        // A cable that libftdi1 cannot reach: one line in the log, and on standard error.
        cables->notice = [&tool](const std::string& line) {
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
    if (parser.isSet(showPage)) {
        tool.panel.activePage = std::clamp(parser.value(showPage).toInt(), 0,
                                           static_cast<int>(nuv::kPageCaptions.size()) - 1);
    }
    if (parser.isSet(showSortArea)) {
        tool.panel.StringGrid2.SetVisible(false);
        tool.panel.GroupBox2.SetVisible(true);
    }
    window.SyncAll();
    window.show();
    // The APC window is placed from the main window, which has its place once shown.
    if (parser.isSet(showApc)) {
        tool.form2.SetVisible(true);
        window.SyncAll();
    }
    if (parser.isSet(scrollService)) window.ScrollToServiceArea();
    // The clicks run one after another as a user's would; the ready file follows them.
    const QStringList clicks = parser.values(click);
    const QString ready = parser.isSet(readyFile) ? parser.value(readyFile) : QString();
    const int readyMs = std::max(0, parser.value(readyAfter).toInt());
    const QString trendPicture = parser.value(trendPictureOption);
    const nuv::ServiceReportRequest report{nuv::gui::ToStdString(parser.value(reportPdfOption)),
                                           nuv::gui::ToStdString(parser.value(reportRemarks)), ""};
    const int level = parser.isSet(showLevel) ? parser.value(showLevel).toInt() : 0;
    QTimer::singleShot(
        0, &window, [&tool, &window, clicks, ready, readyMs, trendPicture, report, level] {
            for (const QString& name : clicks) {
                nuv::Control* control = tool.panel.Find(name.toStdString());
                if (control == nullptr) {
                    std::fprintf(stderr, "nuvtool: no control named %s\n", qPrintable(name));
                    continue;
                }
                tool.Click(*control);
                window.SyncAll();
            }
            if (ready.isEmpty()) return;
            QTimer::singleShot(
                readyMs, &window, [&tool, &window, ready, trendPicture, report, level] {
                    // The sensor grids scrolled down to a level row, in the channel's column the
                    // search left current.
                    if (level > 0) {
                        for (nuv::StringGrid* grid :
                             {&tool.panel.StringGrid2, &tool.form2.StringGrid4}) {
                            if (static_cast<std::size_t>(level) < grid->RowCount()) {
                                grid->SetCurrentCell(
                                    std::max<std::size_t>(grid->CurrentColumn(), 1),
                                    static_cast<std::size_t>(level));
                            }
                        }
                        window.SyncAll();
                        QApplication::processEvents();
                    }
                    // The trend plot as its "Save picture…" writes it, whatever covers it on the
                    // screen.
                    if (!trendPicture.isEmpty()) {
                        if (const auto failure =
                                window.Trend()->SavePicture(nuv::gui::ToStdString(trendPicture))) {
                            std::fprintf(stderr, "nuvtool: %s\n", failure->c_str());
                        }
                    }
                    // The service report as "Service report…" writes it, with what this session did
                    // (an APC run); program mode is left first, as a person would leave it.
                    if (!report.path.empty()) {
                        if (tool.panel.Button39.Enabled()) tool.Click(tool.panel.Button39);
                        nuv::WriteServiceReport(tool, report);
                        window.SyncAll();
                        std::fprintf(stderr, "nuvtool: %s\n",
                                     tool.panel.ServiceStatus.Caption().c_str());
                    }
                    QFile file(ready);
                    if (file.open(QIODevice::WriteOnly)) file.write("ready\n");
                });
        });
    return QApplication::exec();
}
