#include "protocol/TemperatureRegister.hpp"

namespace nuv {

float RawToCelsius(std::uint8_t high, std::uint8_t low) {
    const int value = high << 8 | low;
    if (high >= 0xF0) return static_cast<float>(-(65536 - value)) * 0.0625F;
    return static_cast<float>(value) * 0.0625F;
}

LinkResult SensorErrorCode(std::uint16_t raw) {
    switch (raw) {
        case 0xF040:
            return SensorShortResult;
        case 0xF050:
            return SensorCrcResult;
        case 0xF060:
            return SensorPresenceResult;
        default:
            return 0;
    }
}

}  // namespace nuv
