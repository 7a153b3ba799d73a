#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "protocol/BootLoaderProtocol.hpp"

namespace nuv {

// The page buffer that an image is written from: 131072 bytes, page p holding bytes
// p * 256 .. p * 256 + 255.
inline constexpr std::size_t kPageBufferSize = 131072;
// The module's flash that the boot loader writes: below its own section at 0x1F700. A larger
// image would reach into the boot loader.
inline constexpr std::size_t kWritableFlashSize = 0x1F700;

// An image to write into the module, with where it came from.
struct FirmwareImage {
    std::vector<std::uint8_t> bytes;
    // For the log: "carried build 00.48", a stand-in notice, or the file's path and format.
    std::string origin;
    // The development stand-in of the carried image, not for real modules.
    bool standIn = false;
};

// Pages of an image of `size` bytes: whole pages, and one more for a rest.
std::size_t PageCount(std::size_t size);

// An image laid out in pages: the buffer filled with 0xFF, the image copied to its start, so
// the rest of the last page is 0xFF.
class PageBuffer {
  public:
    // The image must not be larger than kPageBufferSize.
    explicit PageBuffer(std::span<const std::uint8_t> image);
    std::size_t ImageSize() const { return imageSize_; }
    std::size_t Pages() const { return PageCount(imageSize_); }
    std::span<const std::uint8_t, bootloader::kPageSize> Page(std::size_t page) const;

  private:
    std::vector<std::uint8_t> buffer_;
    std::size_t imageSize_;
};

// What an image is, for the log: "Firmware image: ORIGIN, SIZE B, PAGES pages" and a second
// line "SHA-256: ..." over the image's bytes.
std::string DescribeImage(const FirmwareImage& image);

// Page numbers as short ranges: "5", "5, 7-69".
std::string PageRanges(const std::vector<std::size_t>& pages);

}  // namespace nuv
