// Shows what a harness input does to the tool: its options and chunks, every byte the tool wrote,
// and the message log and error logger as the window would show them. For reading a finding or
// a seed, and for turning a finding into a regression test.
//
// Usage: nuv_fuzz_show HARNESS FILE
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.hpp"
#include "fuzz/FuzzSession.hpp"
#include "fuzz/Scenarios.hpp"
#include "protocol/ModbusTransaction.hpp"

using namespace nuv::fuzz;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s HARNESS FILE\n", argv[0]);
        return 2;
    }
    const Scenario* scenario = FindScenario(argv[1]);
    if (scenario == nullptr) {
        std::fprintf(stderr, "no harness %s\n", argv[1]);
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    const std::vector<std::uint8_t> data{std::istreambuf_iterator<char>(in), {}};
    if (!in.eof() && !in) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 2;
    }
    FuzzCase input = ParseCase(data, scenario->optionBytes);
    std::printf("options: %s\n", nuv::HexDump(input.options).c_str());
    static constexpr const char* kTriggers[] = {"write", "line", "follows", "any"};
    for (const Chunk& chunk : input.chunks) {
        std::printf("chunk (%s, %lld ms%s): %s\n", kTriggers[static_cast<int>(chunk.trigger)],
                    static_cast<long long>(chunk.DelayNs() / 1'000'000),
                    chunk.block ? ", block" : "", nuv::HexDump(chunk.WireBytes()).c_str());
    }
    FuzzSession session;
    RunCase(*scenario, session, std::move(input));
    std::printf("\nthe tool wrote: %s\n", nuv::HexDump(session.Device().Written()).c_str());
    std::printf("at %lld ms of virtual time\n",
                static_cast<long long>(session.clock.NowNs() / 1'000'000));
    std::printf("\nmessage log:\n%s\n", session.tool.log.Text().c_str());
    std::printf("\nerror logger:\n%s\n", session.tool.logger.Text().c_str());
    return 0;
}
