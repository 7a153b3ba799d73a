// nuvctl's words for each way a Modbus exchange fails, against a peer that answers that way.
#include <gtest/gtest.h>

#include <sstream>

#include "sim/ScriptedPeer.hpp"
#include "sim/SimFtdi.hpp"
#include "tests/link/LinkFixture.hpp"
#include "tools/Nuvctl.hpp"

namespace nuv::test {
namespace {

class NuvctlErrorsTest : public ::testing::Test {
  protected:
    NuvctlErrorsTest() { driver.AddDevice("ORNEVA NUV", "NUV13001").AttachPeer(peer); }

    int Run(const std::vector<std::string>& args) {
        out.str("");
        err.str("");
        cli::Environment environment{
            [this](const cli::DriverChoice&) -> FtdiApi& { return driver; }, clock, pump, out, err};
        return cli::Run(args, environment);
    }

    VirtualClock clock;
    NullEventPump pump;
    sim::SimFtdi driver{clock};
    std::shared_ptr<sim::ScriptedPeer> peer = std::make_shared<sim::ScriptedPeer>();
    std::ostringstream out;
    std::ostringstream err;
};

constexpr std::size_t kRequest = 8;  // every request is six bytes and the CRC

TEST_F(NuvctlErrorsTest, AnExceptionIsNamedWithWhatToCheck) {
    // A read of 101 registers from a module that has fewer.
    peer->ReplyAfter(kRequest, Hex("02 83 02 30 F1"));
    EXPECT_EQ(Run({"--simulate", "read"}), 1);
    EXPECT_EQ(err.str(),
              "nuvctl: the module answered exception 02, illegal data address: check --sensors "
              "and --address (result 17)\n");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(peer->Received(), Hex("02 03 00 00 00 65 85 D2"));
}

TEST_F(NuvctlErrorsTest, AnExceptionToAnotherRequestHasItsOwnHint) {
    peer->ReplyAfter(kRequest, Hex("02 86 01 73 A0"));
    EXPECT_EQ(Run({"--simulate", "power"}), 1);
    EXPECT_EQ(err.str(),
              "nuvctl: the module answered exception 01, illegal function: check --address (the "
              "device there does not know this request) (result 17)\n");
}

TEST_F(NuvctlErrorsTest, AnAnswerFromAnotherAddressIsNamed) {
    peer->ReplyAfter(kRequest, Hex("05 06 0E 01 F4 03 E8 01 0E 01 19 01 24 01 2F 01 3A CD 5C"));
    EXPECT_EQ(Run({"--simulate", "power"}), 1);
    EXPECT_EQ(err.str(), "nuvctl: the answer came from address 5, not 2 (result 1)\n");
}

TEST_F(NuvctlErrorsTest, ABadCrcIsNamedWithBothChecksums) {
    // The right answer, its last byte spoilt.
    peer->ReplyAfter(kRequest, Hex("02 06 0E 01 F4 03 E8 01 0E 01 19 01 24 01 2F 01 3A 7F 00"));
    EXPECT_EQ(Run({"--simulate", "power"}), 1);
    EXPECT_EQ(err.str(),
              "nuvctl: the answer's CRC is wrong (19 bytes ending 7F 00, their CRC is 7F 6D): "
              "noise or a damaged line (result 1)\n");
}

TEST_F(NuvctlErrorsTest, AnswersToAnotherRequestAreNamed) {
    peer->ReplyAfter(kRequest, Hex("02 04 0E 01 F4 03 E8 01 0E 01 19 01 24 01 2F 01 3A FE 0C"));
    EXPECT_EQ(Run({"--simulate", "power"}), 1);
    EXPECT_EQ(err.str(), "nuvctl: the answer is to function 04, not 06 (result 1)\n");
}

TEST_F(NuvctlErrorsTest, SilenceAndAShortAnswerAreTimeOutsOfTheirOwnKind) {
    EXPECT_EQ(Run({"--simulate", "power"}), 1);
    EXPECT_EQ(err.str(),
              "nuvctl: no answer from the module (time-out): check the cable, the port and "
              "--address (result 17)\n");
    // No answer at all: the module was asked once whether it is in program mode (one block).
    constexpr std::size_t kProgramBlock = 128;
    EXPECT_EQ(peer->Received().size(), kRequest + kProgramBlock);
    peer->ReplyAfter(2 * kRequest + kProgramBlock, Hex("02 06 0E 01 F4 03 E8"));
    EXPECT_EQ(Run({"--simulate", "power"}), 1);
    EXPECT_EQ(err.str(), "nuvctl: the answer stopped after 7 byte(s) (time-out) (result 17)\n");
}

TEST_F(NuvctlErrorsTest, VerbosePrintsTheWholeWireTraceBeforeTheMessage) {
    peer->ReplyAfter(kRequest, Hex("02 83 02 30 F1"));
    EXPECT_EQ(Run({"--simulate", "-v", "read"}), 1);
    const std::string trace = err.str();
    const auto request = trace.find("02 03 00 00 00 65 85 D2");
    const auto answer = trace.find("02 83 02 30 F1");
    const auto message = trace.find("nuvctl: the module answered exception 02");
    EXPECT_NE(request, std::string::npos) << trace;
    EXPECT_NE(answer, std::string::npos) << trace;
    ASSERT_NE(message, std::string::npos) << trace;
    EXPECT_LT(request, message);
    EXPECT_LT(answer, message);
}

}  // namespace
}  // namespace nuv::test
