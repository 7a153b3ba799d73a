#include "firmware/CarriedFirmware.hpp"

#include <algorithm>

#include "firmware/CarriedFirmwareData.hpp"
#include "protocol/FirmwareVersion.hpp"

namespace nuv {

std::vector<std::uint8_t> StandInFirmwareImage() {
    std::vector<std::uint8_t> image(kCarriedImageSize);
    std::uint32_t state = 0x4E555631;  // "NUV1"
    for (std::uint8_t& byte : image) {
        state ^= state << 13U;
        state ^= state >> 17U;
        state ^= state << 5U;
        byte = static_cast<std::uint8_t>(state >> 24U);
    }
    for (std::size_t at = 0; at + kStandInNotice.size() <= image.size(); at += 1024) {
        std::copy(kStandInNotice.begin(), kStandInNotice.end(), image.begin() + at);
    }
    auto tag = image.begin() + kStandInNotice.size();
    tag = std::copy(kBuildTag.begin(), kBuildTag.end(), tag);
    *tag++ = static_cast<std::uint8_t>(CurrentFirmwareVersion >> 8U);
    *tag = static_cast<std::uint8_t>(CurrentFirmwareVersion & 0xFFU);
    return image;
}

bool CarriesStandIn() {
    return !carried::kProductImagePresent;
}

const FirmwareImage& CarriedFirmwareImage() {
    static const FirmwareImage image = [] {
        FirmwareImage carried;
        if (carried::kProductImagePresent) {
            carried.bytes.assign(carried::kProductImage,
                                 carried::kProductImage + carried::kProductImageSize);
            carried.origin = "carried build " + FirmwareVersionText(CurrentFirmwareVersion);
        } else {
            carried.bytes = StandInFirmwareImage();
            carried.origin = "STAND-IN of build " + FirmwareVersionText(CurrentFirmwareVersion) +
                             " for development and tests, NOT FOR REAL MODULES";
            carried.standIn = true;
        }
        return carried;
    }();
    return image;
}

const BootLoaderKey& CarriedBootLoaderIdentification() {
    static const BootLoaderKey key = [] {
        if (!carried::kProductImagePresent) return kStandInIdentification;
        BootLoaderKey product{};
        std::copy(std::begin(carried::kProductIdentification),
                  std::end(carried::kProductIdentification), product.begin());
        return product;
    }();
    return key;
}

std::optional<BuildTag> FindBuildTag(std::span<const std::uint8_t> image) {
    const auto found = std::search(image.begin(), image.end(), kBuildTag.begin(), kBuildTag.end());
    const auto after = static_cast<std::size_t>(found - image.begin()) + kBuildTag.size();
    if (found == image.end() || after + 2 > image.size()) return std::nullopt;
    return BuildTag{image[after], image[after + 1]};
}

}  // namespace nuv
