#include "firmware/FirmwareImage.hpp"

#include <algorithm>
#include <array>
#include <mutex>
#include <stdexcept>

#include "firmware/Sha256.hpp"

namespace nuv {

std::size_t PageCount(std::size_t size) {
    return (size + bootloader::kPageSize - 1) / bootloader::kPageSize;
}

// Only the image's own pages are kept; every page after them is all 0xFF, as in a buffer of
// kPageBufferSize filled with 0xFF.
PageBuffer::PageBuffer(std::span<const std::uint8_t> image) : imageSize_(image.size()) {
    if (image.size() > kPageBufferSize) {
        throw std::invalid_argument("a firmware image larger than the page buffer");
    }
    buffer_.assign(PageCount(image.size()) * bootloader::kPageSize, 0xFF);
    std::copy(image.begin(), image.end(), buffer_.begin());
}

std::span<const std::uint8_t, bootloader::kPageSize> PageBuffer::Page(std::size_t page) const {
    if (page >= kPageBufferSize / bootloader::kPageSize) {
        throw std::out_of_range("a page beyond the page buffer");
    }
    static const std::array<std::uint8_t, bootloader::kPageSize> kErased = [] {
        std::array<std::uint8_t, bootloader::kPageSize> erased{};
        erased.fill(0xFF);
        return erased;
    }();
    if ((page + 1) * bootloader::kPageSize > buffer_.size()) return kErased;
    return std::span<const std::uint8_t, bootloader::kPageSize>(
        buffer_.data() + page * bootloader::kPageSize, bootloader::kPageSize);
}

std::string DescribeImage(const FirmwareImage& image) {
    // The same image is described on every update (the carried one again and again): its hash
    // is taken once.
    static std::mutex mutex;
    static std::vector<std::uint8_t> hashedBytes;
    static std::string hash;
    std::string sha256;
    {
        const std::lock_guard lock(mutex);
        if (hash.empty() || hashedBytes != image.bytes) {
            hash = Sha256Hex(image.bytes);
            hashedBytes = image.bytes;
        }
        sha256 = hash;
    }
    return "Firmware image: " + image.origin + ", " + std::to_string(image.bytes.size()) + " B, " +
           std::to_string(PageCount(image.bytes.size())) + " pages\nSHA-256: " + sha256;
}

std::string PageRanges(const std::vector<std::size_t>& pages) {
    std::string text;
    for (std::size_t i = 0; i < pages.size();) {
        std::size_t j = i;
        while (j + 1 < pages.size() && pages[j + 1] == pages[j] + 1) ++j;
        if (!text.empty()) text += ", ";
        text += std::to_string(pages[i]);
        if (j > i) text += "-" + std::to_string(pages[j]);
        i = j + 1;
    }
    return text;
}

}  // namespace nuv
