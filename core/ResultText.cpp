#include "core/ResultText.hpp"

namespace nuv {
namespace {

constexpr const char* kReplug = "the cable may have been unplugged: plug it in again and retry";

}  // namespace

std::string ResultSentence(LinkResult code) {
    const std::string replug = kReplug;
    switch (code) {
        case result::Ok:
            return "done";
        case result::OpenFailed:
            // From an exchange (discovery reports a failed open as 30): an answer whose check
            // failed.
            return "the module's answer failed its check: noise or a damaged line; check the "
                   "RS485 wiring and its termination";
        case result::LastDeviceBusy:
            return "the module's device is held by another program: close it (the window, "
                   "another nuvctl, a terminal program) and retry";
        case result::SerialListFailed:
            return "the serial number of an attached FTDI device could not be read: unplug the "
                   "cable, plug it in again and retry";
        case result::CountListFailed:
            return "the attached FTDI devices could not be counted: unplug the cable, plug it in "
                   "again and retry";
        case result::NoDevice:
            return "no FTDI device is attached: plug in the module's USB cable, or name the "
                   "module's serial port";
        case result::LineControlFailed:
            return "a control line of the cable (DTR or RTS) could not be set: " + replug;
        case result::BaudRateFailed:
            return "the port's baud rate could not be set: " + replug;
        case result::DataCharacteristicsFailed:
            return "the port's framing (8 data bits, no parity, 1 stop bit) could not be set: " +
                   replug;
        case result::FlowControlFailed:
            return "the port's flow control could not be switched off: " + replug;
        case result::ReadFailed:
            return "reading from the port failed: " + replug;
        case result::StatusFailed:
            return "the port's receive queue could not be read: " + replug;
        case result::NoData:
            return "no data came from the module (time-out): check the cable, the module's power "
                   "and its address";
        case result::WriteFailed:
            return "the request could not be written to the port: " + replug;
        case result::NoModuleDevice:
            return "FTDI devices are attached, but none is described \"ORNEVA NUV\" or \"ORNEVA "
                   "Terminal\": plug in the module's cable, or name the module's serial port";
        case result::FirstByteTimeout:
            return "no answer from the module (time-out): check the cable and the module's power";
        case result::ReplyTimeout:
            return "the module's answer stopped short (time-out): noise or a loose contact on "
                   "the line; retry, and check the wiring if it happens again";
        case result::PortOpenFailed:
            return "the module's device could not be opened or set up: unplug the cable, plug it "
                   "in again and retry";
        case result::ChangeBaudFailed:
            return "the port's baud rate could not be set before the exchange: " + replug;
        case result::Stopped:
            return "interrupted";
        case SensorPresenceResult:
            return "a sensor did not answer: no probe on the channel, or a broken 1-Wire line";
        case SensorCrcResult:
            return "a sensor's answer failed its 1-Wire CRC: a poor contact or interference on "
                   "the probe";
        case SensorShortResult:
            return "a 1-Wire line is shorted: check the probe and its connector";
        // Firmware update codes go here when the update hands codes on.
        default:
            return "result " + std::to_string(code);
    }
}

}  // namespace nuv
