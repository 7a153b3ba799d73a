#include "app/gui/ControlViews.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QTimer>

#include "app/gui/Fonts.hpp"
#include "model/Tool.hpp"

namespace nuv::gui {

void ViewContext::Act(const std::function<void()>& action) {
    action();
    if (syncAll) syncAll();
}

ControlView::ControlView(ViewContext& context, Control& control, QWidget* widget)
    : context_(context), control_(control), widget_(widget) {
    widget->setObjectName(ToQString(control.Name()));
}

void ControlView::Sync(bool force) {
    if (widget_ == nullptr) return;
    if (!force && synced_ && seen_ == control_.Revision()) return;
    seen_ = control_.Revision();
    synced_ = true;
    Apply();
}

void ControlView::Apply() {
    QWidget* widget = widget_;
    widget->setEnabled(control_.Enabled());
    widget->setHidden(!control_.Visible());
    widget->setToolTip(ToQString(control_.Hint()));

    // Only the roles the control sets are fixed; everything else follows the window.
    QPalette palette;
    palette.setResolveMask(0);
    if (const auto& colour = control_.Colour()) {
        palette.setColor(backgroundRole_, ToQColor(*colour));
    }
    if (const auto& colour = control_.TextColour()) {
        palette.setColor(textRole_, ToQColor(*colour));
    }
    widget->setPalette(palette);
    if (fillsBackground_) widget->setAutoFillBackground(control_.Colour().has_value());

    QFont font;
    font.setResolveMask(0);
    if (control_.Bold()) font.setBold(true);
    widget->setFont(font);
}

bool ControlView::Accepts(const std::function<void()>& handler) {
    if (!handler || !context_.tool.CommandRunning() || control_.runsDuringCommand ||
        control_.deferredDuringCommand) {
        return true;
    }
    Sync(true);
    return false;
}

namespace {

class ButtonView final : public ControlView {
  public:
    ButtonView(ViewContext& context, Control& control, QWidget* parent)
        : ControlView(context, control, new QPushButton(parent)),
          button_(static_cast<QPushButton*>(Widget())) {
        backgroundRole_ = QPalette::Button;
        textRole_ = QPalette::ButtonText;
        fillsBackground_ = false;
        button_->setAutoDefault(false);
        QObject::connect(button_, &QPushButton::clicked, button_,
                         [this] { context_.Act([this] { context_.tool.Click(control_); }); });
    }

  protected:
    void Apply() override {
        ControlView::Apply();
        button_->setText(ToQString(control_.Caption()));
    }

  private:
    QPushButton* button_;
};

class CheckBoxView final : public ControlView {
  public:
    CheckBoxView(ViewContext& context, Control& control, QWidget* parent)
        : ControlView(context, control, new QCheckBox(parent)),
          box_(static_cast<QCheckBox*>(Widget())) {
        QObject::connect(box_, &QCheckBox::clicked, box_, [this](bool checked) {
            if (!Accepts(control_.onClick)) return;
            context_.Act([this, checked] {
                control_.SetChecked(checked);
                context_.tool.Click(control_);
            });
        });
    }

  protected:
    void Apply() override {
        ControlView::Apply();
        box_->setText(ToQString(control_.Caption()));
        box_->setChecked(control_.Checked());
    }

  private:
    QCheckBox* box_;
};

class LabelView final : public ControlView {
  public:
    LabelView(ViewContext& context, Control& control, QWidget* parent)
        : ControlView(context, control, new QLabel(parent)),
          label_(static_cast<QLabel*>(Widget())) {
        label_->setTextFormat(Qt::PlainText);
        label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

  protected:
    void Apply() override {
        ControlView::Apply();
        label_->setText(LabelText(control_.Caption()));
    }

  private:
    QLabel* label_;
};

// A panel: a raised frame that shows its caption in the middle and holds other controls.
class PanelView final : public ControlView {
  public:
    PanelView(ViewContext& context, Control& control, QWidget* parent)
        : ControlView(context, control, new QLabel(parent)),
          panel_(static_cast<QLabel*>(Widget())) {
        panel_->setFrameStyle(QFrame::Panel | QFrame::Raised);
        panel_->setTextFormat(Qt::PlainText);
        panel_->setAlignment(Qt::AlignCenter);
    }

  protected:
    void Apply() override {
        ControlView::Apply();
        panel_->setText(LabelText(control_.Caption()));
    }

  private:
    QLabel* panel_;
};

class GroupBoxView final : public ControlView {
  public:
    GroupBoxView(ViewContext& context, Control& control, QWidget* parent)
        : ControlView(context, control, new QGroupBox(parent)),
          group_(static_cast<QGroupBox*>(Widget())) {}

  protected:
    void Apply() override {
        ControlView::Apply();
        group_->setTitle(ToQString(control_.Caption()));
    }

  private:
    QGroupBox* group_;
};

class EditView final : public ControlView {
  public:
    EditView(ViewContext& context, Control& control, QWidget* parent)
        : ControlView(context, control, new QLineEdit(parent)),
          edit_(static_cast<QLineEdit*>(Widget())) {
        backgroundRole_ = QPalette::Base;
        textRole_ = QPalette::Text;
        fillsBackground_ = false;
        // Typing goes to the control; the sync that follows finds the same text and leaves the
        // cursor where it is.
        QObject::connect(edit_, &QLineEdit::textEdited, edit_, [this](const QString& text) {
            context_.Act([this, text] {
                control_.SetText(ToStdString(text));
                context_.tool.Change(control_);
            });
        });
    }

  protected:
    void Apply() override {
        ControlView::Apply();
        const QString text = ToQString(control_.Text());
        if (edit_->text() != text) edit_->setText(text);
    }

  private:
    QLineEdit* edit_;
};

// A multi-line text. Text added at the end of the control's text is added to the widget's end,
// so a growing text costs only its new part.
class MemoView final : public ControlView {
  public:
    MemoView(ViewContext& context, Control& control, QWidget* parent)
        : ControlView(context, control, new QPlainTextEdit(parent)),
          memo_(static_cast<QPlainTextEdit*>(Widget())) {
        backgroundRole_ = QPalette::Base;
        textRole_ = QPalette::Text;
        fillsBackground_ = false;
        memo_->setUndoRedoEnabled(false);
        QObject::connect(memo_, &QPlainTextEdit::textChanged, memo_, [this] {
            // Also told of format changes: only a new text is the user's.
            if (applying_) return;
            std::string typed = ToStdString(memo_->toPlainText());
            if (typed == shown_) return;
            shown_ = std::move(typed);
            context_.Act([this] {
                control_.SetText(shown_);
                context_.tool.Change(control_);
            });
        });
    }

  protected:
    void Apply() override {
        ControlView::Apply();
        const std::string& text = control_.Text();
        if (text == shown_) return;
        applying_ = true;
        if (!shown_.empty() && text.size() > shown_.size() && text.starts_with(shown_)) {
            QTextCursor cursor(memo_->document());
            cursor.movePosition(QTextCursor::End);
            cursor.insertText(ToQString(std::string_view(text).substr(shown_.size())));
            memo_->verticalScrollBar()->setValue(memo_->verticalScrollBar()->maximum());
        } else {
            memo_->setPlainText(ToQString(text));
        }
        shown_ = text;
        applying_ = false;
    }

  private:
    QPlainTextEdit* memo_;
    std::string shown_;
    bool applying_ = false;
};

QStringList ToQStringList(const std::vector<std::string>& items) {
    QStringList list;
    list.reserve(static_cast<qsizetype>(items.size()));
    for (const std::string& item : items) list.push_back(ToQString(item));
    return list;
}

// A combo box that also takes typed text: choosing an item selects it; typing leaves no item
// selected and makes the typed text the control's text.
class ComboBoxView final : public ControlView {
  public:
    ComboBoxView(ViewContext& context, Control& control, QWidget* parent)
        : ControlView(context, control, new QComboBox(parent)),
          combo_(static_cast<QComboBox*>(Widget())) {
        backgroundRole_ = QPalette::Base;
        textRole_ = QPalette::Text;
        fillsBackground_ = false;
        combo_->setEditable(true);
        combo_->setInsertPolicy(QComboBox::NoInsert);
        combo_->setCompleter(nullptr);
        combo_->setMaxVisibleItems(8);
        QObject::connect(combo_, &QComboBox::activated, combo_, [this](int index) {
            if (!Accepts(control_.onChange)) return;
            context_.Act([this, index] {
                control_.SetIndex(index);
                context_.tool.Change(control_);
            });
        });
        QObject::connect(combo_->lineEdit(), &QLineEdit::textEdited, combo_,
                         [this](const QString& text) {
                             if (!Accepts(control_.onChange)) return;
                             context_.Act([this, text] {
                                 control_.SetIndex(-1);
                                 control_.SetText(ToStdString(text));
                                 context_.tool.Change(control_);
                             });
                         });
    }

  protected:
    void Apply() override {
        ControlView::Apply();
        const QSignalBlocker blocker(combo_);
        if (items_ != control_.Items()) {
            items_ = control_.Items();
            combo_->clear();
            combo_->addItems(ToQStringList(items_));
        }
        if (combo_->currentIndex() != control_.Index()) combo_->setCurrentIndex(control_.Index());
        const QString text = ToQString(control_.Text());
        if (combo_->currentText() != text) combo_->setEditText(text);
    }

  private:
    QComboBox* combo_;
    std::vector<std::string> items_;
};

// A list that tells when the user has acted on it (a key, a mouse button going down, a drag, a
// button going up), and when a mouse button goes down, before the list moves its current item.
class InputAwareList final : public QListWidget {
  public:
    explicit InputAwareList(QWidget* parent) : QListWidget(parent) {}
    std::function<void()> onPress;
    std::function<void()> afterInput;
    bool UserActing() const { return acting_ != 0; }

  protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (onPress) onPress();
        Acted([&] { QListWidget::mousePressEvent(event); });
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        Acted([&] { QListWidget::mouseMoveEvent(event); });
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        Acted([&] { QListWidget::mouseReleaseEvent(event); });
    }
    void keyPressEvent(QKeyEvent* event) override {
        Acted([&] { QListWidget::keyPressEvent(event); });
    }

  private:
    template <typename F>
    void Acted(F&& handle) {
        ++acting_;
        handle();
        --acting_;
        if (afterInput) afterInput();
    }
    int acting_ = 0;
};

// A list box: a change of its current item by the user, by any means (a click, the arrow keys,
// Home and End, typing the start of an item, pressing and dragging), sets the list's index and
// acts as a click, as the original list box does, so that ">>" and "<<" move the item that is
// highlighted. A click on the item that is current already is a click as well.
class ListBoxView final : public ControlView {
  public:
    ListBoxView(ViewContext& context, Control& control, QWidget* parent)
        : ControlView(context, control, new InputAwareList(parent)),
          list_(static_cast<InputAwareList*>(Widget())) {
        backgroundRole_ = QPalette::Base;
        textRole_ = QPalette::Text;
        fillsBackground_ = false;
        list_->onPress = [this] { changedSincePress_ = false; };
        list_->afterInput = [this] {
            const int row = list_->currentRow();
            if (row < 0 || row == control_.Index()) return;
            changedSincePress_ = true;
            Choose(row);
        };
        QObject::connect(list_, &QListWidget::currentRowChanged, list_, [this](int row) {
            // The view also moves its current item by itself (when it gets the focus): that is
            // no choice, and the list shows the model's item again once the view is done.
            if (list_->UserActing() || row == control_.Index()) return;
            QTimer::singleShot(0, list_, [this] { Sync(true); });
        });
        QObject::connect(list_, &QListWidget::itemClicked, list_, [this](QListWidgetItem* item) {
            // The press that made this item current has acted already.
            if (changedSincePress_) {
                changedSincePress_ = false;
                return;
            }
            Choose(list_->row(item));
        });
        QObject::connect(list_, &QListWidget::itemDoubleClicked, list_,
                         [this](QListWidgetItem* item) {
                             if (!Accepts(control_.onDoubleClick)) return;
                             const int row = list_->row(item);
                             context_.Act([this, row] {
                                 control_.SetIndex(row);
                                 context_.tool.DoubleClick(control_);
                             });
                         });
    }

  protected:
    void Apply() override {
        ControlView::Apply();
        const QSignalBlocker blocker(list_);
        if (items_ != control_.Items()) {
            items_ = control_.Items();
            list_->clear();
            list_->addItems(ToQStringList(items_));
        }
        if (list_->currentRow() != control_.Index()) list_->setCurrentRow(control_.Index());
    }

  private:
    // The item at `row` chosen: the list's index, then its click.
    void Choose(int row) {
        if (!Accepts(control_.onClick)) return;
        context_.Act([this, row] {
            control_.SetIndex(row);
            context_.tool.Click(control_);
        });
    }

    InputAwareList* list_;
    std::vector<std::string> items_;
    bool changedSincePress_ = false;
};

class ProgressBarView final : public ControlView {
  public:
    ProgressBarView(ViewContext& context, Control& control, QWidget* parent)
        : ControlView(context, control, new QProgressBar(parent)),
          bar_(static_cast<QProgressBar*>(Widget())) {
        bar_->setRange(0, 100);
        bar_->setTextVisible(false);
    }

  protected:
    void Apply() override {
        ControlView::Apply();
        bar_->setValue(control_.Position());
    }

  private:
    QProgressBar* bar_;
};

}  // namespace

std::unique_ptr<ControlView> MakeControlView(ViewContext& context, Control& control,
                                             QWidget* parent) {
    switch (control.Kind()) {
        case ControlKind::Button:
            return std::make_unique<ButtonView>(context, control, parent);
        case ControlKind::CheckBox:
            return std::make_unique<CheckBoxView>(context, control, parent);
        case ControlKind::Label:
            return std::make_unique<LabelView>(context, control, parent);
        case ControlKind::Edit:
            return std::make_unique<EditView>(context, control, parent);
        case ControlKind::Memo:
            return std::make_unique<MemoView>(context, control, parent);
        case ControlKind::ComboBox:
            return std::make_unique<ComboBoxView>(context, control, parent);
        case ControlKind::ListBox:
            return std::make_unique<ListBoxView>(context, control, parent);
        case ControlKind::Panel:
            return std::make_unique<PanelView>(context, control, parent);
        case ControlKind::GroupBox:
            return std::make_unique<GroupBoxView>(context, control, parent);
        case ControlKind::ProgressBar:
            return std::make_unique<ProgressBarView>(context, control, parent);
        case ControlKind::Grid:
            break;
    }
    return nullptr;
}

}  // namespace nuv::gui
