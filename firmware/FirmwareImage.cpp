#include "firmware/FirmwareImage.hpp"

#include <algorithm>
#include <stdexcept>

#include "firmware/Sha256.hpp"

namespace nuv {

std::size_t PageCount(std::size_t size) {
    return (size + bootloader::kPageSize - 1) / bootloader::kPageSize;
}

PageBuffer::PageBuffer(std::span<const std::uint8_t> image)
    : buffer_(kPageBufferSize, 0xFF), imageSize_(image.size()) {
    if (image.size() > kPageBufferSize) {
        throw std::invalid_argument("a firmware image larger than the page buffer");
    }
    std::copy(image.begin(), image.end(), buffer_.begin());
}

std::span<const std::uint8_t, bootloader::kPageSize> PageBuffer::Page(std::size_t page) const {
    if (page >= kPageBufferSize / bootloader::kPageSize) {
        throw std::out_of_range("a page beyond the page buffer");
    }
    return std::span<const std::uint8_t, bootloader::kPageSize>(
        buffer_.data() + page * bootloader::kPageSize, bootloader::kPageSize);
}

std::string DescribeImage(const FirmwareImage& image) {
    return "Firmware image: " + image.origin + ", " + std::to_string(image.bytes.size()) + " B, " +
           std::to_string(PageCount(image.bytes.size())) +
           " pages\nSHA-256: " + Sha256Hex(image.bytes);
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
