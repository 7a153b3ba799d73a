// The service report as PDF, read back as a customer's reader shows it: pdftotext for the
// text, pdftoppm for the colours and the figures.
#include "report/ReportPdf.hpp"

#include <unistd.h>

#include <QColor>
#include <QImage>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>

#include "report/ServiceReport.hpp"
#include "report/VisitRecord.hpp"
#include "sensors/SensorCommon.hpp"
#include "tests/measure/ModuleFixture.hpp"

namespace nuv::test {
namespace {

// Standard output of a shell command.
std::string Output(const std::string& command) {
    std::string text;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, n);
    ::pclose(pipe);
    return text;
}

std::string WithoutSpace(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c != ' ' && c != '\n' && c != '\f' && c != '\t') out += c;
    }
    return out;
}

// The first of `tokens` that is not found after the one before it, or empty when all are there
// in their order.
std::string FirstOutOfOrder(const std::string& text, const std::vector<std::string>& tokens) {
    std::size_t at = 0;
    for (const std::string& token : tokens) {
        const std::size_t found = text.find(token, at);
        if (found == std::string::npos) return token;
        at = found + token.size();
    }
    return "";
}

// A word of the PDF with its page and box in points.
struct Word {
    int page = 0;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// Every word of a PDF by its text.
std::multimap<std::string, Word> Words(const std::string& pdf) {
    const std::string html = Output("pdftotext -bbox '" + pdf + "' - 2>/dev/null");
    std::multimap<std::string, Word> words;
    int page = 0;
    const std::regex item(R"re(<page |<word xMin="([0-9.]+)" yMin="([0-9.]+)" )re"
                          R"re(xMax="([0-9.]+)" yMax="([0-9.]+)">([^<]*)</word>)re");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), item);
         it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        if (m.str(0) == "<page ") {
            ++page;
        } else {
            words.emplace(m.str(5), Word{page, std::stod(m.str(1)), std::stod(m.str(2)),
                                         std::stod(m.str(3)), std::stod(m.str(4))});
        }
    }
    return words;
}

std::vector<Word> Find(const std::multimap<std::string, Word>& words, const std::string& text) {
    std::vector<Word> found;
    for (auto [it, end] = words.equal_range(text); it != end; ++it) found.push_back(it->second);
    return found;
}

// A page drawn at 144 dots per inch: two pixels a point.
constexpr double kPixelsPerPoint = 2;

QImage Page(const std::string& pdf, int page, const std::string& folder) {
    const std::string prefix = folder + "/page" + std::to_string(page);
    Output("pdftoppm -r 144 -png -singlefile -f " + std::to_string(page) + " -l " +
           std::to_string(page) + " '" + pdf + "' '" + prefix + "'");
    return QImage(QString::fromStdString(prefix + ".png"));
}

// Pixels in a box of a page (in points) near a colour.
int PixelsNear(const QImage& image, const QRectF& points, QColor colour, int tolerance = 60) {
    const QRectF box(points.topLeft() * kPixelsPerPoint, points.bottomRight() * kPixelsPerPoint);
    int count = 0;
    for (int y = static_cast<int>(box.top()); y <= static_cast<int>(box.bottom()); ++y) {
        for (int x = static_cast<int>(box.left()); x <= static_cast<int>(box.right()); ++x) {
            if (!image.valid(x, y)) continue;
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - colour.red()) + std::abs(pixel.green() - colour.green()) +
                    std::abs(pixel.blue() - colour.blue()) <
                tolerance) {
                ++count;
            }
        }
    }
    return count;
}

class ReportPdfTest : public ModuleTest {
  protected:
    ReportPdfTest() {
        folder = ::testing::TempDir() + "nuv-pdf-" + std::to_string(::getpid());
        std::filesystem::create_directories(folder);
        tool.reportPdf = RenderReportPdf;
        tool.buildVersion = "0.1.0";
    }
    ~ReportPdfTest() override { std::filesystem::remove_all(folder); }

    void SetUp() override {
        ASSERT_NE(Output("command -v pdftotext"), "")
            << "pdftotext and pdftoppm (Debian's poppler-utils) are needed: scripts/deps.sh test";
    }

    // The window's "Service report…" as a person answers its dialog.
    void Write(const std::string& name, const std::string& remarks = "",
               const std::string& previous = "") {
        dialogs.serviceReport = ServiceReportRequest{folder + "/" + name, remarks, previous};
        tool.Click(panel.btnServiceReport);
        EXPECT_EQ(panel.ServiceStatus.Caption().rfind("Service report saved", 0), 0U)
            << tool.log.Text();
    }
    // A report collected and written as PDF here, to hold the PDF against.
    ServiceReport WriteCollected(const std::string& name, const std::string& remarks) {
        ReportOptions options;
        options.toolVersion = "5.5";
        options.buildVersion = "0.1.0";
        options.address = 9;
        options.dumpPath = DumpPathFor(folder + "/" + name);
        ServiceReport report = CollectServiceReport(tool, options);
        CompleteVisitRecord(tool, report, remarks, nullptr, false);
        EXPECT_EQ(WriteReportPdf(folder + "/" + name, report), std::nullopt);
        return report;
    }
    ServiceReport Collect() {
        ReportOptions options;
        options.toolVersion = "5.5";
        options.buildVersion = "0.1.0";
        return CollectServiceReport(tool, options);
    }
    std::string Text(const std::string& name) {
        return Output("pdftotext -layout '" + folder + "/" + name + "' - 2>&1");
    }
    static std::string Field(const ServiceReport& report, const std::string& step,
                             const std::string& label) {
        for (const ReportStep& s : report.steps) {
            if (s.key != step) continue;
            for (const ReportField& field : s.fields) {
                if (field.label == label) return field.text;
            }
        }
        ADD_FAILURE() << "no " << step << " " << label;
        return "";
    }
    // Runs an APC on channel 0 through the window as the operator does.
    void RunApc(int sensors) {
        module.sensorCount[0] = sensors;
        tool.Click(panel.Button38);
        ASSERT_TRUE(module.programMode);
        tool.Click(panel.Button10);
        for (int step = 0; step < 1000 && panel.Timer3.Enabled(); ++step) RunFor(100);
        ASSERT_EQ(tool.form2.Memo1.Text(), "Procedura APC w tym kanale zostala zakończona...");
        tool.Click(panel.Button39);
        ASSERT_FALSE(module.programMode);
    }

    std::string folder;
};

TEST_F(ReportPdfTest, ThePdfHoldsEveryValueOfTheReportInOrder) {
    module.Configure(9, 30);
    module.sensorCount[4] = 0;
    module.SensorAt(1, 2).fixedRaw = 0xF050;
    module.SensorAt(7, 0).fixedRaw = 0xF040;
    module.resetCounters = {7, 0, 1, 0, 2, 4};
    module.outputs = 5;
    const ServiceReport report =
        WriteCollected("visit.pdf", "Probe 3 re-fastened.\nZażółć gęślą jaźń: all good.");
    const std::string text = Text("visit.pdf");
    ASSERT_EQ(text.rfind("NUV module service report", 0), 0U) << text;
    const std::string flat = WithoutSpace(text);

    std::vector<std::string> expected = {
        "NUVmoduleservicereport",
        "nuvtool5.5(build0.1.0)",
        "ORNEVANUV·FTDIserialNUV13001·hardwareversion13·address9·firmware00.48",
        "Servicereport",
        "Date" + WithoutSpace(Field(report, "report", "Date")) + "·all10stepsdone",
        "Module",
        "DescriptionORNEVANUV",
        "ModelNUV",
        "FTDIserialNUV13001",
        "Hardwareversion13",
        "Modbusaddress9",
        "Measurementinterval30seconds",
        "Firmware00.48,current",
        "Classandbuild0x00/0x48",
        "Probestandard" + WithoutSpace(Field(report, "firmware", "Probe standard")),
        "Sensorsperchannel10",
        "Sensorsandreadings",
        "Onereadingataddress9:moduletemperature31.25°C,10positionsperchannel.",
    };
    for (int c = 0; c < 10; c += 2) {
        expected.push_back("Channel" + std::to_string(c) + "Channel" + std::to_string(c + 1));
        std::vector<std::vector<std::string>> cells(2);
        for (int side = 0; side < 2; ++side) {
            const int channel = c + side;
            const std::vector<int> order = module.Order(channel);
            // The readings of the report's step, "24.06 E251 ...", by level.
            std::istringstream readings(
                Field(report, "reading", "Channel " + std::to_string(channel)));
            std::vector<std::string> values{std::istream_iterator<std::string>(readings), {}};
            if (order.empty()) {
                cells[side].push_back("Nosensorsonthischannel.");
                continue;
            }
            cells[side].push_back("LevelSerialReading");
            for (std::size_t level = 0; level < order.size(); ++level) {
                std::string reading = values.at(level) + "°C";
                if (values[level] == "E251") reading = "E2511-WireCRC";
                if (values[level] == "E252") reading = "E252lineshorted";
                cells[side].push_back(std::to_string(level + 1) +
                                      SerialText(module.SensorAt(channel, order[level]).serial) +
                                      reading);
            }
        }
        for (std::size_t row = 0; row < std::max(cells[0].size(), cells[1].size()); ++row) {
            for (int side = 0; side < 2; ++side) {
                if (row < cells[side].size()) expected.push_back(cells[side][row]);
            }
        }
    }
    const std::string sha = Field(report, "memory", "SHA-256");
    ASSERT_EQ(sha.size(), 64U);
    for (const std::string& token :
         std::vector<std::string>{"Supplyandoutputs",
                                  "Systemvoltage5.00V",
                                  "Mainvoltage12.60V",
                                  "Current,channels0/10.250A",
                                  "Current,channels2/30.260A",
                                  "Current,channels4/50.270A",
                                  "Current,channels6/70.281A",
                                  "Current,channels8/90.291A",
                                  "OutputsOUT1on,OUT2off,OUT3on,OUT4off",
                                  "Resetcounters",
                                  "Total7",
                                  "JTAG0",
                                  "Watchdog1",
                                  "Brown-out0",
                                  "External(USB)2",
                                  "Power-up4",
                                  "Memory",
                                  "Bytesread4096",
                                  "SHA-256" + sha,
                                  "Dumpfilevisit-memory.dat(besidethereport)",
                                  "Remarks",
                                  "Probe3re-fastened.",
                                  "Zażółćgęśląjaźń:allgood.",
                                  "Technician:nameandsignature",
                                  "Date",
                                  "Customer:nameandsignature"}) {
        expected.push_back(token);
    }
    EXPECT_EQ(FirstOutOfOrder(flat, expected), "") << text;
    EXPECT_EQ(text.find("APC run"), std::string::npos);  // none in this session
    // Every page is numbered "n of N" and carries the tool and the module.
    const std::size_t pages = std::count(text.begin(), text.end(), '\f');
    ASSERT_GE(pages, 2U);
    for (std::size_t page = 1; page <= pages; ++page) {
        EXPECT_NE(flat.find("Page" + std::to_string(page) + "of" + std::to_string(pages)),
                  std::string::npos);
    }
    std::size_t headers = 0;
    for (std::size_t at = 0;
         (at = flat.find("FTDIserialNUV13001·hardwareversion13", at)) != std::string::npos; ++at) {
        ++headers;
    }
    EXPECT_EQ(headers, pages);
    EXPECT_EQ(Output("pdfinfo '" + folder + "/visit.pdf' | grep '^Page size'"),
              "Page size:       595 x 842 pts (A4)\n");
}

TEST_F(ReportPdfTest, ErrorValuesAreNamedAndRed) {
    module.SensorAt(2, 1).fixedRaw = 0xF050;  // E251
    module.SensorAt(5, 3).fixedRaw = 0xF040;  // E252
    module.SensorAt(8, 0).fixedRaw = 0xF060;  // E250: a sensor that the search found, gone since
    Write("errors.pdf");
    const std::string pdf = folder + "/errors.pdf";
    const std::string flat = WithoutSpace(Text("errors.pdf"));
    EXPECT_NE(flat.find("E2511-WireCRC"), std::string::npos);
    EXPECT_NE(flat.find("E252lineshorted"), std::string::npos);
    EXPECT_NE(flat.find("E250noprobe"), std::string::npos);
    const auto all = Words(pdf);
    for (const char* name : {"E251", "E252", "E250"}) {
        const std::vector<Word> words = Find(all, name);
        ASSERT_EQ(words.size(), 1U) << name;
        const Word& word = words[0];
        const QImage page = Page(pdf, word.page, folder);
        ASSERT_FALSE(page.isNull());
        const QRectF box(word.x0, word.y0, word.x1 - word.x0, word.y1 - word.y0);
        EXPECT_GT(PixelsNear(page, box, QColor(200, 0, 0), 120), 5) << name << " is not red";
        EXPECT_EQ(PixelsNear(page, box, QColor(0, 0, 0), 120), 0) << name << " has black";
    }
    // A reading of degrees is black, not red.
    const std::vector<Word> degrees = Find(all, "°C");
    ASSERT_FALSE(degrees.empty());
    const QImage page = Page(pdf, degrees.back().page, folder);
    const Word& word = degrees.back();
    const QRectF box(word.x0, word.y0, word.x1 - word.x0, word.y1 - word.y0);
    EXPECT_GT(PixelsNear(page, box, QColor(0, 0, 0), 120), 5);
    EXPECT_EQ(PixelsNear(page, box, QColor(200, 0, 0), 120), 0);
}

TEST_F(ReportPdfTest, AnApcRunOfTheSessionGetsItsFigureAndNoneOtherwise) {
    Write("before.pdf");
    EXPECT_EQ(Text("before.pdf").find("APC run"), std::string::npos);
    RunApc(3);
    Write("after.pdf");
    const std::string text = Text("after.pdf");
    const std::string flat = WithoutSpace(text);
    EXPECT_NE(flat.find("APCrunsofthissession"), std::string::npos) << text;
    EXPECT_NE(flat.find("APCrun,channel0("), std::string::npos) << text;
    EXPECT_EQ(flat.find("APCrun,channel1"), std::string::npos);
    // The legend names the sensors in the level order the report found after the run.
    const std::vector<int> order = module.Order(0);
    ASSERT_EQ(order.size(), 3U);
    std::vector<std::string> legend;
    for (std::size_t level = 0; level < 3; ++level) {
        legend.push_back(std::to_string(level + 1) + "." +
                         SerialText(module.SensorAt(0, order[level]).serial));
    }
    EXPECT_EQ(FirstOutOfOrder(flat, {"APCrun,channel0(", legend[0], legend[1], legend[2]}), "")
        << text;
    // The curves are drawn: each sensor's colour is on the page of the figure.
    const std::vector<Word> title = Find(Words(folder + "/after.pdf"), "APC");
    ASSERT_FALSE(title.empty());
    const QImage page = Page(folder + "/after.pdf", title.back().page, folder);
    const QRectF figure(0, title.back().y0, 595, 200);
    for (const QColor colour :
         {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c)}) {
        EXPECT_GT(PixelsNear(page, figure, colour, 40), 30) << colour.name().toStdString();
    }
    // The heating shows: each sensor's curve rises by degrees above its start.
    const std::vector<ApcFigure> runs = ApcFigures(tool);
    ASSERT_EQ(runs.size(), 1U);
    ASSERT_EQ(runs[0].curves.size(), 3U);
    for (const auto& curve : runs[0].curves) {
        double low = 1e9, high = -1e9;
        for (const TrendPoint& point : curve.points) {
            low = std::min(low, point.value);
            high = std::max(high, point.value);
        }
        EXPECT_GT(high - low, 5.0) << curve.serial;
    }
}

TEST_F(ReportPdfTest, AnEarlierReportMakesTheChangesTheFirstSection) {
    Write("first.json");
    module.Configure(9, 4);
    panel.ComboBox2.SetIndex(8);
    Write("second.pdf", "", folder + "/first.json");
    const std::string flat = WithoutSpace(Text("second.pdf"));
    EXPECT_EQ(FirstOutOfOrder(flat, {"Servicereport", "Changessincethelastvisit",
                                     "Comparedwith" + WithoutSpace(folder) + "/first.jsonof",
                                     "•Address:2→9", "•Memory:1bytediffersat0x0004",
                                     "2differences.Supplyreadingscountaschangedbeyond±0.5Vand±"
                                     "0.05A.",
                                     "Module"}),
              "")
        << Text("second.pdf");
}

TEST_F(ReportPdfTest, APdfIsWrittenWholeOrNotAtAll) {
    const ServiceReport report = Collect();
    const std::string path = folder + "/visit.pdf";
    std::ofstream(path) << "the last visit's PDF";
    ASSERT_EQ(WriteReportPdf(path, report), std::nullopt);
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(bytes.rfind("%PDF-", 0), 0U);
    EXPECT_EQ(bytes.substr(bytes.size() - 6), "%%EOF\n");
    EXPECT_EQ(Output("pdfinfo '" + path + "' >/dev/null 2>&1 && echo whole"), "whole\n");
    // Where it cannot be written, an earlier file stays as it was and nothing else is left.
    const std::string folderInTheWay = folder + "/taken.pdf";
    std::filesystem::create_directories(folderInTheWay + "/inside");
    EXPECT_TRUE(WriteReportPdf(folderInTheWay, report));
    EXPECT_TRUE(std::filesystem::exists(folderInTheWay + "/inside"));
    const auto missing = WriteReportPdf(folder + "/no/such/folder.pdf", report);
    ASSERT_TRUE(missing);
    EXPECT_EQ(*missing, "No such file or directory");
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"taken.pdf", "visit.pdf"}));
    // Through the window: the status says so and the log says why.
    dialogs.serviceReport = ServiceReportRequest{folder + "/no/visit.pdf", "", ""};
    tool.Click(panel.btnServiceReport);
    EXPECT_EQ(panel.ServiceStatus.Caption(), "Service report not written");
    EXPECT_NE(tool.log.Text().find("Service report: cannot write " + folder +
                                   "/no/visit.pdf: No such file or directory"),
              std::string::npos);
}

TEST_F(ReportPdfTest, ALongRemarkGoesOnOverThePagesWithEveryLine) {
    std::string remarks;
    for (int line = 1; line <= 120; ++line) remarks += "Remark line " + std::to_string(line) + "\n";
    Write("long.pdf", remarks);
    const std::string text = Text("long.pdf");
    std::vector<std::string> lines;
    for (int line = 1; line <= 120; ++line) lines.push_back("Remarkline" + std::to_string(line));
    lines.push_back("Technician:nameandsignature");
    EXPECT_EQ(FirstOutOfOrder(WithoutSpace(text), lines), "") << text;
}

}  // namespace
}  // namespace nuv::test
