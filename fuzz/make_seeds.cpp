// Writes the seed corpus of every harness: each scenario's commands run against the simulated
// module (its normal answers, some of its faults, and its boot loader), and the replies the tool
// got go into a file in the harness's input format. Every seed is replayed at once and must
// drive the tool through the same bytes on the wire as the module did. A few hand-made texts
// seed the Intel HEX reader, and reports of both formats the report reader. A manifest lists
// every harness with its longest input.
//
// Usage: nuv_make_seeds FOLDER
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.hpp"
#include "fuzz/FuzzSession.hpp"
#include "fuzz/Scenarios.hpp"

namespace fs = std::filesystem;
using namespace nuv::fuzz;

namespace {

constexpr std::size_t kIntelHexMaxLen = 8192;
constexpr std::size_t kReportMaxLen = 16384;

bool WriteFile(const fs::path& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return static_cast<bool>(out);
}

// Runs a seed against the simulated module; returns its input and the bytes the tool wrote.
std::vector<std::uint8_t> Record(const Scenario& scenario, const Seed& seed,
                                 std::vector<std::uint8_t>& written) {
    FuzzSession session;
    seed.module(session.AttachModule());
    std::vector<std::uint8_t> options = seed.options;
    options.resize(scenario.optionBytes, 0);
    session.Start();
    scenario.run(session, options);
    written = session.Device().Written();
    return SerializeCase(FuzzCase{options, session.driver.Recorded()});
}

std::vector<std::uint8_t> Replay(const Scenario& scenario, const std::vector<std::uint8_t>& input) {
    FuzzSession session;
    RunCase(scenario, session, ParseCase(input, scenario.optionBytes));
    return session.Device().Written();
}

bool MakeScenarioSeeds(const Scenario& scenario, const fs::path& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    bool ok = true;
    for (const Seed& seed : scenario.seeds()) {
        std::vector<std::uint8_t> recorded;
        const std::vector<std::uint8_t> input = Record(scenario, seed, recorded);
        if (input.size() > scenario.maxLen) {
            std::fprintf(stderr, "%s/%s: %zu bytes, more than the harness's %zu\n",
                         std::string(scenario.name).c_str(), seed.name.c_str(), input.size(),
                         scenario.maxLen);
            ok = false;
        }
        if (Replay(scenario, input) != recorded) {
            std::fprintf(stderr, "%s/%s: the replay does not write what the recording wrote\n",
                         std::string(scenario.name).c_str(), seed.name.c_str());
            ok = false;
        }
        ok = WriteFile(folder / seed.name, input.data(), input.size()) && ok;
    }
    return ok;
}

// One Intel HEX record with its checksum.
std::string HexRecord(std::uint8_t type, std::uint16_t offset,
                      const std::vector<std::uint8_t>& data) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(data.size()),
                                    static_cast<std::uint8_t>(offset >> 8U),
                                    static_cast<std::uint8_t>(offset & 0xFFU), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (std::uint8_t byte : bytes) sum += byte;
    bytes.push_back(static_cast<std::uint8_t>(0x100U - (sum & 0xFFU)));
    std::string line = ":";
    for (std::uint8_t byte : bytes) {
        line += kDigits[byte >> 4U];
        line += kDigits[byte & 0x0FU];
    }
    return line + "\n";
}

bool MakeIntelHexSeeds(const fs::path& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::string image;
    for (std::uint16_t offset = 0; offset < 1024; offset += 16) {
        std::vector<std::uint8_t> data;
        for (std::uint16_t i = 0; i < 16; ++i)
            data.push_back(static_cast<std::uint8_t>(offset + 7 * i));
        image += HexRecord(0x00, offset, data);
    }
    image += HexRecord(0x01, 0, {});
    const std::vector<std::pair<std::string, std::string>> seeds{
        {"one-record", ":03000000010203F7\n:00000001FF\n"},
        {"records-and-bases",
         ":03000000010203F7\r\n\n:02001000AABB89\r\n:0400000500000000F7\n:020000040001F9\n"
         ":010000005AA5\n:00000001FF\n\n"},
        {"segment-base", ":020000021000EC\n:010000005AA5\n:010000005AA5\n:00000001FF\n"},
        {"start-segment", HexRecord(0x03, 0, {0x12, 0x34, 0x00, 0x00}) +
                              HexRecord(0x00, 0x0100, {0xDE, 0xAD, 0xBE, 0xEF}) +
                              HexRecord(0x01, 0, {})},
        {"one-kilobyte", image},
        {"top-of-buffer", HexRecord(0x04, 0, {0x00, 0x01}) +
                              HexRecord(0x00, 0xFFF0, std::vector<std::uint8_t>(16, 0xA5)) +
                              HexRecord(0x01, 0, {})},
        {"checksum-wrong", ":03000000010203F8\n:00000001FF\n"},
    };
    bool ok = true;
    for (const auto& [name, text] : seeds) {
        ok = WriteFile(folder / name, text.data(), text.size()) && ok;
    }
    return ok;
}

// Service reports as the program writes them, of both formats, for the report reader.
bool MakeReportSeeds(const fs::path& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string body =
        R"("failed_steps":0,"report":{"ok":true,"error":null,"date":"2026-01-01T12:00:00+01:00",)"
        R"("tool_version":"5.5","build":"0.1.0","carried_firmware":"00.48"},)"
        R"("device":{"ok":true,"error":null,"description":"ORNEVA NUV","serial":"NUV13001",)"
        R"("model":"NUV","hardware_version":13},)"
        R"("firmware":{"ok":true,"error":null,"address":2,"interval_s":4,"firmware":"00.48",)"
        R"("firmware_class":0,"firmware_build":72,"standard":"ORNEVA","sensors_per_channel":10,)"
        R"("up_to_date":true},)"
        R"("sensors":{"ok":true,"error":null,"channel_0":{"ok":true,"serials":)"
        R"(["28191CA3ED7E9F42","28238398DDB1968A"]},"channel_1":{"ok":true,"serials":[]},)"
        R"("channel_2":{"ok":false,"error":"result 21"}},)"
        R"("memory":{"ok":true,"error":null,"bytes":4096,"sha256":"dc77","dump_file":"v.dat"},)"
        R"("normal_mode":{"ok":true,"error":null,"program_mode_entered":true},)"
        R"("reading":{"ok":true,"error":null,"address":2,"result":251,"sensors_per_channel":10,)"
        R"("module_temperature":31.25,"channels":[[24.5,null],[]],"raw":[[392,61520],[]]},)"
        R"("supply":{"ok":true,"error":null,"system_v":5,"main_v":12.6,"currents_a":[0.25]},)"
        R"("outputs":{"ok":true,"error":null,"mask":5},)"
        R"("reset_counters":{"ok":true,"error":null,"total":7,"jtag":0,"watchdog":1,)"
        R"("brown_out":0,"external":2,"power_up":4})";
    const std::vector<std::pair<std::string, std::string>> seeds{
        {"format-2", "{\"format\":2," + body + ",\"remarks\":\"Zażółć\\n\\u00e9\"}"},
        {"format-1", "{\"format\":\"nuv-service-report/1\"," + body + "}"},
        {"no-format", "{" + body + "}"},
        {"failed-step", R"({"format":2,"report":{"ok":true,"error":null},)"
                        R"("supply":{"ok":false,"error":"result 17, Brak danych"}})"},
    };
    bool ok = true;
    for (const auto& [name, text] : seeds) {
        ok = WriteFile(folder / name, text.data(), text.size()) && ok;
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    bool ok = true;
    std::string manifest;
    for (const Scenario& scenario : Scenarios()) {
        ok = MakeScenarioSeeds(scenario, root / scenario.name) && ok;
        manifest += std::string(scenario.name) + " " + std::to_string(scenario.maxLen) + "\n";
    }
    ok = MakeIntelHexSeeds(root / "intel_hex") && ok;
    manifest += "intel_hex " + std::to_string(kIntelHexMaxLen) + "\n";
    ok = MakeReportSeeds(root / "report_json") && ok;
    manifest += "report_json " + std::to_string(kReportMaxLen) + "\n";
    ok = WriteFile(root / "MANIFEST", manifest.data(), manifest.size()) && ok;
    return ok ? 0 : 1;
}
