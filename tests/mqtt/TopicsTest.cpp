#include "mqtt/Topics.hpp"

#include <gtest/gtest.h>
#include <mosquitto.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

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
    EXPECT_EQ(TopicLevel("a\xef\xbf\xbf"), "a_");                   // U+FFFF, a noncharacter
    EXPECT_EQ(TopicLevel("\xef\xb7\x90\xef\xb7\xaf"), "__");        // U+FDD0, U+FDEF
    EXPECT_EQ(TopicLevel("\xf0\x9f\xbf\xbe"), "_");                 // U+1FFFE
}

// Whatever bytes a site's name has, the topics made of it are ones that libmosquitto (an
// implementation of its own) takes for publishing.
TEST(TopicLevel, AnyBytesMakeTopicsTheClientLibraryTakes) {
    mosquitto_lib_init();
    std::mt19937 random(23);
    // clang-format off
    const std::vector<std::string> pieces = {
        "a", "+", "#", "/", std::string(1, '\0'), "\x01", "\x7f", "\xc2\x85", "\xc5\x81",
        "\xef\xbf\xbf", "\xef\xb7\x90", "\xed\xa0\x80", "\xf0\x9f", "\xf0\x9f\xbf\xbe",
        "\xf0\x9f\x94\xa5"};
    // clang-format on
    for (int i = 0; i < 20000; ++i) {
        std::string name;
        const auto size = random() % 8;
        for (unsigned n = 0; n < size; ++n) {
            // Random bytes, and characters (or pieces of them) that are hard to put in a topic.
            if (random() % 2 == 0) {
                name += static_cast<char>(random() % 256);
            } else {
                name += pieces[random() % pieces.size()];
            }
        }
        const std::string topic = ReadingTopic(TopicPrefix(name), 4);
        ASSERT_EQ(mosquitto_validate_utf8(topic.data(), static_cast<int>(topic.size())),
                  MOSQ_ERR_SUCCESS)
            << ::testing::PrintToString(name);
        ASSERT_EQ(mosquitto_pub_topic_check2(topic.data(), topic.size()), MOSQ_ERR_SUCCESS)
            << ::testing::PrintToString(name);
        ASSERT_EQ(std::count(topic.begin(), topic.end(), '/'), 3);
    }
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
