#include "report/ReportPdf.hpp"

#include <QBuffer>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <filesystem>

#include "core/AtomicFile.hpp"
#include "core/MessageTable.hpp"
#include "core/NumberFormat.hpp"
#include "report/ApcPlot.hpp"
#include "report/PdfPages.hpp"
#include "report/ReportJsonReader.hpp"
#include "report/ServiceReport.hpp"

namespace nuv {
namespace {

using pdf::Cell;
using pdf::kGrey;
using pdf::kInk;
using pdf::kRed;
using pdf::PdfPages;

constexpr int kResolution = 600;  // dots per inch of the PDF's coordinates

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString Degrees(double celsius) {
    return Q(FixedDecimals(celsius, 2)) + " °C";
}

// The name of a sensor error value, as the window's counters name them.
QString ErrorName(int code) {
    switch (code) {
        case 250:
            return "E250 no probe";
        case 251:
            return "E251 1-Wire CRC";
        case 252:
            return "E252 line shorted";
        default:
            return "error value";
    }
}

// Why a step did not give its values, or empty when it did.
QString Failure(const ReadReport& data, const char* key) {
    const ReadReport::Step* step = data.FindStep(key);
    if (step == nullptr) return "not in the report";
    return step->ok ? QString() : Q(step->error);
}

class Drawing {
  public:
    Drawing(PdfPages& pages, const ReadReport& data, const ServiceReport& report)
        : p_(pages), data_(data), report_(report) {}

    void All() {
        Title();
        if (report_.comparison) Changes(*report_.comparison);
        Module();
        Sensors();
        Supply();
        Counters();
        Memory();
        if (!report_.apcRuns.empty()) ApcRuns();
        Remarks();
    }

  private:
    void FailedField(const QString& label, const QString& why) { p_.Field(label, why, kRed); }

    void Title() {
        const std::size_t failed = report_.Failed();
        QString under = "Date " + Q(data_.date) + " · ";
        if (failed == 0) {
            under += QString("all %1 steps done").arg(report_.steps.size());
        } else {
            under += QString("%1 of %2 steps failed").arg(failed).arg(report_.steps.size());
        }
        p_.Title("Service report", under);
        for (const ReportStep& step : report_.steps) {
            if (!step.ok) p_.Paragraph(Q(step.title + " failed: " + step.failure), kRed);
        }
    }

    void Changes(const ReportComparison& comparison) {
        p_.Heading("Changes since the last visit");
        QString from = "Compared with " + Q(comparison.previousPath);
        if (!comparison.previousDate.empty()) from += " of " + Q(comparison.previousDate);
        p_.Paragraph(from, kGrey);
        if (!comparison.refused.empty()) {
            p_.Paragraph("Not compared: " + Q(comparison.refused), kRed);
            return;
        }
        for (const ReportDifference& difference : comparison.differences) {
            p_.Paragraph("• " + Q(difference.text),
                         difference.kind == "not_compared" ? kRed : kInk);
        }
        p_.Paragraph(Q(ComparisonSummary(comparison)), kGrey, 8);
    }

    void Module() {
        p_.Heading("Module");
        if (const QString why = Failure(data_, "device"); !why.isEmpty()) {
            FailedField("Device", why);
        } else {
            p_.Field("Description", Q(data_.description));
            p_.Field("Model", Q(data_.model));
            p_.Field("FTDI serial", data_.ftdiSerial.empty() ? QString("none (not an FTDI cable)")
                                                             : Q(data_.ftdiSerial));
            p_.Field("Hardware version", data_.hardwareVersion
                                             ? QString::number(*data_.hardwareVersion)
                                             : QString("unknown"));
        }
        if (data_.address) p_.Field("Modbus address", QString::number(*data_.address));
        if (data_.interval) {
            p_.Field(
                "Measurement interval",
                QString("%1 second%2").arg(*data_.interval).arg(*data_.interval == 1 ? "" : "s"));
        }
        if (const QString why = Failure(data_, "firmware"); !why.isEmpty()) {
            FailedField("Firmware", why);
        } else {
            const bool current = data_.upToDate.value_or(false);
            p_.Field("Firmware",
                     Q(data_.firmware) +
                         (current ? QString(", current")
                                  : ", older than the current " + Q(data_.carriedFirmware)),
                     current ? kInk : kRed);
            if (data_.firmwareClass && data_.firmwareBuild) {
                p_.Field("Class and build",
                         Q("0x" + HexByte(static_cast<unsigned>(*data_.firmwareClass)) + " / 0x" +
                           HexByte(static_cast<unsigned>(*data_.firmwareBuild))));
            }
            p_.Field("Probe standard", Q(data_.standard));
            p_.Field("Sensors per channel",
                     data_.capacity ? QString::number(*data_.capacity) : QString("unknown"));
        }
        if (const QString why = Failure(data_, "normal_mode"); !why.isEmpty()) {
            FailedField("Back to normal mode", why);
        }
    }

    // Rows of a channel: its serials; where the search failed, the positions that read
    // something other than "no probe".
    std::size_t Rows(std::size_t c) const {
        std::size_t rows = data_.channels[c].serials.size();
        if (data_.channels[c].searched) return rows;
        const auto& values = data_.readings[c];
        for (std::size_t s = 0; s < values.size(); ++s) {
            if (values[s].error != 250 && (values[s].celsius || values[s].error != 0)) {
                rows = std::max(rows, s + 1);
            }
        }
        return rows;
    }

    // The rows of a channel's half of the table: its heading, then its sensors in level order
    // with their readings, or why there are none.
    std::vector<std::vector<Cell>> ChannelRows(std::size_t c, bool readingFailed) const {
        const ReadReport::Channel& channel = data_.channels[c];
        std::vector<std::vector<Cell>> rows;
        rows.push_back({{QString("Channel %1").arg(c), kInk, false, true, 10, 3}});
        if (!channel.searched && !channel.error.empty()) {
            rows.push_back({{"Search failed: " + Q(channel.error), kRed, false, false, 9, 3}});
        }
        const std::size_t levels = Rows(c);
        if (levels == 0) {
            rows.push_back(
                {{channel.searched || !readingFailed ? QString("No sensors on this channel.")
                                                     : QString("Nothing known of this channel."),
                  kInk, false, false, 9, 3}});
            return rows;
        }
        const auto heading = [](const QString& text) {
            return Cell{text, kGrey, false, true, 8.5, 1, true};
        };
        rows.push_back({heading("Level"), heading("Serial"), heading("Reading")});
        for (std::size_t level = 0; level < levels; ++level) {
            Cell serial{level < channel.serials.size() ? Q(channel.serials[level]) : QString("—"),
                        kInk, true, false, 8.5};
            Cell reading{"—"};
            if (level < data_.readings[c].size()) {
                const ReadReport::Value& value = data_.readings[c][level];
                reading = value.celsius ? Cell{Degrees(*value.celsius)}
                                        : Cell{ErrorName(value.error), kRed};
            }
            rows.push_back({{QString::number(level + 1)}, serial, reading});
        }
        return rows;
    }

    void Sensors() {
        p_.Heading("Sensors and readings", 30);
        const QString searchFailed = Failure(data_, "sensors");
        const QString readingFailed = Failure(data_, "reading");
        if (!searchFailed.isEmpty()) p_.Paragraph("Search: " + searchFailed, kRed);
        if (!readingFailed.isEmpty()) {
            p_.Paragraph("Reading: " + readingFailed, kRed);
        } else {
            p_.Paragraph(QString("One reading at address %1: module temperature %2, %3 positions "
                                 "per channel. Level 1 is the highest sensor of a probe.")
                             .arg(data_.readingAddress.value_or(0))
                             .arg(data_.moduleTemperature ? Degrees(*data_.moduleTemperature)
                                                          : QString("unknown"))
                             .arg(data_.sensorsPerChannel.value_or(0)),
                         kGrey, 8.5);
        }
        const bool anySearched = std::any_of(data_.channels.begin(), data_.channels.end(),
                                             [](const auto& channel) { return channel.searched; });
        if (!anySearched && !readingFailed.isEmpty()) return;  // nothing known of any channel
        // Two channels side by side: level, serial, reading, a gap, and the same again.
        const std::vector<double> widths = {11, 43, 30, 6, 11, 43, 30};
        for (std::size_t c = 0; c + 1 < data_.channels.size(); c += 2) {
            const auto left = ChannelRows(c, !readingFailed.isEmpty());
            const auto right = ChannelRows(c + 1, !readingFailed.isEmpty());
            const std::size_t rows = std::max(left.size(), right.size());
            // A pair stays on one page where it fits on one.
            p_.Space(2);
            p_.Need(std::min(p_.RowHeight() * static_cast<double>(rows), 120.0));
            for (std::size_t r = 0; r < rows; ++r) {
                std::vector<Cell> cells =
                    r < left.size() ? left[r] : std::vector<Cell>{{"", kInk, false, false, 9, 3}};
                cells.push_back({""});
                if (r < right.size()) cells.insert(cells.end(), right[r].begin(), right[r].end());
                p_.Row(cells, widths);
            }
        }
    }

    void Supply() {
        static constexpr const char* kPairs[] = {"0/1", "2/3", "4/5", "6/7", "8/9"};
        p_.Heading("Supply and outputs", p_.RowHeight() * 8);
        if (const QString why = Failure(data_, "supply"); !why.isEmpty()) {
            FailedField("Supply", why);
        } else {
            p_.Field("System voltage", Q(FixedDecimals(data_.systemVolts.value_or(0), 2)) + " V");
            p_.Field("Main voltage", Q(FixedDecimals(data_.mainVolts.value_or(0), 2)) + " V");
            for (std::size_t i = 0; i < data_.currents.size() && i < std::size(kPairs); ++i) {
                p_.Field(QString("Current, channels ") + kPairs[i],
                         Q(FixedDecimals(data_.currents[i], 3)) + " A");
            }
        }
        if (const QString why = Failure(data_, "outputs"); !why.isEmpty()) {
            FailedField("Outputs", why);
        } else {
            QString text;
            for (int i = 0; i < 4; ++i) {
                text += QString(i == 0 ? "" : ", ") + QString("OUT%1 ").arg(i + 1) +
                        ((data_.outputs.value_or(0) >> i & 1) != 0 ? "on" : "off");
            }
            p_.Field("Outputs", text);
        }
    }

    void Counters() {
        p_.Heading("Reset counters", p_.RowHeight() * 6);
        if (const QString why = Failure(data_, "reset_counters"); !why.isEmpty()) {
            FailedField("Reset counters", why);
            return;
        }
        for (std::size_t j = 0; j < kResetCounterLabels.size(); ++j) {
            p_.Field(kResetCounterLabels[j],
                     data_.resetCounters[j] ? QString::number(*data_.resetCounters[j]) : "—");
        }
    }

    void Memory() {
        p_.Heading("Memory", p_.RowHeight() * 3);
        if (const QString why = Failure(data_, "memory"); !why.isEmpty())
            FailedField("Memory", why);
        if (data_.memoryBytes) p_.Field("Bytes read", QString::number(*data_.memoryBytes));
        if (!data_.sha256.empty()) p_.Field("SHA-256", Q(data_.sha256), kInk, true);
        if (data_.memoryBytes) {
            p_.Field("Dump file",
                     data_.dumpFile.empty()
                         ? QString("not saved")
                         : Q(std::filesystem::path(data_.dumpFile).filename().string()) +
                               " (beside the report)");
        }
    }

    void ApcRuns() {
        p_.Heading("APC runs of this session", 60);
        p_.Paragraph(
            "The temperature of each sensor while the operator heated one after the "
            "other and the module ordered them; the legend lists them in the level "
            "order this report found.",
            kGrey, 8.5);
        constexpr double kGap = 6;
        const double width = (PdfPages::kRight - PdfPages::kLeft - kGap) / 2;
        for (std::size_t i = 0; i < report_.apcRuns.size(); ++i) {
            const ApcFigure& figure = report_.apcRuns[i];
            std::vector<std::string> order;
            if (figure.channel < data_.channels.size()) {
                order = data_.channels[figure.channel].serials;
            }
            double height = pdf::ApcFigureHeight(figure.curves.size());
            if (i % 2 == 0 && i + 1 < report_.apcRuns.size()) {
                height =
                    std::max(height, pdf::ApcFigureHeight(report_.apcRuns[i + 1].curves.size()));
            }
            const double unitsPerMm = p_.Mm(1);
            p_.Figure(static_cast<double>(i % 2) * (width + kGap), width, height,
                      [&](QPainter& painter, const QRectF& box) {
                          pdf::DrawApcFigure(painter, box, unitsPerMm, figure, order);
                      });
            if (i % 2 == 1) p_.EndBand();
        }
        p_.EndBand();
    }

    void Remarks() {
        // The remarks stay with the lines to sign on where they fit on one page together.
        constexpr double kSignature = 20;
        p_.Heading("Remarks", std::min(p_.BoxHeight(Q(report_.remarks), 30) + kSignature, 150.0));
        p_.Box(Q(report_.remarks), 30);
        p_.SignatureLine(
            {"Technician: name and signature", "Date", "Customer: name and signature"});
    }

    PdfPages& p_;
    const ReadReport& data_;
    const ServiceReport& report_;
};

pdf::PageFrame FrameOf(const ReadReport& data) {
    pdf::PageFrame frame;
    frame.title = "NUV module service report";
    frame.tool = "nuvtool " + Q(data.toolVersion) + " (build " + Q(data.build) + ")";
    QStringList identity;
    identity << (data.description.empty() ? QString("Module") : Q(data.description));
    if (!data.ftdiSerial.empty()) identity << "FTDI serial " + Q(data.ftdiSerial);
    if (data.hardwareVersion) identity << QString("hardware version %1").arg(*data.hardwareVersion);
    if (data.address) identity << QString("address %1").arg(*data.address);
    if (!data.firmware.empty()) identity << "firmware " + Q(data.firmware);
    frame.identity = identity.join(" · ");
    frame.footer = "Service report of " + Q(data.date);
    return frame;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> RenderReportPdf(const ServiceReport& report,
                                                         std::string& error) {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        error = "drawing a PDF needs Qt's GUI application, which this program did not start";
        return std::nullopt;
    }
    // The document shows what the JSON report holds, read back as a later visit reads it.
    const auto data = ReadReportJson(ReportJson(report), error);
    if (!data) return std::nullopt;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(kResolution);
        writer.setTitle("NUV module service report " + Q(data->date));
        writer.setCreator("nuvtool " + Q(data->toolVersion) + " (build " + Q(data->build) + ")");
        const pdf::PageFrame frame = FrameOf(*data);
        // First the pages are counted, for "page n of N"; then drawn.
        PdfPages counting(writer, nullptr, frame, 0);
        Drawing(counting, *data, report).All();
        QPainter painter;
        if (!painter.begin(&writer)) {
            error = "Qt could not start the PDF";
            return std::nullopt;
        }
        PdfPages pages(writer, &painter, frame, counting.Pages());
        Drawing(pages, *data, report).All();
        painter.end();
    }
    const QByteArray& bytes = buffer.data();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

std::optional<std::string> WriteReportPdf(const std::string& path, const ServiceReport& report) {
    std::string error;
    const auto bytes = RenderReportPdf(report, error);
    if (!bytes) return error;
    return WriteFileAtomically(path, *bytes);
}

void PreferOffscreenPlatform() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

}  // namespace nuv
