#include "app/gui/ServiceReportDialog.hpp"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <filesystem>

#include "app/gui/Fonts.hpp"

namespace nuv::gui {
namespace {

// A line edit with a "Browse…" button that fills it from a chooser.
QWidget* WithBrowse(QLineEdit* edit, const QString& name, ServiceReportDialog::Chooser chooser,
                    QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit, 1);
    auto* browse = new QPushButton("Browse…", row);
    browse->setObjectName(name);
    browse->setAutoDefault(false);
    layout->addWidget(browse);
    QObject::connect(browse, &QPushButton::clicked, row, [edit, chooser = std::move(chooser)] {
        if (const auto path = chooser()) edit->setText(ToQString(*path));
    });
    return row;
}

}  // namespace

ServiceReportDialog::ServiceReportDialog(SaveFileRequest file, Chooser chooseReport,
                                         Chooser choosePrevious, QWidget* parent)
    : QDialog(parent),
      file_(std::move(file)),
      reportFile_(new QLineEdit(this)),
      remarks_(new QPlainTextEdit(this)),
      previous_(new QLineEdit(this)),
      write_(nullptr) {
    setObjectName("ServiceReportDialog");
    setWindowTitle("Service report");
    reportFile_->setObjectName("reportFile");
    remarks_->setObjectName("reportRemarks");
    previous_->setObjectName("previousReport");
    remarks_->setTabChangesFocus(true);  // Tab goes on to the next field; Enter breaks a line
    remarks_->setFixedHeight(remarks_->fontMetrics().lineSpacing() * 5 + 12);
    previous_->setPlaceholderText("none: no comparison");

    QStringList kinds;
    for (const SaveFileRequest::Filter& filter : file_.filters) kinds << ToQString(filter.pattern);
    auto* hint = new QLabel("The name's ending chooses the kind: " + kinds.join(", ") +
                                ". Keep the JSON report: the next visit compares with it.",
                            this);
    hint->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow("Report file:",
                 WithBrowse(reportFile_, "browseReport", std::move(chooseReport), this));
    form->addRow("", hint);
    form->addRow("Remarks:", remarks_);
    form->addRow("Last visit's report:",
                 WithBrowse(previous_, "browsePrevious", std::move(choosePrevious), this));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    write_ = buttons->button(QDialogButtonBox::Ok);
    write_->setText("Collect and write");
    write_->setEnabled(false);
    connect(reportFile_, &QLineEdit::textChanged, this,
            [this](const QString& text) { write_->setEnabled(!text.trimmed().isEmpty()); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // In the order they are shown, each field before its "Browse…".
    QWidget* order[] = {reportFile_,
                        findChild<QPushButton*>("browseReport"),
                        remarks_,
                        previous_,
                        findChild<QPushButton*>("browsePrevious"),
                        write_,
                        buttons->button(QDialogButtonBox::Cancel)};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    resize(520, sizeHint().height());
    reportFile_->setFocus();
}

ServiceReportRequest ServiceReportDialog::Request() const {
    std::filesystem::path path(ToStdString(reportFile_->text().trimmed()));
    if (!path.empty() && !path.has_extension() && !file_.defaultExtension.empty()) {
        path += "." + file_.defaultExtension;
    }
    if (path.is_relative() && !file_.folder.empty()) path = file_.folder / path;
    return {path.string(), ToStdString(remarks_->toPlainText()),
            ToStdString(previous_->text().trimmed())};
}

}  // namespace nuv::gui
