// The libFuzzer entry of the Intel HEX reader: any text, read as a firmware file is read.
#include <cstdint>
#include <string>
#include <string_view>

#include "firmware/FirmwareImage.hpp"
#include "firmware/IntelHex.hpp"
#include "fuzz/Scenarios.hpp"

using nuv::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    nuv::LooksLikeIntelHex(text);
    nuv::IntelHexImage image;
    std::string error;
    if (nuv::ReadIntelHex(text, nuv::kPageBufferSize, image, error)) {
        Require(!image.bytes.empty() && image.bytes.size() <= nuv::kPageBufferSize,
                "an image that was read fits the page buffer");
        Require(image.records > 0, "an image that was read has data records");
    } else {
        Require(!error.empty(), "a text that is refused says why");
    }
    return 0;
}
