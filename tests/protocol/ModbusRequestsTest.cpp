// The normal-mode requests by name: their bytes, the length of their answer and its head.
#include "protocol/ModbusRequests.hpp"

#include <optional>

#include "tests/measure/ModuleFixture.hpp"

namespace nuv::test {
namespace {

struct RequestCase {
    const char* name;
    ModbusRequest request;
    const char* frame;
    std::uint16_t replyLength;
    std::optional<std::uint8_t> byteCount;
};

std::vector<RequestCase> Cases() {
    return {
        {"all registers of 10 sensors", ReadRegistersRequest(2, 0, 101), "02 03 00 00 00 65", 207,
         202},
        {"the first half of 16 sensors", ReadRegistersRequest(2, 0, 80), "02 03 00 00 00 50", 165,
         160},
        {"the second half of 16 sensors", ReadRegistersRequest(2, 80, 81), "02 03 00 50 00 51", 167,
         162},
        {"one register at 247", ReadRegistersRequest(247, 0, 1), "F7 03 00 00 00 01", 7, 2},
        {"power", ReadPowerRequest(2), "02 06 00 00 00 07", 19, 14},
        {"outputs set", WriteOutputsRequest(5, 0x0A), "05 07 00 00 00 0A", 7, std::nullopt},
        {"outputs read", ReadOutputsRequest(2), "02 07 00 00 00 10", 7, std::nullopt},
        {"reset counters read", ReadResetCountersRequest(2), "02 08 00 00 00 06", 17, 12},
        {"reset counters cleared", ClearResetCountersRequest(2), "02 08 00 00 00 01", 6,
         std::nullopt},
    };
}

TEST(ModbusRequests, FramesAnswerLengthsAndHeads) {
    for (const RequestCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(std::vector<std::uint8_t>(c.request.frame.begin(), c.request.frame.end()),
                  Hex(c.frame));
        EXPECT_EQ(c.request.replyLength, c.replyLength);
        EXPECT_TRUE(c.request.expectation.header);
        EXPECT_EQ(c.request.expectation.byteCount, c.byteCount);
    }
}

// The simulated module answers every request at its address with a whole answer of the length
// the request names, whose head the request's expectation takes.
using ModbusRequestsOnTheModule = ModuleTest;

TEST_F(ModbusRequestsOnTheModule, EachIsAnsweredWholeAndAccepted) {
    module.address = 5;
    module.sensorsPerChannel = 16;
    ASSERT_EQ(tool.link.ConnectModule(), result::Ok);
    for (const ModbusRequest& request :
         {ReadRegistersRequest(5, 0, 80), ReadRegistersRequest(5, 80, 81), ReadPowerRequest(5),
          WriteOutputsRequest(5, 0x0A), ReadOutputsRequest(5), ReadResetCountersRequest(5),
          ClearResetCountersRequest(5)}) {
        SCOPED_TRACE(static_cast<int>(request.frame[1]));
        EXPECT_EQ(
            tool.modbus.Transaction(request.frame, 2500, request.replyLength, request.expectation),
            result::Ok);
        EXPECT_EQ(tool.modbus.Collected().size(), request.replyLength);
    }
    EXPECT_EQ(module.outputs, 0x0A);
}

}  // namespace
}  // namespace nuv::test
