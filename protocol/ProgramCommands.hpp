#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/ProgramBlock.hpp"

namespace nuv {

// The module's program mode by name: what goes into a block (byte 1 the command, byte 2 its
// sub-command or a channel, parameters from byte 3) and where a reply keeps what it says (its
// status in byte 0, see reply_status; its data from byte 1).

// A command with a fixed sub-command.
struct ProgramCommand {
    std::uint8_t command;
    std::uint8_t sub;
};

// A block of zeros with the command's two bytes.
inline ProgramBlock MakeProgramBlock(ProgramCommand command) {
    return MakeProgramBlock(command.command, command.sub);
}

// Entering program mode is no block: this frame goes out as a Modbus request (with its CRC),
// and the module answers with its address in byte 0 and its interval in byte 3.
inline constexpr std::array<std::uint8_t, 6> kProgramEntryFrame{'Z', 'A', 'F', 'R', 'E', 'L'};
inline constexpr std::size_t kEntryReplyAddress = 0;
inline constexpr std::size_t kEntryReplyInterval = 3;

// The first parameter byte of a request.
inline constexpr std::size_t kFirstParameter = 3;
// The first data byte of a reply.
inline constexpr std::size_t kReplyData = 1;

// 0x30: reads. The identification answers with the firmware's class byte and build byte.
inline constexpr ProgramCommand kIdentify{0x30, 0x00};
inline constexpr std::size_t kReplyFirmwareClass = 1;
inline constexpr std::size_t kReplyFirmwareBuild = 2;
// The memory's configuration area, its first 117 bytes.
inline constexpr ProgramCommand kReadConfigurationArea{0x30, 0x01};
// A piece of the memory: parameters address high, address low, count; 0xFF after them.
inline constexpr ProgramCommand kReadMemory{0x30, 0x09};

// 0x70: the working configuration. The address and the interval take their value in the first
// parameter byte; the save of everything makes it permanent and restarts the module.
inline constexpr ProgramCommand kSaveAddress{0x70, 0x00};
inline constexpr ProgramCommand kSaveInterval{0x70, 0x01};
inline constexpr ProgramCommand kSaveAll{0x70, 0x02};
// The order of a channel's sensors by serial: sub-command kSaveOrderFirst + channel with the
// table from the first parameter byte on; a table of 16 levels goes in two blocks, the second
// with kSaveOrderSecond + channel.
inline constexpr std::uint8_t kSaveOrder = 0x70;
inline constexpr std::uint8_t kSaveOrderFirst = 0x03;
inline constexpr std::uint8_t kSaveOrderSecond = 0x13;

// 0x20 0x01: the module resets itself into normal mode (first parameter: the address).
inline constexpr ProgramCommand kResetByCode{0x20, 0x01};
// 0xAA 0x55: the module leaves program mode.
inline constexpr ProgramCommand kLeaveProgramMode{0xAA, 0x55};

// 0x60: the search of a channel (the sub-command); the first parameter byte names the part of
// a table of 16 levels (0, 1). The reply holds the channel's table from its data byte on.
inline constexpr std::uint8_t kSearchChannel = 0x60;

// 0x90: the segregation (APC). With a channel as sub-command it starts there and answers the
// count of sensors found in its data byte; the other sub-commands read its progress.
inline constexpr std::uint8_t kSegregate = 0x90;
inline constexpr std::size_t kReplyFoundCount = 1;
// The table's first part, with the progress in the layout of ten positions behind it: the count
// of the ten-level table, the ten raw temperatures (high byte first), and the state.
inline constexpr ProgramCommand kSegregationProgress{0x90, 0x10};
inline constexpr std::size_t kProgressCount = 81;
inline constexpr std::size_t kProgressTemperatures = 82;
inline constexpr std::size_t kProgressState = 103;
inline constexpr std::size_t kProgressPositions = 10;
// The table's second part, with the status record behind it (SegregationStatus's 36 bytes).
inline constexpr ProgramCommand kSegregationStatus{0x90, 0x11};
// The table alone, in its two parts.
inline constexpr ProgramCommand kSegregationTableFirst{0x90, 0x12};
inline constexpr ProgramCommand kSegregationTableSecond{0x90, 0x13};
// 0xA0 0x00: the end of a segregation; its reply holds channel 0's serials as the memory keeps
// them (the first parameter: the address).
inline constexpr ProgramCommand kEndSegregation{0xA0, 0x00};

// A sensor's serial: eight bytes, the family code first and its CRC-8 last.
using SensorSerial = std::array<std::uint8_t, 8>;
// The table of a channel's sensors as the module sends it for a search or a segregation: up to
// 16 serials of 8 bytes, level order, and the count at byte 8N (N the sensors per channel).
inline constexpr std::size_t kSensorTableSize = 129;
inline constexpr std::size_t kMaxLevels = 16;
// A table of 16 levels takes two blocks: its bytes 0..80, then 81..128.
inline constexpr std::size_t kFirstPartBytes = 81;
inline constexpr std::size_t kSecondPartBytes = 48;
// Where the status record starts in the reply of kSegregationStatus.
inline constexpr std::size_t kStatusRecord = kReplyData + kSecondPartBytes;

}  // namespace nuv
