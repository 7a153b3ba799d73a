// The libFuzzer entry of a harness of device bytes; the build makes one executable per scenario,
// naming it in NUV_FUZZ_SCENARIO.
#include <cstdio>
#include <cstdlib>

#include "fuzz/FuzzInput.hpp"
#include "fuzz/FuzzSession.hpp"
#include "fuzz/Scenarios.hpp"

#ifndef NUV_FUZZ_SCENARIO
#error "NUV_FUZZ_SCENARIO names the scenario of the harness"
#endif

namespace {

const nuv::fuzz::Scenario& TheScenario() {
    static const nuv::fuzz::Scenario* scenario = [] {
        const nuv::fuzz::Scenario* found = nuv::fuzz::FindScenario(NUV_FUZZ_SCENARIO);
        if (found == nullptr) {
            std::fprintf(stderr, "no scenario %s\n", NUV_FUZZ_SCENARIO);
            std::abort();
        }
        return found;
    }();
    return *scenario;
}

}  // namespace

// The tool is built once per process; each input runs on it put back in its start state.
// NUV_FUZZ_CHECK_RESET=1 runs every input on a tool built for it as well and stops when the two
// runs differ: an input whose result depends on the ones before it (slow; for checking a
// corpus, not for fuzzing).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const nuv::fuzz::Scenario& scenario = TheScenario();
    static nuv::fuzz::FuzzSession& session = *new nuv::fuzz::FuzzSession;
    static const bool check = [] {
        const bool checking = std::getenv("NUV_FUZZ_CHECK_RESET") != nullptr;
        session.driver.KeepRecords(checking);  // the comparison looks at the bytes written
        return checking;
    }();
    nuv::fuzz::RunCase(scenario, session, nuv::fuzz::ParseCase({data, size}, scenario.optionBytes));
    if (check) {
        nuv::fuzz::FuzzSession fresh;
        nuv::fuzz::RunCase(scenario, fresh,
                           nuv::fuzz::ParseCase({data, size}, scenario.optionBytes));
        if (fresh.Fingerprint() != session.Fingerprint()) {
            std::fprintf(stderr, "the input's run depends on the inputs before it\n");
            std::abort();
        }
    }
    // Back to the start now, so that what the input took is given back within its run (the
    // fuzzer takes more allocations than releases in a run for a leak, and looks for one).
    session.Start();
    return 0;
}
