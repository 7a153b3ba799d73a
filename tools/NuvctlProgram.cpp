// nuvctl's program-mode commands: info, config, dump, reset.
#include <string>

#include "app/MessageTable.hpp"
#include "config/Configuration.hpp"
#include "config/LineControl.hpp"
#include "config/MemoryRead.hpp"
#include "config/ProgramMode.hpp"
#include "firmware/FirmwareVersion.hpp"
#include "protocol/ProgramExchange.hpp"
#include "tools/CliProgram.hpp"

namespace nuv::cli::detail {
bool Program::LeftProgramMode(ProgramModeScope& scope) {
    const LinkResult left = scope.Leave();
    if (left == result::Ok) return true;
    env_.err << "nuvctl: could not leave program mode: " << DescribeProgram(tool_, left)
             << " (result " << left << ")\n";
    return false;
}

int Program::Info() {
    const CommandOptions opts("info", options_.rest, {"--json", "--stay"}, {});
    ProgramModeScope scope(tool_, opts.Has("--stay"));
    ModuleIdentity identity;
    const LinkResult code = EnterProgramMode(tool_, identity);
    if (identity.entered) scope.Entered();
    if (code != result::Ok) {
        if (options_.verbose) env_.err << tool_.log.Text() << '\n';
        env_.err << "nuvctl: " << (identity.entered ? DescribeProgram(tool_, code) : Explain(code))
                 << " (result " << code << ")\n";
        return kExitFailure;
    }
    if (options_.verbose) env_.err << tool_.log.Text() << '\n';
    if (!LeftProgramMode(scope)) return kExitFailure;
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
    ProgramModeScope scope(tool_, opts.Has("--stay"));
    ModuleIdentity identity;
    LinkResult code = EnterProgramMode(tool_, identity);
    if (identity.entered) scope.Entered();
    // The identification is not needed to configure: only the entry counts.
    if (!identity.entered) return Finish(code);
    auto fail = [&](LinkResult failed, const char* what) {
        if (options_.verbose) env_.err << tool_.log.Text() << '\n';
        env_.err << "nuvctl: " << what << ": " << DescribeProgram(tool_, failed) << " (result "
                 << failed << ")\n";
        return kExitFailure;
    };
    if (address != 0) {
        tool_.panel.ComboBox1.SetIndex(static_cast<int>(address - 1));
        if ((code = SaveAddress(tool_)) != result::Ok) return fail(code, "saving the address");
        env_.out << "address " << address << " set\n";
    }
    if (interval != 0) {
        tool_.panel.ComboBox3.SetIndex(static_cast<int>(interval - 1));
        if ((code = SaveInterval(tool_)) != result::Ok) return fail(code, "saving the interval");
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
    if (const LinkResult left = scope.Leave(); left != result::Ok) {
        return fail(left, "could not leave program mode");
    }
    return kExitDone;
}

int Program::Dump() {
    if (options_.rest.empty() || options_.rest[0].empty() || options_.rest[0][0] == '-') {
        throw UsageError("dump needs the name of the file to write");
    }
    const std::string file = options_.rest[0];
    const CommandOptions opts("dump", {options_.rest.begin() + 1, options_.rest.end()},
                              {"--stay", "--verify"}, {});
    ProgramModeScope scope(tool_, opts.Has("--stay"));
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
        env_.err << "nuvctl: reading the memory: " << DescribeProgram(tool_, code) << " (result "
                 << code << ")\n";
        return kExitFailure;
    }
    if (const auto failure = SaveMemoryImage(tool_.memoryImage, file)) {
        env_.err << "nuvctl: cannot write " << file << ": " << *failure << '\n';
        return kExitFailure;
    }
    env_.out << tool_.memoryImage.valid << " bytes written to " << file;
    if (verify) {
        env_.out << " (read twice and compared; " << verification.reread.size()
                 << " piece(s) read again)";
    }
    env_.out << '\n';
    if (!LeftProgramMode(scope)) return kExitFailure;
    return kExitDone;
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
        if (code != result::Ok) {
            env_.err << "nuvctl: " << Describe(code) << " (result " << code << ")\n";
            return kExitFailure;
        }
        env_.out << "module reset by the USB cable\n";
        return kExitDone;
    }
    ProgramModeScope scope(tool_, false);
    ModuleIdentity identity;
    const LinkResult entered = EnterProgramMode(tool_, identity);
    if (identity.entered) scope.Entered();
    if (!identity.entered) return Finish(entered);
    const LinkResult code = ResetViaCode(tool_);
    if (options_.verbose) env_.err << tool_.log.Text() << '\n';
    if (code != result::Ok) {
        env_.err << "nuvctl: the reset: " << DescribeProgram(tool_, code) << " (result " << code
                 << ")\n";
        return kExitFailure;
    }
    scope.LeftByItself();
    env_.out << "module reset\n";
    return kExitDone;
}

}  // namespace nuv::cli::detail
