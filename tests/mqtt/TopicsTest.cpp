#include "mqtt/Topics.hpp"

#include <gtest/gtest.h>

#include <string>

namespace nuv::mqtt {
namespace {

using namespace std::string_literals;

TEST(TopicLevel, KeepsPlainNamesAndUtf8) {
    EXPECT_EQ(TopicLevel("boiler-room_2"), "boiler-room_2");
    EXPECT_EQ(TopicLevel("Łódź Kaliska"), "Łódź Kaliska");
    EXPECT_EQ(TopicLevel("$site"), "$site");  // only a topic's first character makes $ special
}

TEST(TopicLevel, ReplacesWhatATopicLevelCannotHold) {
    EXPECT_EQ(TopicLevel("a+b#c/d"), "a_b_c_d");
    EXPECT_EQ(TopicLevel("a\0b"s), "a_b");
    EXPECT_EQ(TopicLevel("tab\there\x7f"), "tab_here_");
    EXPECT_EQ(TopicLevel("next\xc2\x85line"), "next_line");  // U+0085, a C1 control
    EXPECT_EQ(TopicLevel(""), "_");
    EXPECT_EQ(TopicLevel("///"), "___");
}

TEST(TopicLevel, ReplacesEveryByteThatIsNotUtf8) {
    EXPECT_EQ(TopicLevel("a\xff\xfe"), "a__");
    EXPECT_EQ(TopicLevel("\xc0\xaf"), "__");                        // an overlong "/"
    EXPECT_EQ(TopicLevel("end\xc5"), "end_");                       // a sequence cut short
    EXPECT_EQ(TopicLevel("\xed\xa0\x80"), "___");                   // a UTF-16 surrogate
    EXPECT_EQ(TopicLevel("\xf4\x90\x80\x80"), "____");              // beyond U+10FFFF
    EXPECT_EQ(TopicLevel("\xf0\x9f\x94\xa5"), "\xf0\x9f\x94\xa5");  // U+1F525 is fine
}

TEST(Topics, OfABridgeAndItsModules) {
    const std::string prefix = TopicPrefix("site/a#1");
    EXPECT_EQ(prefix, "nuv/site_a_1");
    EXPECT_EQ(BridgeTopic(prefix), "nuv/site_a_1/bridge");
    EXPECT_EQ(ReadingTopic(prefix, 4), "nuv/site_a_1/4/reading");
    EXPECT_EQ(StatusTopic(prefix, 247), "nuv/site_a_1/247/status");
}

TEST(Topics, DefaultSiteIsAUsableName) {
    const std::string site = DefaultSite();
    EXPECT_FALSE(site.empty());
    EXPECT_EQ(site.find('\0'), std::string::npos);
}

TEST(PlainId, KeepsOnlyLettersDigitsUnderscoreAndDash) {
    EXPECT_EQ(PlainId("boiler-room_2"), "boiler-room_2");
    EXPECT_EQ(PlainId("Łódź 1"), "____d___1");
    EXPECT_EQ(PlainId(""), "_");
    EXPECT_EQ(DefaultClientId("boiler room", 1234), "nuvctl-boiler_room-1234");
}

}  // namespace
}  // namespace nuv::mqtt
