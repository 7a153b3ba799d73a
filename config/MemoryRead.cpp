#include "config/MemoryRead.hpp"

#include <filesystem>

#include "app/AtomicFile.hpp"
#include "app/ControlGroups.hpp"
#include "app/MessageTable.hpp"
#include "app/Tool.hpp"
#include "config/ProgramCommand.hpp"

namespace nuv {
namespace {

constexpr std::uint16_t kLimitMs = 600;
constexpr std::size_t kPieces = ModuleMemoryImage::kSize / ModuleMemoryImage::kPiece;
constexpr Rgb kRed = colour::LinkError;

ProgramBlock PieceRequest(std::size_t piece) {
    ProgramBlock block = MakeProgramBlock(0x30, 0x09);
    const std::size_t address = piece * ModuleMemoryImage::kPiece;
    block[3] = static_cast<std::uint8_t>(address >> 8U);
    block[4] = static_cast<std::uint8_t>(address & 0xFFU);
    block[5] = static_cast<std::uint8_t>(ModuleMemoryImage::kPiece);
    std::fill(block.begin() + 6, block.begin() + kTrailerFirst, 0xFF);
    return block;
}

// The save dialog, then the file, whole or not at all.
void SaveToFile(Tool& tool, const ModuleMemoryImage& image) {
    SaveFileRequest request;
    request.filters = {{"Binary Data Files (*.dat)", "*.dat"}, {"Text Files  (*.txt)", "*.txt"}};
    request.defaultExtension = "dat";
    request.folder = tool.saveFolder;
    const std::optional<std::string> chosen = tool.dialogs.ChooseSaveFile(request);
    if (!chosen) return;
    std::error_code error;
    std::string path = std::filesystem::absolute(*chosen, error).string();
    if (error) path = *chosen;
    tool.log.SetText("Saving Data To File...");
    if (const auto failure = SaveMemoryImage(image, path)) {
        // The window has no words of its own for this: say what failed and that nothing on the
        // disk changed.
        tool.log.SetColour(kRed);
        tool.log.AppendText(" FAILED\nCannot write " + path + ": " + *failure +
                            " - nothing on the disk was changed.");
        return;
    }
    AppendToLog(tool, " OK\n" + path);
}

// A service read: one block, its bytes 1..127 printed.
void ServiceRead(Tool& tool, const ProgramBlock& block, const char* label) {
    if (PrepareProgramLink(tool) != result::Ok) return;
    if (LabelledExchange(tool, block, kLimitMs, 128, label) != 0) return;
    tool.log.SetText("");
    std::string text;
    const auto reply = tool.link.RxBuffer();
    for (std::size_t i = 1; i < 128; ++i) text += HexByte(reply[i]) + " ";
    AppendToLog(tool, text);
}

}  // namespace

LinkResult ReadModuleMemory(Tool& tool, const std::function<void(int)>& onPiece) {
    MainPanel& p = tool.panel;
    ModuleMemoryImage& image = tool.memoryImage;
    p.ProgressBar1.SetPosition(0);
    if (const LinkResult connected = tool.link.ConnectModule(); connected != result::Ok) {
        return connected;
    }
    DisableAllControls(p);
    if (const LinkResult code = tool.link.SetLinkBaud(tool.link.LinkBaud()); code != result::Ok) {
        AppendToLog(tool, "\nBaudRate Error(" + HexCode(code) + ")");
        return code;
    }
    tool.log.SetText(" Reading  - please wait");
    image.valid = 0;
    std::uint8_t failed = 0;
    for (std::size_t piece = 0; piece < kPieces && failed == 0; ++piece) {
        failed = tool.program.Exchange(PieceRequest(piece), kLimitMs, 128);
        tool.pump.ProcessEvents();
        // A failed piece is neither kept nor counted; the bar moves all the same.
        if (failed == 0) {
            const auto reply = tool.link.RxBuffer();
            std::copy_n(reply.begin() + 1, ModuleMemoryImage::kPiece,
                        image.bytes.begin() +
                            static_cast<std::ptrdiff_t>(piece * ModuleMemoryImage::kPiece));
            image.valid = (piece + 1) * ModuleMemoryImage::kPiece;
        }
        const int percent = static_cast<int>((piece + 1) * 100 / kPieces);
        p.ProgressBar1.SetPosition(percent);
        if (onPiece) onPiece(percent);
    }
    if (failed != 0) {
        AppendToLog(tool, "\nFunction Error(" + HexCode(failed) + ")");
        return failed;
    }
    AppendToLog(tool, "\n EEPROM Readed OK...");
    return result::Ok;
}

void Button42Click(Tool& tool) {
    if (ReadModuleMemory(tool) == result::Ok) SaveToFile(tool, tool.memoryImage);
    ShowProgramModeControls(tool.panel);
}

std::optional<std::string> SaveMemoryImage(const ModuleMemoryImage& image,
                                           const std::string& path) {
    return WriteFileAtomically(path, std::span(image.bytes).first(image.valid));
}

void btn10Click(Tool& tool) {
    ProgramBlock block = MakeProgramBlock(0x30, 0x01);
    ServiceRead(tool, block, "\nError 70.00(");
}

void btn14Click(Tool& tool) {
    ProgramBlock block = MakeProgramBlock(0xA0, 0x00);
    block[3] = static_cast<std::uint8_t>(tool.panel.ComboBox1.Index() + 1);
    ServiceRead(tool, block, "\nError A0.00(");
}

}  // namespace nuv
