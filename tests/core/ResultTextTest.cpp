// The plain sentences of the result codes: one of its own for every code the tool can meet,
// with a cause and a remedy, in place of the window's internal texts.
#include "core/ResultText.hpp"

#include <gtest/gtest.h>

#include <set>

#include "core/MessageTable.hpp"

namespace nuv::test {
namespace {

// Every code of the message table, the sensor results and the stop.
constexpr LinkResult kCodes[] = {1,  5,  6,  7,  8,  11, 12, 13,  14,  15,  16,
                                 17, 19, 20, 21, 28, 30, 32, 250, 251, 252, 254};

TEST(ResultText, EveryCodeHasASentenceOfItsOwn) {
    std::set<std::string> seen;
    for (const LinkResult code : kCodes) {
        const std::string sentence = ResultSentence(code);
        EXPECT_TRUE(seen.insert(sentence).second) << code << ": " << sentence;
        // Not the window's text, and none of its Polish or its function names.
        EXPECT_NE(sentence, MessageText(code)) << code;
        for (const char* internal :
             {"Błąd", "Brak", "FT_", "Otworz", "Zmien", "Time Out", "Check cables", "result "}) {
            EXPECT_EQ(sentence.find(internal), std::string::npos) << code << ": " << sentence;
        }
    }
}

TEST(ResultText, AFailureSaysItsCauseAndWhatToDo) {
    for (const LinkResult code : kCodes) {
        if (code == result::Stopped) continue;
        const std::string sentence = ResultSentence(code);
        // "cause: remedy"
        const auto colon = sentence.find(": ");
        ASSERT_NE(colon, std::string::npos) << code << ": " << sentence;
        EXPECT_GT(colon, 10U) << sentence;
        EXPECT_GT(sentence.size() - colon, 12U) << sentence;
    }
    EXPECT_EQ(ResultSentence(result::NoData),
              "no data came from the module (time-out): check the cable, the module's power and "
              "its address");
    EXPECT_EQ(ResultSentence(result::ChangeBaudFailed),
              "the port's baud rate could not be set before the exchange: the cable may have been "
              "unplugged: plug it in again and retry");
    // A code the tool does not know is named as a number, without a guess at its cause.
    EXPECT_EQ(ResultSentence(99), "result 99");
}

}  // namespace
}  // namespace nuv::test
