// Intel HEX records into an image: every record checked, with a message that names the line.
#include <gtest/gtest.h>

#include "firmware/FirmwareImage.hpp"
#include "firmware/IntelHex.hpp"

namespace nuv::test {
namespace {

struct Read {
    bool ok;
    IntelHexImage image;
    std::string error;
};
Read Parse(const std::string& text) {
    Read read{};
    read.ok = ReadIntelHex(text, kPageBufferSize, read.image, read.error);
    return read;
}

TEST(IntelHexTest, RecordsPlaceTheirBytesAndGapsStayFF) {
    const Read read = Parse(
        ":03000000010203F7\r\n"
        "\n"
        ":02001000AABB89\r\n"
        ":0400000500000000F7\n"  // a start address: ignored
        ":020000040001F9\n"      // linear base 0x10000
        ":010000005AA5\n"
        ":00000001FF\n\n");
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.image.records, 3U);
    ASSERT_EQ(read.image.bytes.size(), 0x10001U);
    EXPECT_EQ(read.image.bytes[0], 0x01);
    EXPECT_EQ(read.image.bytes[2], 0x03);
    EXPECT_EQ(read.image.bytes[3], 0xFF);
    EXPECT_EQ(read.image.bytes[0x10], 0xAA);
    EXPECT_EQ(read.image.bytes[0x11], 0xBB);
    EXPECT_EQ(read.image.bytes[0xFFFF], 0xFF);
    EXPECT_EQ(read.image.bytes[0x10000], 0x5A);

    // A segment base (0x1000 * 16) reaches the same place; the same value twice is no conflict.
    const Read segment = Parse(":020000021000EC\n:010000005AA5\n:010000005AA5\n:00000001FF\n");
    ASSERT_TRUE(segment.ok) << segment.error;
    EXPECT_EQ(segment.image.bytes.size(), 0x10001U);
    EXPECT_EQ(segment.image.bytes[0x10000], 0x5A);
}

TEST(IntelHexTest, FaultyRecordsAreRefusedWithTheirLine) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {":03000000010203F8\n:00000001FF\n", "line 1: checksum F8 is wrong (the record needs F7)"},
        {":03000000010203F7\n:020000040002F8\n:010000005AA5\n:00000001FF\n",
         "line 3: data at 0x20000..0x20000 lies beyond the page buffer of 131072 bytes"},
        {":020000040001F9\n:02FFFF00AABB9B\n:00000001FF\n",
         "line 2: data at 0x1FFFF..0x20000 lies beyond the page buffer of 131072 bytes"},
        {":03000000010203F7\n:0100010009F5\n:00000001FF\n",
         "line 2: data at 0x0001 overwrites an earlier record with another value"},
        {"\n03000000010203F7\n", "line 2: a record must begin with ':'"},
        {":0300000001020GF7\n", "line 1: '0G' is not hex"},
        {":04000000010203F6\n", "line 1: the record announces 4 data bytes but holds 3"},
        {":030000000102\n", "line 1: the record announces 3 data bytes but holds 1"},
        {":03000\n", "line 1: not a whole record (an even count of at least 10 hex digits)"},
        {":00000006FA\n", "line 1: unknown record type 06"},
        {":00000001FF\n:03000000010203F7\n", "line 2: text after the end-of-file record"},
        {":03000000010203F7\n", "no end-of-file record (:00000001FF): the file is cut short"},
        {":00000001FF\n", "no data records"},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text);
        const Read read = Parse(text);
        EXPECT_FALSE(read.ok);
        EXPECT_EQ(read.error, message);
    }
}

TEST(IntelHexTest, TextIsTellingAHexFileFromARawImage) {
    EXPECT_TRUE(LooksLikeIntelHex("\r\n  :00000001FF\r\n"));
    EXPECT_FALSE(LooksLikeIntelHex(""));
    EXPECT_FALSE(LooksLikeIntelHex(std::string("\x0C\x94\x34\x00", 4)));  // a jump at address 0
    // A file that begins with ':' is a HEX text, spoilt or not: the reader says what is wrong.
    EXPECT_TRUE(LooksLikeIntelHex(std::string(":0\x00\x01", 4)));
}

}  // namespace
}  // namespace nuv::test
