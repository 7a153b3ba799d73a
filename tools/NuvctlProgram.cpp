// nuvctl's program-mode commands: info, config, dump, reset.
#include <string>

#include "config/Configuration.hpp"
#include "config/LineControl.hpp"
#include "config/MemoryRead.hpp"
#include "config/ProgramMode.hpp"
#include "core/AtomicFile.hpp"
#include "core/MessageTable.hpp"
#include "core/ResultText.hpp"
#include "protocol/FailureText.hpp"
#include "protocol/FirmwareVersion.hpp"
#include "protocol/ModbusReply.hpp"
#include "protocol/ModbusRequests.hpp"
#include "protocol/ProgramExchange.hpp"
#include "tools/CliProgram.hpp"
#include "tools/ModbusErrors.hpp"

namespace nuv::cli::detail {
Program::Scope::Scope(Program& program, bool stay)
    : program_(program),
      stay_(stay),
      inner_(program.tool_, false, [this](LinkResult left) { Said(left); }) {}

Program::Scope::~Scope() {
    // A stop takes the module back to normal mode even when it was to stay: an interrupted
    // command leaves the module as it found it.
    if (stay_ && inner_.Inside() && !program_.env_.interrupted()) {
        program_.env_.err << "nuvctl: the module stays in program mode as asked; 'nuvctl normal' "
                             "takes it back to normal mode\n";
        inner_.LeftByItself();
    }
}

bool Program::Scope::Leave() {
    if (stay_ && !program_.env_.interrupted()) return true;
    return inner_.Leave() == result::Ok;
}

void Program::Scope::Said(LinkResult left) {
    std::ostream& err = program_.env_.err;
    if (left == result::Ok) {
        if (program_.env_.interrupted()) err << "nuvctl: the module is back in normal mode\n";
        return;
    }
    err << "nuvctl: could not leave program mode: " << DescribeProgram(program_.tool_, left)
        << " (result " << left << ")\nnuvctl: " << kStillInProgramMode << '\n';
}

bool Program::InProgramMode() {
    if (!inProgramMode_) inProgramMode_ = ModuleAnswersInProgramMode(tool_);
    return *inProgramMode_;
}

std::string Program::Explain(LinkResult code, bool askProgramMode) {
    if (code == result::Stopped) return ResultSentence(code);
    if (code == result::PortOpenFailed && !tool_.link.OpenFailure().empty()) {
        return tool_.link.OpenFailure();
    }
    if (askProgramMode && NoAnswerAtAll(tool_.modbus, code) && !env_.interrupted() &&
        InProgramMode()) {
        return kInProgramMode;
    }
    if (std::string modbus = ExplainModbusFailure(tool_, code); !modbus.empty()) return modbus;
    return Describe(code);
}

int Program::Failed(const std::string& what, const std::string& why, LinkResult code) {
    env_.err << "nuvctl: " << what << (what.empty() ? "" : ": ");
    if (code == result::Stopped) {
        env_.err << ResultSentence(code) << '\n';
    } else {
        env_.err << why << " (result " << code << ")\n";
    }
    return kExitFailure;
}

int Program::Info() {
    const CommandOptions opts("info", options_.rest, {"--json", "--stay"}, {});
    Scope scope(*this, opts.Has("--stay"));
    ModuleIdentity identity;
    const LinkResult code = EnterProgramMode(tool_, identity);
    if (identity.entered) scope.Entered();
    if (options_.verbose) env_.err << tool_.log.Text() << '\n';
    if (code != result::Ok) {
        return identity.entered
                   ? Failed("the firmware identification", DescribeProgram(tool_, code), code)
                   : Failed("", Explain(code), code);
    }
    if (!scope.Leave()) return kExitFailure;
    const auto capacity = CapacityOf(identity.firmwareClass);
    const std::string version = FirmwareVersionText(
        static_cast<std::uint16_t>(identity.firmwareClass << 8U | identity.firmwareBuild));
    const bool current = identity.firmwareBuild >= (CurrentFirmwareVersion & 0xFFU);
    if (opts.Has("--json")) {
        env_.out << "{\"address\":" << int{identity.address}
                 << ",\"interval_s\":" << int{identity.interval} << ",\"firmware\":\"" << version
                 << "\",\"firmware_class\":" << int{identity.firmwareClass}
                 << ",\"firmware_build\":" << int{identity.firmwareBuild} << ",\"standard\":\""
                 << StandardName(identity.firmwareClass)
                 << "\",\"sensors_per_channel\":" << (capacity ? std::to_string(*capacity) : "null")
                 << ",\"up_to_date\":" << (current ? "true" : "false") << "}\n";
    } else {
        env_.out << "address\t" << int{identity.address} << '\n'
                 << "interval\t" << int{identity.interval} << " s\n"
                 << "firmware\t" << version << '\n'
                 << "standard\t" << StandardName(identity.firmwareClass) << '\n'
                 << "sensors per channel\t" << (capacity ? std::to_string(*capacity) : "unknown")
                 << '\n';
        if (!current) {
            env_.out << "update\tthe tool carries firmware "
                     << FirmwareVersionText(CurrentFirmwareVersion) << '\n';
        }
    }
    return kExitDone;
}

int Program::Config() {
    const CommandOptions opts("config", options_.rest, {"--save", "--stay"},
                              {"--address", "--interval"});
    if (!opts.Has("--address") && !opts.Has("--interval") && !opts.Has("--save")) {
        throw UsageError("config needs --address, --interval or --save");
    }
    const long address =
        opts.Has("--address") ? NumberIn("--address", opts.Value("--address"), 1, 247) : 0;
    const long interval =
        opts.Has("--interval") ? NumberIn("--interval", opts.Value("--interval"), 1, 255) : 0;
    Scope scope(*this, opts.Has("--stay"));
    ModuleIdentity identity;
    LinkResult code = EnterProgramMode(tool_, identity);
    if (identity.entered) scope.Entered();
    // The identification is not needed to configure: only the entry counts.
    if (!identity.entered) return Finish(code);
    auto fail = [&](LinkResult failed, const char* what) {
        if (options_.verbose) env_.err << tool_.log.Text() << '\n';
        return Failed(what, DescribeProgram(tool_, failed), failed);
    };
    if (address != 0) {
        if ((code = SaveAddress(tool_, static_cast<std::uint8_t>(address))) != result::Ok) {
            return fail(code, "saving the address");
        }
        env_.out << "address " << address << " set\n";
    }
    if (interval != 0) {
        if ((code = SaveInterval(tool_, static_cast<std::uint8_t>(interval))) != result::Ok) {
            return fail(code, "saving the interval");
        }
        env_.out << "interval " << interval << " s set\n";
    }
    if (opts.Has("--save")) {
        if ((code = SaveAllConfigurations(tool_)) != result::Ok) {
            return fail(code, "saving the configuration");
        }
        scope.LeftByItself();
        env_.out << "configuration saved permanently\n";
    }
    if (options_.verbose) env_.err << tool_.log.Text() << '\n';
    return scope.Leave() ? kExitDone : kExitFailure;
}

int Program::Dump() {
    if (options_.rest.empty() || options_.rest[0].empty() || options_.rest[0][0] == '-') {
        throw UsageError("dump needs the name of the file to write");
    }
    const std::string file = options_.rest[0];
    const CommandOptions opts("dump", {options_.rest.begin() + 1, options_.rest.end()},
                              {"--stay", "--verify"}, {});
    // A path that cannot take the dump (a FIFO that no program reads among them) is said
    // before the module is asked.
    OutputFile output;
    if (const auto failure = output.Prepare(file)) {
        env_.err << "nuvctl: cannot write " << file << ": " << *failure << '\n';
        return kExitFailure;
    }
    Scope scope(*this, opts.Has("--stay"));
    ModuleIdentity identity;
    const LinkResult entered = EnterProgramMode(tool_, identity);
    if (identity.entered) scope.Entered();
    if (!identity.entered) return Finish(entered);
    const bool progress = env_.errIsTerminal;
    const auto onPiece = [&](int percent) {
        if (progress)
            env_.err << "\rreading the module's memory: " << percent << " %" << std::flush;
    };
    // --verify: the memory is read twice, and a piece read again until two reads agree.
    const bool verify = opts.Has("--verify");
    MemoryVerification verification;
    const LinkResult code = verify ? ReadModuleMemoryVerified(tool_, verification, onPiece)
                                   : ReadModuleMemory(tool_, onPiece);
    if (progress) env_.err << '\n';
    if (!verification.Agreed()) {
        if (options_.verbose) env_.err << tool_.log.Text() << '\n';
        env_.err << "nuvctl: reading the memory: no two reads agreed for piece(s) "
                 << PieceList(verification.unsettled) << " in "
                 << MemoryVerification::kMaxReadsOfPiece
                 << " reads each: the line spoils the module's answers; nothing was written\n";
        return kExitFailure;
    }
    if (code != result::Ok) {
        if (options_.verbose) env_.err << tool_.log.Text() << '\n';
        // Only a whole memory is written: the file is left as it was.
        env_.err << "nuvctl: reading the memory: "
                 << (code == result::Stopped ? "interrupted" : "failed") << " after ";
        if (verify) {
            // Read twice: the pieces read so far, of both passes.
            env_.err << (verification.reads > 0 ? verification.reads - 1 : 0) << " of "
                     << 2 * ModuleMemoryImage::kSize / ModuleMemoryImage::kPiece << " piece reads";
        } else {
            env_.err << tool_.config.memoryImage.valid << " of " << ModuleMemoryImage::kSize
                     << " bytes";
        }
        if (code != result::Stopped) {
            env_.err << ": " << DescribeProgram(tool_, code) << " (result " << code << ")";
        }
        env_.err << "; " << file << " was not written\n";
        return kExitFailure;
    }
    // Program mode is left before the file is written: a write that fails or waits (a FIFO
    // whose reader has gone or stalled) must not keep the module there.
    const bool left = scope.Leave();
    const ModuleMemoryImage& image = tool_.config.memoryImage;
    if (const auto failure = output.Write(std::span(image.bytes).first(image.valid))) {
        env_.err << "nuvctl: cannot write " << file << ": " << *failure << '\n';
        return kExitFailure;
    }
    // Not into the dump itself when that went to standard output.
    std::ostream& said = IsStandardOutput(file) ? env_.err : env_.out;
    said << tool_.config.memoryImage.valid << " bytes written to " << file;
    if (verify) {
        said << " (read twice and compared; " << verification.reread.size()
             << " piece(s) read again)";
    }
    said << '\n';
    return left ? kExitDone : kExitFailure;
}

int Program::Reset() {
    const CommandOptions opts("reset", options_.rest, {"--usb"}, {});
    if (opts.Has("--usb")) {
        // The DTR pulse of the cable; it needs no program mode. A missing or busy cable is
        // named as such, not as a failed pulse.
        const LinkResult code = Button20Click(tool_);
        if (options_.verbose) env_.err << tool_.log.Text() << '\n';
        if (code == result::LineControlFailed) {
            env_.err << "nuvctl: the reset by the cable's DTR line failed\n";
            return kExitFailure;
        }
        if (code != result::Ok) return Finish(code);
        env_.out << "module reset by the USB cable\n";
        return kExitDone;
    }
    Scope scope(*this, false);
    ModuleIdentity identity;
    const LinkResult entered = EnterProgramMode(tool_, identity);
    if (identity.entered) scope.Entered();
    if (!identity.entered) return Finish(entered);
    const LinkResult code = ResetViaCode(tool_);
    if (options_.verbose) env_.err << tool_.log.Text() << '\n';
    if (code != result::Ok) return Failed("the reset", DescribeProgram(tool_, code), code);
    scope.LeftByItself();
    env_.out << "module reset\n";
    return kExitDone;
}

int Program::Normal() {
    const CommandOptions none("normal", options_.rest, {}, {});  // takes no options
    const LinkResult code = LeaveProgramMode(tool_);
    if (options_.verbose) env_.err << tool_.log.Text() << '\n';
    if (code == result::Ok) {
        env_.out << "the module is back in normal mode\n";
        return kExitDone;
    }
    const bool silent = (code == result::FirstByteTimeout || code == result::ReplyTimeout) &&
                        tool_.program.LastStatus() == 0;
    if (!silent || env_.interrupted()) {
        return Failed("leaving program mode", DescribeProgram(tool_, code), code);
    }
    // No answer to the leave block: a module in normal mode takes it for noise. One
    // normal-mode request (one register at the address) tells whether it is there.
    // The time limit of every normal-mode request; the answer is its head, two bytes and the CRC.
    constexpr std::uint16_t kLimitMs = 2500;
    // Any answer with a sound head says the module is there, whatever its byte count.
    const ModbusRequest request = ReadRegistersRequest(Address(), 0, 1);
    const LinkResult asked = tool_.modbus.Transaction(request.frame, kLimitMs, request.replyLength);
    if (asked == result::Ok || tool_.modbus.LastCheck().fault == ReplyFault::Exception) {
        env_.out << "the module is in normal mode already (it answers at address "
                 << options_.address << ")\n";
        return kExitDone;
    }
    return Failed("leaving program mode",
                  "no answer from the module, neither to the leave block nor to a normal-mode "
                  "request at address " +
                      std::to_string(options_.address) +
                      ": check the cable, the module's power and --address",
                  code);
}

}  // namespace nuv::cli::detail
