#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/MessageLog.hpp"
#include "core/MessageTable.hpp"

namespace nuv {
namespace {

std::string Blanks(std::size_t count) {
    return std::string(count, ' ');
}

TEST(MessageTable, PadsMessagesToTheirFieldInCharacters) {
    // "Błąd" holds two letters of two UTF-8 bytes each: the field counts characters.
    const std::string open = MessageTable(1);
    EXPECT_EQ(open, "Błąd otwarcia FTDI" + Blanks(63 - 18));
    EXPECT_EQ(Utf8Length(open), 63U);
    EXPECT_EQ(open.size(), 65U);

    const std::string port = MessageTable(30);
    EXPECT_EQ(port, "Błąd f-cji Otworz_Port_BOX" + Blanks(66 - 26));
    EXPECT_EQ(Utf8Length(port), 66U);

    EXPECT_EQ(MessageTable(17), "Brak danych" + Blanks(52));
    EXPECT_EQ(MessageTable(32), "Błąd f-cji Zmien_Predkosc_COM" + Blanks(63 - 29));
}

TEST(MessageTable, SharedMessagesAndUnknownCodes) {
    const std::string cables = "Check cables, and press ''Find Devices'' button..." + Blanks(13);
    EXPECT_EQ(MessageTable(5), cables);
    EXPECT_EQ(MessageTable(8), cables);
    EXPECT_EQ(MessageTable(20), cables);
    EXPECT_EQ(MessageTable(6), MessageTable(7));
    EXPECT_EQ(MessageTable(6), "Błąd funkcji FT_ListDevices" + Blanks(63 - 27));
    EXPECT_EQ(MessageTable(21), "Time Out" + Blanks(55));
    EXPECT_EQ(MessageTable(28), MessageTable(21));
    for (LinkResult code : {0, 2, 18, 22, 31, 33, 255, 256, 0xFFFF}) {
        EXPECT_EQ(MessageTable(static_cast<LinkResult>(code)), "ERROR") << code;
    }
}

TEST(ReportError, WritesTwoRedLinesWithTheCodeInHex) {
    struct Case {
        LinkResult code;
        std::string first;
    };
    for (const Case& c : std::vector<Case>{{0, "Error: 00.00"},
                                           {8, "Error: 00.08"},
                                           {21, "Error: 00.15"},
                                           {30, "Error: 00.1E"},
                                           {32, "Error: 00.20"},
                                           {0x1234, "Error: 12.34"}}) {
        MessageLog log;
        log.ReportError(c.code);
        EXPECT_EQ(log.Text(), c.first + "\n" + MessageTable(c.code) + "\n");
        ASSERT_EQ(log.Runs().size(), 1U);
        EXPECT_EQ(log.Runs()[0].colour, (Rgb{255, 0, 0}));
    }
    MessageLog log;
    log.ReportError(0);
    EXPECT_EQ(log.Text(), "Error: 00.00\nERROR\n");
}

TEST(ReportError, StartsOnANewLineAfterTextWithoutLineBreak) {
    MessageLog log;
    log.SetText("ORNEVA Device detected...");
    log.ReportError(20);
    EXPECT_EQ(log.Text(), "ORNEVA Device detected...\nError: 00.14\n" + MessageTable(20));
    ASSERT_EQ(log.Runs().size(), 2U);
    EXPECT_EQ(log.Runs()[0].colour, colour::LogDefault);
    EXPECT_EQ(log.Runs()[1].text.substr(0, 1), "\n");
    EXPECT_EQ(log.Runs()[1].colour, colour::ErrorRed);
}

class RecordingListener final : public MessageLogListener {
  public:
    void LogReset() override { events.push_back("reset"); }
    void LogAppended(std::string_view text, Rgb colour) override {
        events.push_back("+" + std::string(text) + "@" + std::to_string(colour.r));
    }
    std::vector<std::string> events;
};

TEST(MessageLog, OperationsKeepColouredRunsAndTellTheView) {
    MessageLog log;
    RecordingListener listener;
    log.SetListener(&listener);

    log.SetColour(Rgb{230, 137, 132});
    log.Insert("01 ");
    log.Insert("03 ");
    log.AppendLine("");
    log.SetColour(Rgb{242, 27, 21});
    log.AppendText("\nRecieveError: 11");

    EXPECT_EQ(log.Text(), "01 03 \n\nRecieveError: 11");
    ASSERT_EQ(log.Runs().size(), 2U);
    EXPECT_EQ(log.Runs()[0].text, "01 03 \n");  // same colour: one run
    EXPECT_EQ(log.Runs()[1].colour, (Rgb{242, 27, 21}));
    EXPECT_EQ(log.Size(), log.Text().size());

    log.SetText("Program Mode ON...");
    EXPECT_EQ(log.Text(), "Program Mode ON...");
    ASSERT_EQ(log.Runs().size(), 1U);
    EXPECT_EQ(log.Runs()[0].colour, colour::LogDefault);
    EXPECT_EQ(log.Colour(), colour::LogDefault);

    log.Clear();
    EXPECT_TRUE(log.Empty());
    EXPECT_EQ(log.Text(), "");
    log.AppendLine("first");
    log.AppendLine("second");
    EXPECT_EQ(log.Text(), "first\nsecond\n");  // no leading line break on an empty log

    const std::vector<std::string> expected{
        "+01 @230", "+03 @230", "+\n@230",   "+\nRecieveError: 11@242",
        "reset",    "reset",    "+first\n@118", "+second\n@118"};
    EXPECT_EQ(listener.events, expected);
}

TEST(MessageLog, LongRunsStayOneRunPerColourChange) {
    MessageLog log;
    for (int i = 0; i < 10000; ++i) {
        log.SetColour(i % 2 == 0 ? colour::LogDefault : colour::ErrorRed);
        log.AppendLine("line");
        log.AppendLine("line");
    }
    EXPECT_EQ(log.Runs().size(), 10000U);
    EXPECT_EQ(log.Size(), 20000U * 5U);
}

}  // namespace
}  // namespace nuv
