// The harnesses build the tool once and put it back in its start state before every input: an
// input must give the same result whatever ran before it, as on a tool made for it alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fuzz/FuzzInput.hpp"
#include "fuzz/FuzzSession.hpp"
#include "fuzz/Scenarios.hpp"

namespace nuv::fuzz {
namespace {

// A seed's input, recorded from the simulated module as the seed corpus is.
std::vector<std::uint8_t> Record(const Scenario& scenario, const Seed& seed) {
    FuzzSession session;
    seed.module(session.AttachModule());
    std::vector<std::uint8_t> options = seed.options;
    options.resize(scenario.optionBytes, 0);
    session.Start();
    scenario.run(session, options);
    return SerializeCase(FuzzCase{options, session.driver.Recorded()});
}

// The scenario's seeds, and inputs a fuzzer makes of them: a silent module, and a seed's bytes
// cut short and shifted by one.
std::vector<std::vector<std::uint8_t>> Inputs(const Scenario& scenario) {
    std::vector<std::vector<std::uint8_t>> inputs;
    for (const Seed& seed : scenario.seeds()) inputs.push_back(Record(scenario, seed));
    inputs.push_back(std::vector<std::uint8_t>(scenario.optionBytes, 0));
    std::vector<std::uint8_t> cut = inputs.front();
    cut.resize(cut.size() * 2 / 3);
    inputs.push_back(cut);
    std::vector<std::uint8_t> shifted(inputs.front().begin() + 1, inputs.front().end());
    inputs.push_back(shifted);
    return inputs;
}

std::string RunAlone(const Scenario& scenario, const std::vector<std::uint8_t>& input) {
    FuzzSession fresh;
    RunCase(scenario, fresh, ParseCase(input, scenario.optionBytes));
    return fresh.Fingerprint();
}

class SessionResetTest : public ::testing::TestWithParam<std::string> {};

TEST_P(SessionResetTest, TwoInputsInARowGiveWhatEachGivesAlone) {
    const Scenario* scenario = FindScenario(GetParam());
    ASSERT_NE(scenario, nullptr);
    const std::vector<std::vector<std::uint8_t>> inputs = Inputs(*scenario);
    std::vector<std::string> alone;
    for (const auto& input : inputs) alone.push_back(RunAlone(*scenario, input));

    // One tool through all of them, forwards and then backwards: every input follows another.
    FuzzSession reused;
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < inputs.size(); ++i) order.push_back(i);
    for (std::size_t i = inputs.size(); i-- > 0;) order.push_back(i);
    std::size_t before = inputs.size();
    for (const std::size_t i : order) {
        RunCase(*scenario, reused, ParseCase(inputs[i], scenario->optionBytes));
        EXPECT_EQ(reused.Fingerprint(), alone[i])
            << "input " << i << " after input " << before << " of " << GetParam();
        before = i;
    }
}

TEST_P(SessionResetTest, AStartAfterAnInputIsTheStartOfAToolJustMade) {
    const Scenario* scenario = FindScenario(GetParam());
    ASSERT_NE(scenario, nullptr);
    FuzzSession fresh;
    fresh.Start();
    FuzzSession reused;
    const std::vector<std::vector<std::uint8_t>> inputs = Inputs(*scenario);
    RunCase(*scenario, reused, ParseCase(inputs.front(), scenario->optionBytes));
    ASSERT_NE(reused.Fingerprint(), fresh.Fingerprint());  // the input did something
    reused.Start();
    EXPECT_EQ(reused.Fingerprint(), fresh.Fingerprint());
}

std::vector<std::string> ScenarioNames() {
    std::vector<std::string> names;
    for (const Scenario& scenario : Scenarios()) names.emplace_back(scenario.name);
    return names;
}

INSTANTIATE_TEST_SUITE_P(EveryHarness, SessionResetTest, ::testing::ValuesIn(ScenarioNames()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace nuv::fuzz
