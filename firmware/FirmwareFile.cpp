#include "firmware/FirmwareFile.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "firmware/IntelHex.hpp"

namespace nuv {
namespace {

// An Intel HEX text of a full page buffer is about 370 kB; a text many times that is no image.
constexpr std::uintmax_t kHexTextLimit = 4 * 1024 * 1024;

bool HasHexExtension(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".hex" || extension == ".ihx" || extension == ".ihex";
}

FirmwareFileResult Failure(std::string error) {
    return FirmwareFileResult{std::nullopt, std::move(error)};
}

// Whether `content` is a text: UTF-8 of printable characters, tabs and line ends. A firmware
// image holds bytes that no text does (0x00, 0xFF, other control codes), so notes, listings
// and reports are told from an image by their bytes.
bool IsText(std::string_view content) {
    std::size_t continuation = 0;  // bytes still owed by a UTF-8 sequence
    for (const char c : content) {
        const auto u = static_cast<unsigned char>(c);
        if (continuation > 0) {
            if ((u & 0xC0U) != 0x80U) return false;
            --continuation;
        } else if (u >= 0x20 && u < 0x7F) {
            continue;
        } else if (c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\v') {
            continue;
        } else if (u >= 0xC2 && u <= 0xDF) {
            continuation = 1;
        } else if (u >= 0xE0 && u <= 0xEF) {
            continuation = 2;
        } else if (u >= 0xF0 && u <= 0xF4) {
            continuation = 3;
        } else {
            return false;  // a control code, DEL, or a byte that UTF-8 never holds
        }
    }
    return continuation == 0;
}

// An image larger than the page buffer cannot be written.
FirmwareFileResult TooLarge(std::uintmax_t size) {
    return Failure("holds " + std::to_string(size) + " bytes; an image fits the page buffer of " +
                   std::to_string(kPageBufferSize) + " bytes");
}

}  // namespace

FirmwareFileResult LoadFirmwareFile(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) {
        return Failure("cannot be read: " +
                       (error ? error.message() : "No such file or directory"));
    }
    if (fs::is_directory(status)) return Failure("is a folder, not a file");
    if (!fs::is_regular_file(status)) return Failure("is not a regular file");
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) return Failure("cannot be read: " + error.message());

    const bool hexByName = HasHexExtension(path);
    if (size == 0) return Failure("is empty");
    // A text describes a smaller image than itself, so the size of the image is known only once
    // the file is read; far past any image's text it is refused unread.
    if (size > kHexTextLimit) return TooLarge(size);

    std::ifstream in(path, std::ios::binary);
    if (!in) return Failure(std::string("cannot be read: ") + std::strerror(errno));
    std::string content(static_cast<std::size_t>(size), '\0');
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    if (in.gcount() != static_cast<std::streamsize>(content.size())) {
        return Failure("cannot be read to its end");
    }

    FirmwareImage image;
    if (hexByName || LooksLikeIntelHex(content)) {
        IntelHexImage hex;
        std::string why;
        if (!ReadIntelHex(content, kPageBufferSize, hex, why)) {
            return Failure("is not a usable Intel HEX file: " + why);
        }
        image.bytes = std::move(hex.bytes);
        image.origin = path + " (Intel HEX)";
    } else {
        // Only what can be an image is written as one: a text is none, whatever its name, and
        // the boot loader writes whole pages.
        if (IsText(content)) {
            return Failure(
                "is a text file, not a firmware image (neither Intel HEX nor a raw binary image)");
        }
        if (content.size() < bootloader::kPageSize) {
            return Failure("holds " + std::to_string(content.size()) +
                           " bytes, less than one page of " +
                           std::to_string(bootloader::kPageSize) + ": too short for a raw image");
        }
        if (content.size() > kPageBufferSize) return TooLarge(content.size());
        image.bytes.assign(content.begin(), content.end());
        image.origin = path + " (raw binary)";
    }
    if (image.bytes.size() > kWritableFlashSize) {
        return Failure("describes " + std::to_string(image.bytes.size()) +
                       " bytes; the module's flash below its boot loader takes " +
                       std::to_string(kWritableFlashSize));
    }
    return FirmwareFileResult{std::move(image), {}};
}

}  // namespace nuv
