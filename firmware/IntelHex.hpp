#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nuv {

// An Intel HEX text read into a flat image. Data records (type 00) place bytes at their
// address; extended segment (02) and extended linear (04) address records move the base; start
// address records (03, 05) are accepted and ignored; the end-of-file record (01) must close the
// text. The image runs from address 0 to the highest address written, gaps filled with 0xFF.
struct IntelHexImage {
    std::vector<std::uint8_t> bytes;
    std::size_t records = 0;  // data records read
};

// Reads `text` into `image`. Every record is checked: the colon, hexadecimal digits, the
// length, the checksum, the record type, data that lies at or beyond `capacity`, data that
// overwrites earlier data with other values, text after the end-of-file record. On the first
// fault it returns false and `error` says what and on which line (1-based); `image` is then
// unspecified.
bool ReadIntelHex(std::string_view text, std::size_t capacity, IntelHexImage& image,
                  std::string& error);

// Whether `content` is meant as Intel HEX rather than a raw image: its first non-blank character
// is ':'.
bool LooksLikeIntelHex(std::string_view content);

}  // namespace nuv
