// The text rules both store files share: line splitting, the quoted-field splitter, dates in
// local time and the number and flag fields.
#include "records/RecordText.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

namespace {

TEST(RecordsText, LinesEndAtLineFeedAndLoseOneCarriageReturnBeforeIt) {
    struct Row {
        const char* label;
        std::string text;
        std::vector<std::string> lines;
    } const rows[] = {
        {"empty", "", {}},
        {"LF", "a\nb\n", {"a", "b"}},
        {"CR LF", "a\r\nb\r\n", {"a", "b"}},
        {"no final line end", "a\nb", {"a", "b"}},
        {"lone CR stays", "a\rb\n", {"a\rb"}},
        {"only one CR dropped", "a\r\r\n", {"a\r"}},
        {"empty lines", "\n\r\n\n", {"", "", ""}},
        {"NUL inside", std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
    };
    for (const Row& r : rows) {
        const auto got = SplitStoreLines(r.text);
        EXPECT_EQ(std::vector<std::string>(got.begin(), got.end()), r.lines) << r.label;
    }
}

TEST(RecordsText, QuotedFieldSplitter) {
    struct Row {
        const char* line;
        bool ok;
        const char* field;
        const char* rest;
    } const rows[] = {
        {"\"a\",\"b\"", true, "a", "\"b\""},
        {"\"\",\"b\"", true, "", "\"b\""},
        {"\"a\"", true, "a", ""},
        {"\"a\",", true, "a", ""},
        {"\"a\";\"b\"", true, "a", "\"b\""},   // the separator is skipped unchecked
        {"\"a\"\"b\"", true, "a", "b\""},      // even when it is a quote
        {"\"a\"xy\"b\"", true, "a", "y\"b\""}, // one character only
        {" \"a\"", false, "", " \"a\""},       // no blanks skipped
        {"a\"", false, "", "a\""},
        {"\"abc", false, "", "\"abc"},
        {"", false, "", ""},
        {"\"", false, "", "\""},
    };
    for (const Row& r : rows) {
        std::string_view line = r.line;
        std::string_view field;
        EXPECT_EQ(TakeQuotedField(line, field), r.ok) << r.line;
        EXPECT_EQ(field, r.field) << r.line;
        EXPECT_EQ(line, r.rest) << r.line;
    }
}

TEST(RecordsText, DatesAreSixSaneIntegersInLocalTime) {
    setenv("TZ", "America/New_York", 1);
    tzset();
    struct Row {
        const char* text;
        bool ok;
        std::int64_t t;
    } const rows[] = {
        {"1999,7,4,9,5,0", true, 931093500}, // daylight saving time
        {"1999,1,4,9,5,0", true, 915458700}, // standard time
        {"1999,7,4,9,5,0trailing", true, 931093500},
        {" 1999, 7, 4, 9, 5, 0", true, 931093500}, // blanks before each number, as %d skips them
        {"2040,1,1,0,0,0", true, 2209006800},      // beyond 32 bits
        {"0", false, 0},
        {"", false, 0},
        {"1999,7,4,9,5", false, 0},
        {"1999,7,4,9,5,", false, 0},
        {"1999;7;4;9;5;0", false, 0},
        {"1999,13,4,9,5,0", false, 0},
        {"1999,0,4,9,5,0", false, 0},
        {"1999,7,0,9,5,0", false, 0},
        {"1999,7,4,24,5,0", false, 0},
        {"1999,7,4,9,60,0", false, 0},
        {"1999,7,4,9,5,61", false, 0},
        {"1899,7,4,9,5,0", false, 0},
        {"99999999999,7,4,9,5,0", false, 0},
        {"-1999,7,4,9,5,0", false, 0},
    };
    for (const Row& r : rows) {
        std::int64_t t = 12345;
        EXPECT_EQ(ParseLocalDate(r.text, t), r.ok) << r.text;
        EXPECT_EQ(t, r.ok ? r.t : 12345) << r.text;
        if (r.ok && std::string_view(r.text).find_first_of(" t") == std::string_view::npos) {
            std::string out;
            ASSERT_TRUE(AppendLocalDate(out, t));
            EXPECT_EQ(out, r.text) << "written back";
        }
    }
    std::string out = "x";
    EXPECT_FALSE(AppendLocalDate(out, INT64_MAX));
    EXPECT_EQ(out, "x");
}

TEST(RecordsText, NumberAndFlagFields) {
    struct IntRow {
        const char* text;
        std::int32_t value;
    } const ints[] = {
        {"65", 65},
        {"-7", -7},
        {" 12x", 12},
        {"", 0},
        {"x12", 0},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
    };
    for (const IntRow& r : ints) {
        EXPECT_EQ(ParseIntField(r.text), r.value) << r.text;
    }
    struct FlagRow {
        const char* text;
        std::uint32_t value;
    } const flags[] = {
        {"0x00000001", 1},
        {"0xDEADBEEF", 0xDEADBEEFu},
        {"0xdeadbeef", 0xDEADBEEFu},
        {"0x1", 1},
        {"0x123456789", 0x12345678},
        {"0x", 0},
        {"1", 0},
        {"0X1", 0},
        {"0xG1", 0},
        {"0x1G", 1},
    };
    for (const FlagRow& r : flags) {
        EXPECT_EQ(ParseFlagsField(r.text), r.value) << r.text;
    }
    for (const std::uint32_t v : {0u, 1u, 0xABCDEFu, 0xFFFFFFFFu}) {
        std::string out;
        AppendHex8(out, v);
        ASSERT_EQ(out.size(), 10u);
        EXPECT_EQ(ParseFlagsField(out), v) << out;
    }
    std::string out;
    AppendHex8(out, 0xABCDEF);
    EXPECT_EQ(out, "0x00ABCDEF");
}

TEST(RecordsText, SaturatingAddClampsBothWays) {
    EXPECT_EQ(SaturatingAdd(2147483600, 100), 2147483647);
    EXPECT_EQ(SaturatingAdd(-2147483600, -100), -2147483647 - 1);
    EXPECT_EQ(SaturatingAdd(5, -7), -2);
}

TEST(RecordsText, IdsAreUniqueAndNeverZero) {
    const std::uint64_t a = NewRecordId();
    const std::uint64_t b = NewRecordId();
    EXPECT_NE(a, 0u);
    EXPECT_GT(b, a);
}

} // namespace
