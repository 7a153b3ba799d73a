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

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const nuv::fuzz::Scenario& scenario = TheScenario();
    nuv::fuzz::FuzzSession session;
    nuv::fuzz::RunCase(scenario, session, nuv::fuzz::ParseCase({data, size}, scenario.optionBytes));
    return 0;
}
