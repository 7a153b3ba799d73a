#include "protocol/FirmwareVersion.hpp"

#include <iterator>

#include "core/MessageTable.hpp"

namespace nuv {

std::string FirmwareVersionText(std::uint16_t version) {
    return HexByte(version >> 8U) + "." + HexByte(version & 0xFFU);
}

namespace {
constexpr const char* kStandards[] = {"ORNEVA", "MULTICORE", "LIROS", "LIROS/SUPERTECH"};
}  // namespace

const char* StandardName(std::uint8_t firmwareClass) {
    const unsigned standard = firmwareClass >> 4U;
    return standard < std::size(kStandards) ? kStandards[standard] : "unknown";
}

std::string FirmwareSupportText(std::uint8_t firmwareClass) {
    const unsigned standard = firmwareClass >> 4U;
    const unsigned capacity = firmwareClass & 0x0FU;
    static constexpr const char* kCapacities[] = {"10", "12", "16"};
    if (standard > 3 || capacity > 2) return "- COS NIE TAK Z WERSJA FIRMWARE !!!";
    return std::string("Firmware support segregation: STANDARD ") + StandardName(firmwareClass) +
           "    Maximum " + kCapacities[capacity] + " sensors per channel";
}

}  // namespace nuv
