#include <gtest/gtest.h>

#include "link/HardwareVersion.hpp"

namespace nuv {
namespace {

TEST(HardwareVersion, RuleOfTheRs485Buttons) {
    EXPECT_FALSE(HasRs485PassThrough("NUV12001"));
    EXPECT_TRUE(HasRs485PassThrough("NUV13001"));
    EXPECT_TRUE(HasRs485PassThrough("NUV99"));
    EXPECT_TRUE(HasRs485PassThrough("KWD10"));
    EXPECT_FALSE(HasRs485PassThrough("KWD09ABC"));
    EXPECT_FALSE(HasRs485PassThrough("ABC99001"));
    EXPECT_FALSE(HasRs485PassThrough("nuv13001"));  // the model code is compared exactly
}

TEST(HardwareVersion, TextsWithoutAVersionDisableTheButtons) {
    for (const char* text : {"", "?", "NUV1", "NUV 3001", "NUVx3001", "NUV1x", "NUV-1"}) {
        EXPECT_FALSE(ParseHardwareVersion(text).has_value()) << text;
        EXPECT_FALSE(HasRs485PassThrough(text)) << text;
    }
    const auto parsed = ParseHardwareVersion("KWD07XYZ");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->model, "KWD");
    EXPECT_EQ(parsed->version, 7);
}

}  // namespace
}  // namespace nuv
