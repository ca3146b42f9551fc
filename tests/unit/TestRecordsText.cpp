// The text rules both store files share: line splitting, the quoted-field splitter, dates in
// local time and the number and flag fields.
#include "records/RecordText.h"

#include <cstdio>
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

namespace {

// The date reader must name the same moment as mktime with tm_isdst = -1 in every zone,
// including the hours around changes of the UTC offset.
TEST(RecordsText, DatesAgreeWithMktimeAcrossZonesAndOffsetChanges) {
    for (const char* zone :
         {"America/New_York", "Europe/London", "Australia/Lord_Howe", "Pacific/Apia", "Asia/Kolkata", "UTC"}) {
        setenv("TZ", zone, 1);
        tzset();
        int checked = 0;
        // Every 97 minutes and 7 seconds through 2011 (Apia skipped a whole day that year).
        for (std::int64_t utc = 1293840000; utc < 1325376000; utc += 97 * 60 + 7) {
            const std::time_t tt = static_cast<std::time_t>(utc);
            std::tm local{};
            ASSERT_NE(localtime_r(&tt, &local), nullptr);
            for (const int shiftMinutes : {0, 30, 60}) { // also local times that may not exist
                std::tm want = local;
                want.tm_min = (local.tm_min + shiftMinutes) % 60;
                want.tm_isdst = -1;
                char text[64];
                std::snprintf(text, sizeof text, "%d,%d,%d,%d,%d,%d", want.tm_year + 1900, want.tm_mon + 1,
                              want.tm_mday, want.tm_hour, want.tm_min, want.tm_sec);
                std::tm copy = want;
                const std::int64_t expected = std::mktime(&copy);
                std::int64_t got = 0;
                ASSERT_TRUE(ParseLocalDate(text, got)) << zone << " " << text;
                // A doubled local hour may be resolved either way by mktime itself; anywhere
                // else the answer is unique.
                std::tm back{};
                const std::time_t gotT = static_cast<std::time_t>(got);
                localtime_r(&gotT, &back);
                if (got != expected) {
                    const std::time_t expT = static_cast<std::time_t>(expected);
                    std::tm other{};
                    localtime_r(&expT, &other);
                    ASSERT_TRUE(back.tm_hour == other.tm_hour && back.tm_min == other.tm_min &&
                                back.tm_mday == other.tm_mday && back.tm_gmtoff != other.tm_gmtoff)
                        << zone << " " << text << ": " << got << " vs " << expected;
                }
                ++checked;
            }
        }
        EXPECT_GT(checked, 15000) << zone;
    }
}

} // namespace
