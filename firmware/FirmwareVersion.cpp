#include "firmware/FirmwareVersion.hpp"

#include "app/MessageTable.hpp"

namespace nuv {

std::string FirmwareVersionText(std::uint16_t version) {
    return HexByte(version >> 8U) + "." + HexByte(version & 0xFFU);
}

std::string FirmwareSupportText(std::uint8_t firmwareClass) {
    const unsigned standard = firmwareClass >> 4U;
    const unsigned capacity = firmwareClass & 0x0FU;
    static constexpr const char* kStandards[] = {"ORNEVA", "MULTICORE", "LIROS", "LIROS/SUPERTECH"};
    static constexpr const char* kCapacities[] = {"10", "12", "16"};
    if (standard > 3 || capacity > 2) return "- COS NIE TAK Z WERSJA FIRMWARE !!!";
    return std::string("Firmware support segregation: STANDARD ") + kStandards[standard] +
           "    Maximum " + kCapacities[capacity] + " sensors per channel";
}

}  // namespace nuv
