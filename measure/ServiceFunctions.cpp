#include "measure/ServiceFunctions.hpp"

#include "core/TypedNumber.hpp"

#include <array>
#include <charconv>
#include <cstdint>
#include <limits>

#include "core/MessageTable.hpp"
#include "core/Windows1250.hpp"
#include "model/Tool.hpp"
#include "protocol/Crc8.hpp"
#include "protocol/ModbusCrc.hpp"

namespace nuv {

namespace {
// The first seven bytes of a sensor serial number whose eighth byte, its CRC, is 0x46.
constexpr std::array<std::uint8_t, 7> kCrc8TestBytes{0x28, 0x23, 0x77, 0x58, 0x02, 0x00, 0x00};
constexpr std::array<std::uint8_t, 5> kCrc16TestBytes{0xFA, 0x55, 0xAA, 0xCC, 0x55};
constexpr std::array<std::uint8_t, 2> kTestFramePayload{0x01, 0x00};
}  // namespace

void btn2Click(Tool& tool) {
    tool.log.SetText("CRC: " + HexByte(OneWireCrc8(kCrc8TestBytes)));
}

void btn8Click(Tool& tool) {
    const ModbusCrcBytes crc = ModbusCrc(kCrc16TestBytes);
    tool.log.AppendText(HexByte(crc.first) + HexByte(crc.second) +
                        " CRC16 LH:  " + HexByte(crc.second) + HexByte(crc.first));
}

void btn9Click(Tool& tool) {
    // No connect, no answer, no message: the frame goes to whatever handle is open.
    tool.link.SendShortFrame(kTestFramePayload);
}

void Button21Click(Tool& tool) {
    const std::string& text = tool.panel.Edit8.Text();
    const std::optional<long> number = ParseWholeNumber(text);
    if (!number) {
        tool.dialogs.ShowMessage("'" + text + "' is not a valid integer value");
        return;
    }
    const auto code = static_cast<std::uint8_t>(static_cast<unsigned long>(*number) & 0xFFU);
    tool.panel.Edit9.SetText(Windows1250ToUtf8(code));
}

}  // namespace nuv
