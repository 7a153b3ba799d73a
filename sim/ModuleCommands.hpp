#pragma once

#include <cstddef>
#include <cstdint>

// The simulated module's own table of its program-mode commands. It keeps its values apart from
// the tool's (protocol/ProgramCommands.hpp) on purpose: the simulator stands for the module's
// firmware, written apart from the tool, so a wrong value on the tool's side shows in every test
// against it as a refused block or a misread reply, rather than being mirrored here.
namespace nuv::sim::command {

// Byte 1 of a block, and byte 2 where it is fixed.
inline constexpr std::uint8_t kReset = 0x20;
inline constexpr std::uint8_t kResetByCode = 0x01;
inline constexpr std::uint8_t kRead = 0x30;
inline constexpr std::uint8_t kIdentify = 0x00;
inline constexpr std::uint8_t kConfigurationArea = 0x01;
inline constexpr std::uint8_t kMemory = 0x09;
inline constexpr std::uint8_t kSearch = 0x60;  // byte 2: the channel
inline constexpr std::uint8_t kSave = 0x70;
inline constexpr std::uint8_t kSaveAddress = 0x00;
inline constexpr std::uint8_t kSaveInterval = 0x01;
inline constexpr std::uint8_t kSaveAll = 0x02;
inline constexpr std::uint8_t kSaveOrderFirst = 0x03;   // + the channel
inline constexpr std::uint8_t kSaveOrderSecond = 0x13;  // + the channel: a 16-level table's rest
inline constexpr std::uint8_t kSegregate = 0x90;        // byte 2: the channel, or one below
inline constexpr std::uint8_t kProgress = 0x10;         // first part and the ten-position layout
inline constexpr std::uint8_t kStatus = 0x11;           // second part and the status record
inline constexpr std::uint8_t kTableFirst = 0x12;
inline constexpr std::uint8_t kTableSecond = 0x13;
inline constexpr std::uint8_t kEndSegregation = 0xA0;
inline constexpr std::uint8_t kEndSegregationSub = 0x00;
inline constexpr std::uint8_t kLeave = 0xAA;
inline constexpr std::uint8_t kLeaveSub = 0x55;

// The two bytes of a command as one number (command << 8 | sub), for a switch.
constexpr unsigned Code(std::uint8_t command, std::uint8_t sub) {
    return static_cast<unsigned>(command) << 8U | sub;
}

// Bytes of a block's parameters and a reply's data.
inline constexpr std::size_t kParameter = 3;
inline constexpr std::size_t kData = 1;
inline constexpr std::size_t kDataBytes = 117;
// A table of 16 levels goes in two parts: its first 81 bytes, then the other 48; an order
// saved in one block has room for 115 table bytes.
inline constexpr std::size_t kFirstPart = 81;
inline constexpr std::size_t kSecondPart = 48;
inline constexpr std::size_t kOrderRoom = 115;
// The ten-position layout of kProgress: temperatures, then the sorted count and the state.
inline constexpr std::size_t kProgressTemperatures = 82;
inline constexpr std::size_t kProgressSorted = 102;
inline constexpr std::size_t kProgressState = 103;
// The status record of kStatus behind the second part: 16 temperatures, the sorted count at
// byte 32 and the state at byte 33 of the record.
inline constexpr std::size_t kStatusRecord = kData + kSecondPart;
inline constexpr std::size_t kStatusSorted = 32;
inline constexpr std::size_t kStatusState = 33;
inline constexpr std::size_t kStatusTemperatures = 16;

}  // namespace nuv::sim::command
