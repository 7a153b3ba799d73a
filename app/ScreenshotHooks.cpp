#include "app/ScreenshotHooks.hpp"

#include <QApplication>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include "app/gui/Fonts.hpp"
#include "app/gui/MainWindow.hpp"
#include "app/gui/TrendWindow.hpp"
#include "model/Tool.hpp"
#include "report/ServiceReport.hpp"

namespace nuv {
namespace {

// The sensor grids scrolled down to a level row, in the channel's column the search left current.
void ShowLevel(Tool& tool, gui::TForm1& window, int level) {
    for (StringGrid* grid : {&tool.panel.StringGrid2, &tool.form2.StringGrid4}) {
        if (static_cast<std::size_t>(level) < grid->RowCount()) {
            grid->SetCurrentCell(std::max<std::size_t>(grid->CurrentColumn(), 1),
                                 static_cast<std::size_t>(level));
        }
    }
    window.SyncAll();
    QApplication::processEvents();
}

}  // namespace

ScreenshotHooks::ScreenshotHooks(QCommandLineParser& parser) {
    for (QCommandLineOption* option :
         {&showPageOption_, &scrollServiceOption_, &showSortAreaOption_, &showApcOption_,
          &readyFileOption_, &clickOption_, &readyAfterOption_, &showLevelOption_,
          &trendPictureOption_, &reportPdfOption_, &reportRemarksOption_}) {
        option->setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(*option);
    }
}

void ScreenshotHooks::Read(const QCommandLineParser& parser) {
    showPage_ = parser.isSet(showPageOption_);
    page_ = parser.value(showPageOption_).toInt();
    scrollService_ = parser.isSet(scrollServiceOption_);
    showSortArea_ = parser.isSet(showSortAreaOption_);
    showApc_ = parser.isSet(showApcOption_);
    clicks_ = parser.values(clickOption_);
    ready_ = parser.isSet(readyFileOption_) ? parser.value(readyFileOption_) : QString();
    readyMs_ = std::max(0, parser.value(readyAfterOption_).toInt());
    trendPicture_ = parser.value(trendPictureOption_);
    report_ = ServiceReportRequest{gui::ToStdString(parser.value(reportPdfOption_)),
                                   gui::ToStdString(parser.value(reportRemarksOption_)), ""};
    level_ = parser.isSet(showLevelOption_) ? parser.value(showLevelOption_).toInt() : 0;
}

void ScreenshotHooks::BeforeShow(Tool& tool) const {
    if (showPage_) {
        tool.panel.activePage = std::clamp(page_, 0, static_cast<int>(kPageCaptions.size()) - 1);
    }
    if (showSortArea_) {
        tool.panel.StringGrid2.SetVisible(false);
        tool.panel.GroupBox2.SetVisible(true);
    }
}

void ScreenshotHooks::AfterShow(Tool& tool, gui::TForm1& window) const {
    // The APC window is placed from the main window, which has its place once shown.
    if (showApc_) {
        tool.form2.SetVisible(true);
        window.SyncAll();
    }
    if (scrollService_) window.ScrollToServiceArea();
    QTimer::singleShot(0, &window, [&tool, &window, hooks = *this] {
        for (const QString& name : hooks.clicks_) {
            Control* control = tool.panel.Find(name.toStdString());
            if (control == nullptr) {
                std::fprintf(stderr, "nuvtool: no control named %s\n", qPrintable(name));
                continue;
            }
            tool.Click(*control);
            window.SyncAll();
        }
        if (hooks.ready_.isEmpty()) return;
        QTimer::singleShot(hooks.readyMs_, &window, [&tool, &window, hooks] {
            if (hooks.level_ > 0) ShowLevel(tool, window, hooks.level_);
            // The trend plot as its "Save picture…" writes it, whatever covers it on the screen.
            if (!hooks.trendPicture_.isEmpty()) {
                if (const auto failure =
                        window.Trend()->SavePicture(gui::ToStdString(hooks.trendPicture_))) {
                    std::fprintf(stderr, "nuvtool: %s\n", failure->c_str());
                }
            }
            // The service report as "Service report…" writes it, with what this session did (an
            // APC run); program mode is left first, as a person would leave it.
            if (!hooks.report_.path.empty()) {
                if (tool.panel.Button39.Enabled()) tool.Click(tool.panel.Button39);
                WriteServiceReport(tool, hooks.report_);
                window.SyncAll();
                std::fprintf(stderr, "nuvtool: %s\n", tool.panel.ServiceStatus.Caption().c_str());
            }
            QFile file(hooks.ready_);
            if (file.open(QIODevice::WriteOnly)) file.write("ready\n");
        });
    });
}

}  // namespace nuv
