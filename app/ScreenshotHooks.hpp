#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include "model/Dialogs.hpp"

namespace nuv {
class Tool;
namespace gui {
class TForm1;
}  // namespace gui

// For pictures of the windows (scripts/screenshots.sh): the page shown at start (0 to 4), the
// window scrolled to the service strip, the sort-by-serial area or the APC window shown, controls
// clicked, the sensor grids scrolled to a level, the trend plot saved, the service report's PDF
// written, and a file written once the windows are drawn and the clicks' commands have ended.
// Its options are hidden from the help.
class ScreenshotHooks {
  public:
    // Adds the options to the parser.
    explicit ScreenshotHooks(QCommandLineParser& parser);
    // What the parsed command line asks.
    void Read(const QCommandLineParser& parser);

    // Before the window is shown: the page and the sort-by-serial area.
    void BeforeShow(Tool& tool) const;
    // Once it is shown: the APC window, the scroll, then the clicks one after another as a
    // user's would, and the ready file after them.
    void AfterShow(Tool& tool, gui::TForm1& window) const;

  private:
    QCommandLineOption showPageOption_{"show-page", "Page shown at start.", "N"};
    QCommandLineOption scrollServiceOption_{"scroll-service", "Scroll to the service strip."};
    QCommandLineOption showSortAreaOption_{"show-sort-area", "Show the sort-by-serial area."};
    QCommandLineOption showApcOption_{"show-apc", "Show the APC window."};
    QCommandLineOption readyFileOption_{"ready-file", "Write FILE once the windows are drawn.",
                                        "FILE"};
    QCommandLineOption clickOption_{"click", "Click the control NAME once the window is shown.",
                                    "NAME"};
    QCommandLineOption readyAfterOption_{"ready-after", "Write the ready file MS after the clicks.",
                                         "MS", "500"};
    QCommandLineOption showLevelOption_{"show-level", "Scroll the sensor grids to level N.", "N"};
    QCommandLineOption trendPictureOption_{
        "trend-picture", "Save the trend plot as PNG FILE before the ready file.", "FILE"};
    QCommandLineOption reportPdfOption_{
        "report-pdf", "Write the service report as PDF FILE before the ready file.", "FILE"};
    QCommandLineOption reportRemarksOption_{"report-remarks", "The remarks of --report-pdf.",
                                            "TEXT"};

    bool showPage_ = false;
    int page_ = 0;
    bool scrollService_ = false;
    bool showSortArea_ = false;
    bool showApc_ = false;
    QStringList clicks_;
    QString ready_;
    int readyMs_ = 500;
    QString trendPicture_;
    ServiceReportRequest report_;
    int level_ = 0;
};

}  // namespace nuv
