#include "measure/ServiceFunctions.hpp"

#include <array>
#include <charconv>
#include <cstdint>
#include <limits>

#include "app/MessageTable.hpp"
#include "app/Tool.hpp"
#include "app/Windows1250.hpp"
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

std::optional<long> ParseWholeNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (negative) value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<long>(value);
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
