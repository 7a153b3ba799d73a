#pragma once

#include <QWidget>
#include <memory>
#include <string_view>
#include <vector>

#include "app/gui/ControlViews.hpp"

namespace nuv::gui {

class GridView;

// The APC configuration window `Form2`: the segregation grid, the operator's instruction line and
// "Zapisz bierzący uklad". It stays above the main window while shown and leaves it usable; the
// model's `visible` shows and hides it.
class TForm2 final : public QWidget {
    Q_OBJECT

  public:
    // `owner` is the main window: the APC window stays above it and is placed from it.
    TForm2(ViewContext& context, QWidget* owner);
    ~TForm2() override;
    TForm2(const TForm2&) = delete;
    TForm2& operator=(const TForm2&) = delete;

    void Sync();
    QWidget* ControlWidget(std::string_view name) const;
    GridView* Grid() const { return grid_; }

  protected:
    // The close box: the window's button while that may be pressed, else only hiding.
    void closeEvent(QCloseEvent* event) override;

  private:
    ViewContext& context_;
    QWidget* owner_;
    std::vector<std::unique_ptr<ControlView>> views_;
    GridView* grid_ = nullptr;
    std::size_t seenVisible_ = 0;
    std::size_t seenPlace_ = 0;
    bool synced_ = false;
};

using ApcWindow = TForm2;

}  // namespace nuv::gui
