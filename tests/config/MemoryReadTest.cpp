// "Read EEPROM": 64 pieces of the module's memory, the save dialog and the file; the service
// reads.
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "config/MemoryRead.hpp"
#include "core/AtomicFile.hpp"
#include "tests/measure/ModuleFixture.hpp"

namespace nuv::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class MemoryReadTest : public ModuleTest {
  protected:
    MemoryReadTest() {
        folder = fs::path(::testing::TempDir()) /
                 ("nuv-memory-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        Click(panel.Button38);
        tool.saveFolder = "/start/here";
    }
    ~MemoryReadTest() override { fs::remove_all(folder); }
    std::vector<std::uint8_t> Memory() const {
        const auto memory = module.Memory();
        return {memory.begin(), memory.end()};
    }
    fs::path folder;
};

// Two bit errors that cancel out pass a piece's block checks: a single read keeps them.
TEST_F(MemoryReadTest, ASpoiltPieceIsReadAgainUntilTwoReadsAgree) {
    module.faults.cancellingFlips = 1;
    module.faults.flipFirst = 1;
    module.faults.flipLast = 64;
    ASSERT_EQ(ReadModuleMemory(tool), 0);
    const auto& image = tool.config.memoryImage;
    EXPECT_NE(std::vector<std::uint8_t>(image.bytes.begin(), image.bytes.end()), Memory());

    module.faults.cancellingFlips = 1;  // the first read of piece 0 again
    MemoryVerification verification;
    const std::size_t before = module.Blocks().size();
    ASSERT_EQ(ReadModuleMemoryVerified(tool, verification), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(image.bytes.begin(), image.bytes.end()), Memory());
    EXPECT_EQ(image.valid, 4096U);
    EXPECT_EQ(verification.reread, (std::vector<std::size_t>{0}));
    EXPECT_TRUE(verification.Agreed());
    EXPECT_EQ(verification.reads, 129U);
    EXPECT_EQ(module.Blocks().size(), before + 129);
    // Two whole reads, then the piece once more.
    EXPECT_EQ(module.Blocks()[before + 64][4], 0x00);
    EXPECT_EQ(module.Blocks()[before + 127][3], 0x0F);
    EXPECT_EQ(module.Blocks()[before + 128][3], 0x00);
    EXPECT_EQ(module.Blocks()[before + 128][4], 0x00);
    EXPECT_EQ(panel.ProgressBar1.Position(), 100);
    EXPECT_EQ(tool.log.Text(), " Reading  - please wait\n EEPROM Readed OK...");
}

TEST_F(MemoryReadTest, PiecesThatNeverReadAlikeAreNamedAndNothingIsKept) {
    // No sensors: only the first piece holds bytes that differ, the rest is erased (0xFF).
    module.sensorCount.fill(0);
    module.faults.cancellingFlips = -1;
    module.faults.flipFirst = 1;
    module.faults.flipLast = 64;
    MemoryVerification verification;
    EXPECT_EQ(ReadModuleMemoryVerified(tool, verification), result::NoData);
    EXPECT_EQ(verification.unsettled, (std::vector<std::size_t>{0}));
    EXPECT_EQ(verification.reads, 128U + MemoryVerification::kMaxReadsOfPiece - 2);
    EXPECT_EQ(tool.config.memoryImage.valid, 0U);
    EXPECT_EQ(PieceList({0, 17}), "0 (0x0000), 17 (0x0440)");
    const std::string text = tool.log.Text();
    EXPECT_EQ(text.substr(text.find('\n')),
              "\nMemory pieces that read differently every time: 0 (0x0000)");
    module.faults.cancellingFlips = 0;
}

TEST_F(MemoryReadTest, AVerifiedReadStopsAtAFailedExchange) {
    int exchanges = 0;
    pump.onEvents = [&] {
        if (++exchanges == 70) module.faults.silent = 1;
    };
    MemoryVerification verification;
    EXPECT_EQ(ReadModuleMemoryVerified(tool, verification), 21);
    pump.onEvents = nullptr;
    EXPECT_EQ(tool.config.memoryImage.valid, 0U);
    EXPECT_NE(tool.log.Text().find("\nFunction Error(15)"), std::string::npos) << tool.log.Text();
}

TEST_F(MemoryReadTest, AFullReadSends64PiecesAndSavesTheMemoryWhole) {
    module.Configure(9, 30);
    const fs::path file = folder / "module.dat";
    dialogs.savePath = file.string();
    const std::size_t before = module.Blocks().size();
    Click(panel.Button42);
    ASSERT_EQ(module.Blocks().size(), before + 64);
    for (std::size_t j = 0; j < 64; ++j) {
        const auto& block = module.Blocks()[before + j];
        const std::size_t address = j * 64;
        EXPECT_EQ(
            std::vector<std::uint8_t>(block.begin(), block.begin() + 7),
            (std::vector<std::uint8_t>{0x7E, 0x30, 0x09, static_cast<std::uint8_t>(address >> 8U),
                                       static_cast<std::uint8_t>(address & 0xFFU), 0x40, 0xFF}));
    }
    EXPECT_EQ(panel.ProgressBar1.Position(), 100);
    EXPECT_EQ(FileBytes(file), Memory());
    EXPECT_EQ(FileBytes(file)[4], 9);  // the stored address, where the module keeps it
    EXPECT_EQ(tool.log.Text(), "Saving Data To File... OK\n" + file.string());
    // The dialog: the two filters, .dat preselected and added, the folder of the argument.
    ASSERT_EQ(dialogs.saveRequests.size(), 1U);
    const SaveFileRequest& request = dialogs.saveRequests[0];
    ASSERT_EQ(request.filters.size(), 2U);
    EXPECT_EQ(request.filters[0].name, "Binary Data Files (*.dat)");
    EXPECT_EQ(request.filters[1].name, "Text Files  (*.txt)");
    EXPECT_EQ(request.filters[1].pattern, "*.txt");
    EXPECT_EQ(request.defaultExtension, "dat");
    EXPECT_EQ(request.folder, "/start/here");
    EXPECT_TRUE(panel.Button42.Enabled());
}

TEST_F(MemoryReadTest, TheProgressBarMovesAPieceAtATime) {
    std::vector<int> steps;
    EXPECT_EQ(ReadModuleMemory(tool, [&](int percent) { steps.push_back(percent); }), 0);
    ASSERT_EQ(steps.size(), 64U);
    EXPECT_EQ(std::vector<int>(steps.begin(), steps.begin() + 5),
              (std::vector<int>{1, 3, 4, 6, 7}));
    EXPECT_EQ(steps[31], 50);
    EXPECT_EQ(steps[62], 98);
    EXPECT_EQ(steps[63], 100);
    EXPECT_EQ(tool.config.memoryImage.valid, 4096U);
}

TEST_F(MemoryReadTest, ACancelledDialogWritesNothing) {
    dialogs.savePath.reset();
    Click(panel.Button42);
    EXPECT_EQ(tool.log.Text(), " Reading  - please wait\n EEPROM Readed OK...");
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(MemoryReadTest, AFailureAtAMiddlePieceStopsThereWithoutAFile) {
    dialogs.savePath = (folder / "never.dat").string();
    // Each piece is two writes; the eleventh piece's block cannot be written.
    device.InjectFault(sim::Op::Write, ft::IoError, 1, /*skip=*/20);
    const std::size_t before = module.Blocks().size();
    Click(panel.Button42);
    EXPECT_EQ(module.Blocks().size(), before + 10);
    EXPECT_EQ(panel.ProgressBar1.Position(), 17);    // (11 * 100) / 64
    EXPECT_EQ(tool.config.memoryImage.valid, 640U);  // the failed piece is not counted
    EXPECT_EQ(tool.log.Text(), " Reading  - please wait\n TDAError: 19\nFunction Error(13)");
    EXPECT_TRUE(dialogs.saveRequests.empty());
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_TRUE(panel.Button42.Enabled());
}

TEST_F(MemoryReadTest, AFileThatCannotBeWrittenLeavesTheOldOneByteForByte) {
    const fs::path file = folder / "module.txt";
    std::ofstream(file, std::ios::binary) << "the earlier dump";
    dialogs.savePath = file.string();
    // A file-size limit below the memory's size makes the write fail as a full disk would.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    Click(panel.Button42);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    const std::vector<std::uint8_t> earlier{'t', 'h', 'e', ' ', 'e', 'a', 'r', 'l',
                                            'i', 'e', 'r', ' ', 'd', 'u', 'm', 'p'};
    EXPECT_EQ(FileBytes(file), earlier);
    EXPECT_EQ(tool.log.Text(), "Saving Data To File... FAILED\nCannot write " + file.string() +
                                   ": File too large - nothing on the disk was changed.");
    EXPECT_EQ(tool.log.Runs().back().colour, (Rgb{242, 27, 21}));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(MemoryReadTest, ServiceReadsPrintTheirBlock) {
    Click(panel.btn10);
    std::string text = tool.log.Text();
    EXPECT_EQ(text.size(), 127U * 3);
    EXPECT_EQ(text.substr(0, 15), "4E 55 56 01 02 ");  // "NUV", layout 1, address 2
    panel.ComboBox1.SetIndex(4);
    Click(panel.btn14);
    EXPECT_EQ(module.Blocks().back()[3], 5);
    EXPECT_EQ(tool.log.Text().size(), 127U * 3);
    module.faults.refuse = 1;
    tool.log.SetText("");
    Click(panel.btn14);
    EXPECT_EQ(tool.log.Text(), "\nError A0.00(15)");
}

TEST(AtomicFileTest, AFolderOrAMissingFolderIsAClearFailure) {
    const std::vector<std::uint8_t> bytes{1, 2, 3};
    EXPECT_EQ(WriteFileAtomically("/nonexistent-folder/x.dat", bytes), "No such file or directory");
    EXPECT_EQ(WriteFileAtomically(::testing::TempDir(), bytes), "it is a folder");
    EXPECT_EQ(WriteFileAtomically("", bytes), "no file name was given");
}

}  // namespace
}  // namespace nuv::test
