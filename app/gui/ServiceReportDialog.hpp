#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "model/Dialogs.hpp"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace nuv::gui {

// "Service report…": where the report goes (its ending chooses text, JSON or PDF), the
// technician's remarks, and the report of the last visit to compare with. The two "Browse…"
// buttons ask through the given choosers (the file dialogs).
class ServiceReportDialog final : public QDialog {
    Q_OBJECT

  public:
    using Chooser = std::function<std::optional<std::string>()>;
    ServiceReportDialog(SaveFileRequest file, Chooser chooseReport, Chooser choosePrevious,
                        QWidget* parent = nullptr);

    // What was entered: a name without a folder is taken in the request's folder, and one
    // without an ending gets the request's default ending.
    ServiceReportRequest Request() const;

    QLineEdit* ReportFile() const { return reportFile_; }
    QPlainTextEdit* Remarks() const { return remarks_; }
    QLineEdit* PreviousReport() const { return previous_; }
    QPushButton* WriteButton() const { return write_; }

  private:
    SaveFileRequest file_;
    QLineEdit* reportFile_;
    QPlainTextEdit* remarks_;
    QLineEdit* previous_;
    QPushButton* write_;
};

}  // namespace nuv::gui
