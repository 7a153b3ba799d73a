#pragma once

#include <span>
#include <string_view>

namespace nuv::gui {

// The main window's client area, and where the service strip starts (reached by scrolling).
inline constexpr int kClientWidth = 681;
inline constexpr int kClientHeight = 605;
inline constexpr int kServiceAreaX = 696;
inline constexpr int kServiceAreaWidth = 360;
// The scrolled content: the window's width plus the service strip.
inline constexpr int kContentWidth = kServiceAreaX + kServiceAreaWidth + 8;

// The containers that hold controls besides the controls themselves.
inline constexpr std::string_view kClient = "Client";
inline constexpr std::string_view kServiceArea = "ServiceArea";
inline constexpr std::string_view kPageNames[] = {
    "tabUsbInterface", "tabFirmwareUpdate", "tabConfiguration", "tabMeasurement", "tabErrorLogger"};

// Where one control of the main window sits: its container (a page, a group, a panel, the
// client area or the service strip) and its rectangle in the container.
struct Placement {
    std::string_view name;
    std::string_view parent;
    int x;
    int y;
    int width;
    int height;
};

std::span<const Placement> MainWindowLayout();
const Placement* FindPlacement(std::string_view name);

}  // namespace nuv::gui
