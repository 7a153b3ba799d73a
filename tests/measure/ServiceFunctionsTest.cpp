// The service strip: checksum self-tests, the test frame, the code-to-character converter.
#include "core/TypedNumber.hpp"
#include "measure/ServiceFunctions.hpp"
#include "tests/app/ToolFixture.hpp"

namespace nuv::test {
namespace {

using ServiceFunctionsTest = ToolTest;

TEST_F(ServiceFunctionsTest, Crc8ReplacesTheLog) {
    Start();
    tool.log.SetText("anything\nbefore");
    Click(panel.btn2);
    EXPECT_EQ(tool.log.Text(), "CRC: 46");
}

TEST_F(ServiceFunctionsTest, Crc16AppendsOnTheSameLine) {
    Start();
    tool.log.SetText("x");
    Click(panel.btn8);
    Click(panel.btn8);
    EXPECT_EQ(tool.log.Text(), "x58C7 CRC16 LH:  C75858C7 CRC16 LH:  C758");
}

TEST_F(ServiceFunctionsTest, Test4BWritesExactlyFiveBytes) {
    sim::SimDevice& module = AddModule();
    Start();
    tool.log.SetText("kept");
    Click(panel.btn9);
    EXPECT_EQ(module.Written(), Hex("02 01 00 01 01"));
    EXPECT_EQ(module.OpenCount(), 1U);  // no new connect
    EXPECT_EQ(tool.log.Text(), "kept");
}

TEST_F(ServiceFunctionsTest, Test4BWithoutDeviceIsSilent) {
    Start();
    tool.log.SetText("kept");
    Click(panel.btn9);
    EXPECT_EQ(tool.log.Text(), "kept");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ServiceFunctionsTest, ZamnienTakesTheLowEightBitsThroughTheCodePage) {
    Start();
    struct Case {
        const char* typed;
        const char* shown;
    };
    for (const Case& c : {Case{"65", "A"}, Case{"321", "A"}, Case{"-191", "A"}, Case{" 97", "a"},
                          Case{"+66", "B"}, Case{"163", "Ł"}, Case{"185", "ą"}, Case{"128", "€"},
                          Case{"129", "\xC2\x81"}, Case{"256", ""}}) {
        panel.Edit8.SetText(c.typed);
        Click(panel.Button21);
        EXPECT_EQ(panel.Edit9.Text(), c.shown) << c.typed;
    }
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ServiceFunctionsTest, ZamnienRejectsWhatIsNotAWholeNumber) {
    Start();
    panel.Edit9.SetText("kept");
    for (const char* typed : {"", "abc", "12a", "6 5", "65 ", "1.5", "0x41", "-", "99999999999"}) {
        panel.Edit8.SetText(typed);
        Click(panel.Button21);
        EXPECT_EQ(panel.Edit9.Text(), "kept") << typed;
    }
    ASSERT_EQ(dialogs.messages.size(), 9U);
    EXPECT_EQ(dialogs.messages[1], "'abc' is not a valid integer value");
}

}  // namespace
}  // namespace nuv::test
