#include "link/HardwareVersion.hpp"

namespace nuv {
namespace {
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
}  // namespace

std::optional<HardwareVersion> ParseHardwareVersion(std::string_view serial) {
    if (serial.size() < 5 || !IsDigit(serial[3]) || !IsDigit(serial[4])) return std::nullopt;
    return HardwareVersion{serial.substr(0, 3), (serial[3] - '0') * 10 + (serial[4] - '0')};
}

bool HasRs485PassThrough(std::string_view serial) {
    const auto parsed = ParseHardwareVersion(serial);
    // A text without a readable version turns the RS485 buttons off rather than leaving them
    // as the previous device had them: an unknown device must not offer a switch it may lack.
    if (!parsed) return false;
    return (parsed->model == "NUV" && parsed->version >= 13) ||
           (parsed->model == "KWD" && parsed->version >= 10);
}

}  // namespace nuv
