#include "app/gui/ApcWindow.hpp"

#include <QCloseEvent>
#include <QPlainTextEdit>

#include "app/gui/Fonts.hpp"
#include "app/gui/GridView.hpp"
#include "model/Tool.hpp"

namespace nuv::gui {

namespace {

constexpr int kWidth = 501;
constexpr int kHeight = 293;
// Where the window appears, from the main window's top-left corner.
constexpr QPoint kOffset{90, 140};

}  // namespace

TForm2::TForm2(ViewContext& context, QWidget* owner)
    : QWidget(owner), context_(context), owner_(owner) {
    setObjectName("Form2");
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowModality(Qt::NonModal);
    setFixedSize(kWidth, kHeight);
    setFont(WindowFont());

    ApcPanel& panel = context_.tool.form2;
    auto grid = std::make_unique<GridView>(context_, panel.StringGrid4, this,
                                           GridView::Options{1, false, false, true});
    grid->FixRowHeight(1, 19);
    grid->Widget()->setGeometry(1, 7, 498, 253);
    grid->Widget()->setFocusPolicy(Qt::ClickFocus);  // skipped by the Tab key
    grid_ = grid.get();
    views_.push_back(std::move(grid));

    auto memo = MakeControlView(context_, panel.Memo1, this);
    memo->Widget()->setGeometry(3, 267, 358, 25);
    if (auto* edit = qobject_cast<QPlainTextEdit*>(memo->Widget())) {
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->document()->setDocumentMargin(2);
    }
    views_.push_back(std::move(memo));

    auto button = MakeControlView(context_, panel.Button1, this);
    button->Widget()->setGeometry(368, 267, 129, 25);
    views_.push_back(std::move(button));

    hide();
}

TForm2::~TForm2() = default;

QWidget* TForm2::ControlWidget(std::string_view name) const {
    for (const auto& view : views_) {
        if (view->Model().Name() == name) return view->Widget();
    }
    return nullptr;
}

void TForm2::Sync() {
    ApcPanel& panel = context_.tool.form2;
    for (const auto& view : views_) view->Sync();
    const QString title = ToQString(panel.title);
    if (windowTitle() != title) setWindowTitle(title);
    // Every start of a procedure puts the window at its place, shown or not.
    const bool place = !synced_ || seenPlace_ != panel.placeRevision;
    seenPlace_ = panel.placeRevision;
    if (place && owner_ != nullptr) move(owner_->frameGeometry().topLeft() + kOffset);
    if (synced_ && seenVisible_ == panel.visibleRevision) return;
    synced_ = true;
    seenVisible_ = panel.visibleRevision;
    if (panel.visible == isVisible()) return;
    if (panel.visible) {
        if (owner_ != nullptr) move(owner_->frameGeometry().topLeft() + kOffset);
        show();
    } else {
        hide();
    }
}

void TForm2::closeEvent(QCloseEvent* event) {
    Tool& tool = context_.tool;
    Control& button = tool.form2.Button1;
    // While its button may be pressed, the close box presses it: that ends the procedure, which
    // hides the window. Otherwise (the button disabled, or a command waiting on the module) it
    // only hides the window: no click is kept for later, which could end a procedure long over
    // or send a block to a module back in normal mode.
    if (button.Enabled() && !tool.CommandRunning()) {
        event->ignore();
        context_.Act([&tool, &button] { tool.Click(button); });
        return;
    }
    event->accept();
    context_.Act([&tool] { tool.form2.SetVisible(false); });
}

}  // namespace nuv::gui
