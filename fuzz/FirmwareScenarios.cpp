// The harness of the boot loader's replies: "Update Firmware" with the carried build.
#include "fuzz/Scenarios.hpp"

namespace nuv::fuzz {
namespace {

// No options: the reset, the prompt, the identification, a request for every page, the verdict.
void RunBootLoader(FuzzSession& session, Options /*options*/) {
    Press(session.tool, session.tool.panel.btn1);
}

std::vector<Seed> BootLoaderSeeds() {
    using Faults = sim::BootLoaderSimulator::Faults;
    auto with = [](auto change) {
        return [change](sim::ModuleSimulator& m) {
            Faults faults;
            change(faults);
            m.bootLoader.faults = faults;
        };
    };
    return {
        {"verified", {}},
        {"identification-wrong", {}, with([](Faults& f) { f.wrongIdentificationByte = 3; })},
        {"identification-cut", {}, with([](Faults& f) { f.identificationBytes = 5; })},
        {"page-not-prepared", {}, with([](Faults& f) { f.replacedRequest = 3; })},
        {"request-missing", {}, with([](Faults& f) { f.missingRequest = 10; })},
        {"page-verification-failed", {}, with([](Faults& f) { f.corruptPage = 2; })},
        {"verdict-other", {}, with([](Faults& f) { f.verdict = 'X'; })},
        {"verdict-silent", {}, with([](Faults& f) { f.verdictSilent = true; })},
        {"noise-before-prompt", {}, with([](Faults& f) {
             f.noiseBeforePrompt = {0x00, 0x3C, 0xFF, 0x21};
         })},
    };
}

}  // namespace

std::vector<Scenario> FirmwareScenarios() {
    return {{"boot_loader", 0, 2048, RunBootLoader, BootLoaderSeeds}};
}

}  // namespace nuv::fuzz
