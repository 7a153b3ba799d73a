// Reading reports back: JSON as RFC 8259 has it, today's reports as version 1, a clear reason
// for everything else, and no crash on any bytes.
#include "report/ReportJsonReader.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "report/JsonValue.hpp"

namespace nuv::test {
namespace {

std::string Error(std::string_view text) {
    std::string error;
    EXPECT_FALSE(ParseJson(text, error).has_value()) << text;
    return error;
}

TEST(JsonValueTest, ReadsEveryKindOfValue) {
    std::string error;
    const auto value = ParseJson(
        "\xEF\xBB\xBF { \"a\" : [1, -2.5e3, 0.0625, true, false, null, "
        "\"x\\u00e9\\ud83d\\ude00\\n\\\"\\\\/\", \"zażółć\"], \"b\": {} }\r\n",
        error);
    ASSERT_TRUE(value) << error;
    ASSERT_EQ(value->type, JsonValue::Type::Object);
    const JsonValue* a = value->Find("a");
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->items.size(), 8U);
    EXPECT_EQ(a->items[0].Integer(0, 10), 1);
    EXPECT_EQ(a->items[1].number, -2500.0);
    EXPECT_EQ(a->items[2].number, 0.0625);
    EXPECT_FALSE(a->items[2].Integer(0, 10));  // not whole
    EXPECT_TRUE(a->items[3].boolean);
    EXPECT_EQ(a->items[4].type, JsonValue::Type::Bool);
    EXPECT_TRUE(a->items[5].IsNull());
    EXPECT_EQ(a->items[6].text, "x\xC3\xA9\xF0\x9F\x98\x80\n\"\\/");
    EXPECT_EQ(a->items[7].text, "zażółć");
    EXPECT_EQ(value->Find("b")->type, JsonValue::Type::Object);
    EXPECT_EQ(value->Find("c"), nullptr);
    EXPECT_EQ(a->Find("x"), nullptr);  // no object
}

TEST(JsonValueTest, RefusesWhatIsNotJsonAndSaysWhereAndWhy) {
    EXPECT_EQ(Error(""), "the text ends where a value should be at byte 0");
    EXPECT_EQ(Error("{\"a\":1,}"), "a member name was expected at byte 7");
    EXPECT_EQ(Error("[1,]"), "an unexpected character at byte 3");
    EXPECT_EQ(Error("[1 2]"), "',' or ']' was expected at byte 3");
    EXPECT_EQ(Error("{\"a\":1,\"a\":2}"), "the name \"a\" appears twice in an object at byte 13");
    EXPECT_EQ(Error("01"), "text after the value at byte 1");
    EXPECT_EQ(Error("1."), "a digit was expected after the point at byte 2");
    EXPECT_EQ(Error("1e"), "a digit was expected in the exponent at byte 2");
    EXPECT_EQ(Error("-"), "an unexpected character at byte 1");
    EXPECT_EQ(Error("1e999"), "a number out of range at byte 0");
    EXPECT_EQ(Error("nul"), "an unknown word at byte 0");
    EXPECT_EQ(Error("[true] x"), "text after the value at byte 7");
    EXPECT_EQ(Error("\"abc"), "a string without its closing quote at byte 4");
    EXPECT_EQ(Error("\"a\x01\""), "a control character in a string at byte 2");
    EXPECT_EQ(Error("\"\\x\""), "an unknown escape at byte 2");
    EXPECT_EQ(Error("\"\\u12\""), "four hexadecimal digits were expected after \\u at byte 5");
    EXPECT_EQ(Error("\"\\ud800\""), "a high surrogate without its pair at byte 7");
    EXPECT_EQ(Error("\"\\ud800\\u0041\""), "a high surrogate without its pair at byte 13");
    EXPECT_EQ(Error("\"\\udc00\""), "a lone low surrogate at byte 7");
    // UTF-8 as RFC 3629 has it: no overlong forms, no surrogates, nothing beyond U+10FFFF, no
    // sequence cut short.
    EXPECT_EQ(Error("\"\xC0\xAF\""), "a byte that is not UTF-8 at byte 1");
    EXPECT_EQ(Error("\"\xE0\x80\xAF\""), "a byte that is not UTF-8 at byte 1");
    EXPECT_EQ(Error("\"\xED\xA0\x80\""), "a byte that is not UTF-8 at byte 1");
    EXPECT_EQ(Error("\"\xF4\x90\x80\x80\""), "a byte that is not UTF-8 at byte 1");
    EXPECT_EQ(Error("\"\xE2\x82\""), "a byte that is not UTF-8 at byte 1");
    EXPECT_EQ(Error("\"\xFF\""), "a byte that is not UTF-8 at byte 1");
    EXPECT_EQ(Error(std::string_view("\"\0\"", 3)), "a control character in a string at byte 1");
}

TEST(JsonValueTest, NestingBeyondTheLimitIsRefusedRatherThanFollowed) {
    std::string error;
    const std::string deepest = std::string(kJsonMaxDepth, '[') + std::string(kJsonMaxDepth, ']');
    EXPECT_TRUE(ParseJson(deepest, error)) << error;
    EXPECT_EQ(Error("[" + deepest + "]"), "nested too deep at byte 64");
    // A million brackets neither overflow the stack nor take long.
    EXPECT_EQ(Error(std::string(1'000'000, '[')), "nested too deep at byte 64");
    EXPECT_EQ(Error(std::string(500'000, '{')), "a member name was expected at byte 1");
}

// A report as the first version of the program wrote it: the format as a text, error values as
// null without their raw words.
constexpr const char* kFirstReport =
    R"({"format":"nuv-service-report/1","failed_steps":1,)"
    R"("report":{"ok":true,"error":null,"date":"2025-06-01T10:00:00+02:00","tool_version":"5.5",)"
    R"("build":"0.1.0","carried_firmware":"00.48"},)"
    R"("device":{"ok":true,"error":null,"description":"ORNEVA NUV","serial":"NUV13001",)"
    R"("model":"NUV","hardware_version":13},)"
    R"("firmware":{"ok":true,"error":null,"address":9,"interval_s":30,"firmware":"00.47",)"
    R"("firmware_class":0,"firmware_build":71,"standard":"ORNEVA","sensors_per_channel":10,)"
    R"("up_to_date":false},)"
    R"("sensors":{"ok":false,"error":"the search failed on channel(s) 2",)"
    R"("channel_0":{"ok":true,"serials":["28191CA3ED7E9F42","28238398DDB1968A"]},)"
    R"("channel_1":{"ok":true,"serials":[]},)"
    R"("channel_2":{"ok":false,"error":"result 21, no answer"}},)"
    R"("memory":{"ok":true,"error":null,"bytes":4096,"sha256":"ab","dump_file":null},)"
    R"("normal_mode":{"ok":true,"error":null,"program_mode_entered":true},)"
    R"("reading":{"ok":true,"error":null,"address":9,"result":251,"sensors_per_channel":10,)"
    R"("module_temperature":31.25,"channels":[[24.5,null],[]]},)"
    R"("supply":{"ok":true,"error":null,"system_v":5,"main_v":12.6,"currents_a":[0.25,0.26]},)"
    R"("outputs":{"ok":true,"error":null,"mask":5},)"
    R"("reset_counters":{"ok":true,"error":null,"total":7,"jtag":0,"watchdog":1,)"
    R"("brown_out":0,"external":2,"power_up":4}})";

TEST(ReportJsonReaderTest, TodaysReportsReadAsVersionOneWithEveryValue) {
    std::string error;
    const auto report = ReadReportJson(kFirstReport, error);
    ASSERT_TRUE(report) << error;
    EXPECT_EQ(report->format, 1);
    EXPECT_EQ(report->failedSteps, 1);
    ASSERT_EQ(report->steps.size(), 10U);
    EXPECT_EQ(report->steps[3].key, "sensors");
    EXPECT_FALSE(report->StepOk("sensors"));
    EXPECT_EQ(report->FindStep("sensors")->error, "the search failed on channel(s) 2");
    EXPECT_TRUE(report->StepOk("supply"));
    EXPECT_FALSE(report->StepOk("nothing"));
    EXPECT_EQ(report->date, "2025-06-01T10:00:00+02:00");
    EXPECT_EQ(report->ftdiSerial, "NUV13001");
    EXPECT_EQ(report->hardwareVersion, 13);
    EXPECT_EQ(report->address, 9);
    EXPECT_EQ(report->interval, 30);
    EXPECT_EQ(report->firmware, "00.47");
    EXPECT_EQ(report->firmwareBuild, 71);
    EXPECT_EQ(report->upToDate, false);
    EXPECT_EQ(report->channels[0].serials,
              (std::vector<std::string>{"28191CA3ED7E9F42", "28238398DDB1968A"}));
    EXPECT_TRUE(report->channels[1].searched);
    EXPECT_TRUE(report->channels[1].serials.empty());
    EXPECT_FALSE(report->channels[2].searched);
    EXPECT_EQ(report->channels[2].error, "result 21, no answer");
    EXPECT_FALSE(report->channels[3].searched);  // not in the report
    EXPECT_EQ(report->dumpFile, "");
    EXPECT_EQ(report->readingResult, 251);
    ASSERT_EQ(report->readings[0].size(), 2U);
    EXPECT_EQ(report->readings[0][0].celsius, 24.5);
    // Without the raw words the error value is not named.
    EXPECT_FALSE(report->readings[0][1].celsius);
    EXPECT_EQ(report->readings[0][1].error, 0);
    EXPECT_EQ(report->mainVolts, 12.6);
    EXPECT_EQ(report->currents, (std::vector<double>{0.25, 0.26}));
    EXPECT_EQ(report->outputs, 5);
    EXPECT_EQ(report->resetCounters[0], 7);
    EXPECT_EQ(report->resetCounters[5], 4);
    EXPECT_EQ(report->remarks, "");

    // The same without any format member is version 1 too.
    std::string bare = kFirstReport;
    bare.replace(bare.find("\"format\":\"nuv-service-report/1\","), 32, "");
    const auto unversioned = ReadReportJson(bare, error);
    ASSERT_TRUE(unversioned) << error;
    EXPECT_EQ(unversioned->format, 1);
    EXPECT_EQ(unversioned->address, 9);
}

TEST(ReportJsonReaderTest, VersionTwoNamesErrorValuesByTheirRawWords) {
    std::string json = kFirstReport;
    json.replace(json.find("\"nuv-service-report/1\""), 22, "2");
    json.replace(json.find("\"channels\":[[24.5,null],[]]"), 27,
                 "\"channels\":[[24.5,null,null,null]],\"raw\":[[392,61520,61504,61536]]");
    json.insert(json.size() - 1, ",\"remarks\":\"Probe 3 re-fastened.\\nAll good.\"");
    std::string error;
    const auto report = ReadReportJson(json, error);
    ASSERT_TRUE(report) << error;
    EXPECT_EQ(report->format, 2);
    ASSERT_EQ(report->readings[0].size(), 4U);
    EXPECT_EQ(report->readings[0][0].error, 0);
    EXPECT_EQ(report->readings[0][1].error, 251);  // 0xF050, -251 degrees
    EXPECT_EQ(report->readings[0][2].error, 252);
    EXPECT_EQ(report->readings[0][3].error, 250);
    EXPECT_EQ(report->remarks, "Probe 3 re-fastened.\nAll good.");
}

TEST(ReportJsonReaderTest, WhatIsNoReportOrOfANewerFormatIsRefusedWithItsReason) {
    auto refused = [](const std::string& json) {
        std::string error;
        EXPECT_FALSE(ReadReportJson(json, error)) << json;
        return error;
    };
    EXPECT_EQ(refused("[]"), "not a service report: it has no \"report\" section");
    EXPECT_EQ(refused("{\"report\":1}"), "not a service report: it has no \"report\" section");
    EXPECT_EQ(refused("{\"a\":"), "not JSON: the text ends where a value should be at byte 5");
    EXPECT_EQ(refused("{\"format\":3,\"report\":{}}"),
              "a report of format 3, which this program (format 2) cannot read");
    EXPECT_EQ(refused("{\"format\":\"nuv-service-report/7\",\"report\":{}}"),
              "a report of format 7, which this program (format 2) cannot read");
    EXPECT_EQ(refused("{\"format\":\"csv\",\"report\":{}}"),
              "not a service report: its format is \"csv\"");
    EXPECT_EQ(refused("{\"format\":1.5,\"report\":{}}"),
              "not a service report: its format is not a version number");
    // A value of the wrong kind is named by its place.
    std::string json = kFirstReport;
    json.replace(json.find("\"address\":9"), 11, "\"address\":\"9\"");
    EXPECT_EQ(refused(json), "firmware.address is not a whole number from 0 to 255");
    json = kFirstReport;
    json.replace(json.find("\"total\":7"), 9, "\"total\":-1");
    EXPECT_EQ(refused(json), "reset_counters.total is not a whole number from 0 to 4294967295");
    json = kFirstReport;
    json.replace(json.find("\"28191CA3ED7E9F42\""), 18, "7");
    EXPECT_EQ(refused(json), "sensors.channel_0.serials is not a list of texts");
    json = kFirstReport;
    json.replace(json.find("[24.5,null]"), 11, "[\"hot\"]");
    EXPECT_EQ(refused(json), "reading.channels is not a list of lists of numbers");
    json = kFirstReport;
    json.replace(json.find("\"ok\":true"), 9, "\"ok\":1");
    EXPECT_EQ(refused(json), "report.ok is not true or false");
}

// Every prefix of a report, ten thousand random changes of it, and random bytes: each
// gives a report or a reason, never a crash (run under the sanitizers in the asan preset).
TEST(ReportJsonReaderTest, AnyBytesGiveAReportOrAReason) {
    std::string json = kFirstReport;
    json.replace(json.find("\"nuv-service-report/1\""), 22, "2");
    json.replace(json.find("\"channels\":[[24.5,null],[]]"), 27,
                 "\"channels\":[[24.5,null]],\"raw\":[[392,61520]]");
    std::string error;
    ASSERT_TRUE(ReadReportJson(json, error)) << error;
    std::size_t read = 0;
    auto check = [&](const std::string& bytes) {
        std::string why;
        const auto report = ReadReportJson(bytes, why);
        EXPECT_NE(report.has_value(), !why.empty()) << bytes;
        read += report.has_value() ? 1 : 0;
    };
    for (std::size_t length = 0; length < json.size(); ++length) check(json.substr(0, length));
    std::mt19937 random(24);
    const std::string alphabet = "{}[]\":,.-+eE0123456789tfnul\\ \x00\xC3\xA9\xFF";
    for (int i = 0; i < 10'000; ++i) {
        std::string changed = json;
        for (int n = 1 + static_cast<int>(random() % 4); n > 0; --n) {
            const std::size_t at = random() % changed.size();
            switch (random() % 3) {
                case 0:
                    changed[at] = alphabet[random() % alphabet.size()];
                    break;
                case 1:
                    changed.erase(at, 1 + random() % 8);
                    break;
                default:
                    changed.insert(at, 1, alphabet[random() % alphabet.size()]);
            }
            if (changed.empty()) changed = "x";
        }
        check(changed);
    }
    for (int i = 0; i < 5'000; ++i) {
        std::string bytes(random() % 64, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        check(bytes);
    }
    EXPECT_GT(read, 100U);  // the changes that keep it a report still read
}

class ReportFileTest : public ::testing::Test {
  protected:
    ReportFileTest() { std::filesystem::create_directories(folder); }
    ~ReportFileTest() override { std::filesystem::remove_all(folder); }
    std::string folder = ::testing::TempDir() + "nuv-read-" + std::to_string(::getpid());
};

TEST_F(ReportFileTest, AFileThatCannotBeAReportIsRefusedWithoutWaiting) {
    std::string error;
    EXPECT_FALSE(ReadReportFile(folder + "/none.json", error));
    EXPECT_EQ(error, "cannot read " + folder + "/none.json: No such file or directory");
    EXPECT_FALSE(ReadReportFile(folder, error));
    EXPECT_EQ(error, "cannot read " + folder + ": it is a folder");
    // A FIFO with no writer would hold a blocking open for ever.
    const std::string fifo = folder + "/fifo.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(ReadReportFile(fifo, error));
    EXPECT_EQ(error, "cannot read " + fifo + ": not a regular file");
    std::ofstream(folder + "/big.json") << std::string(100, ' ');
    EXPECT_FALSE(ReadWholeFile(folder + "/big.json", 99, error));
    EXPECT_EQ(error, "larger than 99 bytes");
    EXPECT_EQ(ReadWholeFile(folder + "/big.json", 100, error), std::string(100, ' '));
    std::ofstream(folder + "/old.json") << kFirstReport;
    const auto report = ReadReportFile(folder + "/old.json", error);
    ASSERT_TRUE(report) << error;
    EXPECT_EQ(report->address, 9);
    std::ofstream(folder + "/bad.json") << "{\"report\":{}";
    EXPECT_FALSE(ReadReportFile(folder + "/bad.json", error));
    EXPECT_EQ(error, folder + "/bad.json: not JSON: ',' or '}' was expected at byte 12");
}

}  // namespace
}  // namespace nuv::test
