#pragma once

#include <cstdint>

namespace nuv {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend constexpr bool operator==(Rgb, Rgb) = default;
};

namespace colour {
inline constexpr Rgb LogDefault{118, 254, 240};
inline constexpr Rgb ErrorRed{255, 0, 0};
inline constexpr Rgb Black{0, 0, 0};
inline constexpr Rgb Red{255, 0, 0};
inline constexpr Rgb Green{0, 128, 0};
inline constexpr Rgb Lime{0, 255, 0};
inline constexpr Rgb White{255, 255, 255};
}  // namespace colour

}  // namespace nuv
