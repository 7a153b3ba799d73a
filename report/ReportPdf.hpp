#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nuv {

struct ServiceReport;

// The service report as a document to leave with the customer: A4 pages with the tool and the
// module in every header and "page n of N" in every footer; the changes since the last visit
// first when there are any; the module (address, interval, firmware and whether it is current,
// capacity, probe standard, hardware version, FTDI serial); per channel the sensors in level
// order with their serials and readings, error values named and in red, a channel without
// sensors saying so; supply, outputs, reset counters; the memory's SHA-256 and dump file; one
// figure per channel of the session's APC runs; the remarks and a line to sign on. Drawn with
// Qt, which needs a QGuiApplication for its fonts: none, with the reason in `error`, without
// one.
std::optional<std::vector<std::uint8_t>> RenderReportPdf(const ServiceReport& report,
                                                         std::string& error);

// Writes the PDF whole or not at all; none, or why not.
std::optional<std::string> WriteReportPdf(const std::string& path, const ServiceReport& report);

// For a program without a window that draws a PDF: the offscreen platform of Qt, unless the
// environment names a platform. Call before the QGuiApplication is made.
void PreferOffscreenPlatform();

}  // namespace nuv
