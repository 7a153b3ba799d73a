// The "Firmware Update" page: the update from a chosen file on the simulated module, with the
// window disabled while it runs.
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "GuiFixture.hpp"
#include "app/gui/LogView.hpp"

namespace nuv::gui::test {
namespace {

TEST_F(WindowTest, UpdateFromFileSitsBesideUpdateFirmwareAndWritesTheChosenImage) {
    Open();
    auto* button = Widget<QPushButton>("btnUpdateFromFile");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QString::fromUtf8("Update from file…"));
    EXPECT_EQ(button->parentWidget(), Widget("grp8"));
    EXPECT_EQ(button->y(), Widget("btn1")->y());

    const std::string path = ::testing::TempDir() + "nuv-gui-image.bin";
    // A binary image that names its build, as the simulated module reads it.
    std::string image(1000, '\x01');
    image.replace(10, 21, std::string("NUV-FIRMWARE-BUILD:") + '\x00' + '\x48');
    std::ofstream(path, std::ios::binary) << image;
    dialogs.fileToOpen = path;
    // The first pass of the update's waits finds the whole window disabled.
    std::optional<bool> enabledDuring;
    QTimer::singleShot(0, window.get(), [&] { enabledDuring = window->Scroller()->isEnabled(); });
    Click("btnUpdateFromFile", kPageFirmwareUpdate);
    std::filesystem::remove(path);

    ASSERT_TRUE(enabledDuring.has_value());
    EXPECT_FALSE(*enabledDuring);
    EXPECT_TRUE(window->Scroller()->isEnabled());
    // The update's own texts, then the build the module named in program mode afterwards.
    const std::string log = tool->log.Text();
    const std::string tail = " OK\n\nThe module runs firmware 00.48.\n";
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail) << log;
    EXPECT_NE(log.find(path + " (raw binary), 1000 B, 4 pages"), std::string::npos);
    EXPECT_EQ(Widget<QProgressBar>("ProgressBar1")->value(), 100);
}

TEST_F(WindowTest, AnUnusableFileIsReportedInTheLog) {
    Open();
    dialogs.fileToOpen = ::testing::TempDir();
    Click("btnUpdateFromFile", kPageFirmwareUpdate);
    EXPECT_EQ(tool->log.Text(), "Firmware file " + ::testing::TempDir() +
                                    " is a folder, not a file\nNothing has been sent to the "
                                    "module.\n");
    EXPECT_TRUE(window->Log()->toPlainText().startsWith("Firmware file "));
}

}  // namespace
}  // namespace nuv::gui::test
