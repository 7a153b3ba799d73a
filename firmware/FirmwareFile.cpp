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
