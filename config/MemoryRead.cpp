#include "config/MemoryRead.hpp"

#include <algorithm>
#include <filesystem>

#include "config/ProgramCommand.hpp"
#include "core/AtomicFile.hpp"
#include "core/MessageTable.hpp"
#include "model/ControlGroups.hpp"
#include "model/Tool.hpp"
#include "protocol/ProgramCommands.hpp"

namespace nuv {
namespace {

constexpr std::uint16_t kLimitMs = 600;
constexpr std::size_t kPieces = ModuleMemoryImage::kSize / ModuleMemoryImage::kPiece;
constexpr Rgb kRed = colour::LinkError;

ProgramBlock PieceRequest(std::size_t piece) {
    ProgramBlock block = MakeProgramBlock(kReadMemory);
    const std::size_t address = piece * ModuleMemoryImage::kPiece;
    block[kFirstParameter] = static_cast<std::uint8_t>(address >> 8U);
    block[kFirstParameter + 1] = static_cast<std::uint8_t>(address & 0xFFU);
    block[kFirstParameter + 2] = static_cast<std::uint8_t>(ModuleMemoryImage::kPiece);
    std::fill(block.begin() + kFirstParameter + 3, block.begin() + kTrailerFirst, 0xFF);
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
    for (std::size_t i = kReplyData; i < kProgramWireSize; ++i) text += HexByte(reply[i]) + " ";
    AppendToLog(tool, text);
}

}  // namespace

namespace {

using Piece = std::array<std::uint8_t, ModuleMemoryImage::kPiece>;

// The start of every memory read: the link, the controls off, the baud rate, the status text.
LinkResult BeginMemoryRead(Tool& tool) {
    MainPanel& p = tool.panel;
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
    tool.config.memoryImage.valid = 0;
    return result::Ok;
}

// One piece of the memory into `into`; the exchange's code (`into` keeps its bytes on failure).
std::uint8_t ReadPiece(Tool& tool, std::size_t piece, Piece& into) {
    const std::uint8_t code = tool.program.Exchange(PieceRequest(piece), kLimitMs, 128);
    tool.pump.ProcessEvents();
    if (code == 0)
        std::copy_n(tool.link.RxBuffer().begin() + kReplyData, into.size(), into.begin());
    return code;
}

void StorePiece(ModuleMemoryImage& image, std::size_t piece, const Piece& bytes) {
    std::copy(bytes.begin(), bytes.end(),
              image.bytes.begin() + static_cast<std::ptrdiff_t>(piece * ModuleMemoryImage::kPiece));
}

}  // namespace

LinkResult ReadModuleMemory(Tool& tool, const std::function<void(int)>& onPiece) {
    MainPanel& p = tool.panel;
    ModuleMemoryImage& image = tool.config.memoryImage;
    if (const LinkResult begun = BeginMemoryRead(tool); begun != result::Ok) return begun;
    std::uint8_t failed = 0;
    for (std::size_t piece = 0; piece < kPieces && failed == 0; ++piece) {
        Piece bytes{};
        failed = ReadPiece(tool, piece, bytes);
        // A failed piece is neither kept nor counted; the bar moves all the same.
        if (failed == 0) {
            StorePiece(image, piece, bytes);
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

LinkResult ReadModuleMemoryVerified(Tool& tool, MemoryVerification& verification,
                                    const std::function<void(int)>& onPiece) {
    verification = MemoryVerification{};
    ModuleMemoryImage& image = tool.config.memoryImage;
    if (const LinkResult begun = BeginMemoryRead(tool); begun != result::Ok) return begun;
    // The bar counts the two whole reads; pieces read again keep it at 100.
    const auto read = [&](std::size_t piece, Piece& into) {
        const std::uint8_t code = ReadPiece(tool, piece, into);
        ++verification.reads;
        const int percent =
            static_cast<int>(std::min<std::size_t>(verification.reads * 100 / (2 * kPieces), 100));
        tool.panel.ProgressBar1.SetPosition(percent);
        if (onPiece) onPiece(percent);
        if (code != 0) {
            verification.failedPiece = piece;
            AppendToLog(tool, "\nFunction Error(" + HexCode(code) + ")");
        }
        return code;
    };
    std::vector<Piece> first(kPieces);
    std::vector<Piece> second(kPieces);
    for (std::vector<Piece>* pass : {&first, &second}) {
        for (std::size_t piece = 0; piece < kPieces; ++piece) {
            if (const std::uint8_t code = read(piece, (*pass)[piece]); code != 0) return code;
        }
    }
    for (std::size_t piece = 0; piece < kPieces; ++piece) {
        if (first[piece] == second[piece]) {
            StorePiece(image, piece, first[piece]);
            continue;
        }
        verification.reread.push_back(piece);
        std::vector<Piece> reads{first[piece], second[piece]};
        bool agreed = false;
        while (!agreed && reads.size() < MemoryVerification::kMaxReadsOfPiece) {
            Piece again{};
            if (const std::uint8_t code = read(piece, again); code != 0) return code;
            agreed = std::find(reads.begin(), reads.end(), again) != reads.end();
            if (agreed) StorePiece(image, piece, again);
            reads.push_back(again);
        }
        if (!agreed) verification.unsettled.push_back(piece);
    }
    if (!verification.Agreed()) {
        tool.log.SetColour(kRed);
        tool.log.AppendLine("Memory pieces that read differently every time: " +
                            PieceList(verification.unsettled));
        return result::NoData;
    }
    image.valid = ModuleMemoryImage::kSize;
    AppendToLog(tool, "\n EEPROM Readed OK...");
    return result::Ok;
}

std::string PieceList(const std::vector<std::size_t>& pieces) {
    std::string text;
    for (std::size_t piece : pieces) {
        const std::size_t address = piece * ModuleMemoryImage::kPiece;
        text += (text.empty() ? "" : ", ") + std::to_string(piece) + " (0x" +
                HexByte(static_cast<unsigned>(address >> 8U)) +
                HexByte(static_cast<unsigned>(address & 0xFFU)) + ")";
    }
    return text;
}

void Button42Click(Tool& tool) {
    // One pass, as the window reads it (about 19 s at 9600 baud); a read twice over, which
    // catches bit errors that pass the block checks, is nuvctl dump --verify's and the service
    // report's, at twice the time.
    if (ReadModuleMemory(tool) == result::Ok) SaveToFile(tool, tool.config.memoryImage);
    ShowProgramModeControls(tool.panel);
}

std::optional<std::string> SaveMemoryImage(const ModuleMemoryImage& image,
                                           const std::string& path) {
    return WriteFileAtomically(path, std::span(image.bytes).first(image.valid));
}

void btn10Click(Tool& tool) {
    ProgramBlock block = MakeProgramBlock(kReadConfigurationArea);
    ServiceRead(tool, block, "\nError 70.00(");
}

void btn14Click(Tool& tool) {
    ProgramBlock block = MakeProgramBlock(kEndSegregation);
    block[kFirstParameter] = static_cast<std::uint8_t>(tool.panel.ComboBox1.Index() + 1);
    ServiceRead(tool, block, "\nError A0.00(");
}

}  // namespace nuv
