#pragma once

#include <cstdint>

namespace nuv {

// Result of every link and protocol operation. 0 is success; any other value indexes the
// message table. Some operations hand it on in 8 bits; every code in use is below 256.
using LinkResult = std::uint16_t;

namespace result {
inline constexpr LinkResult Ok = 0;
inline constexpr LinkResult OpenFailed = 1;
inline constexpr LinkResult LastDeviceBusy = 5;
inline constexpr LinkResult SerialListFailed = 6;
inline constexpr LinkResult CountListFailed = 7;
inline constexpr LinkResult NoDevice = 8;
inline constexpr LinkResult LineControlFailed = 11;
inline constexpr LinkResult BaudRateFailed = 12;
inline constexpr LinkResult DataCharacteristicsFailed = 13;
inline constexpr LinkResult FlowControlFailed = 14;
inline constexpr LinkResult ReadFailed = 15;
inline constexpr LinkResult StatusFailed = 16;
inline constexpr LinkResult NoData = 17;
inline constexpr LinkResult WriteFailed = 19;
inline constexpr LinkResult NoModuleDevice = 20;
inline constexpr LinkResult FirstByteTimeout = 21;
inline constexpr LinkResult ReplyTimeout = 28;
inline constexpr LinkResult PortOpenFailed = 30;
inline constexpr LinkResult ChangeBaudFailed = 32;
// Beyond the table: an exchange not started because the program was asked to stop (Ctrl-C).
// It fits in the 8 bits that exchanges hand on.
inline constexpr LinkResult Stopped = 0xFE;
}  // namespace result

// Results of a reading that found a sensor error value.
inline constexpr LinkResult SensorPresenceResult = 250;
inline constexpr LinkResult SensorCrcResult = 251;
inline constexpr LinkResult SensorShortResult = 252;

}  // namespace nuv
