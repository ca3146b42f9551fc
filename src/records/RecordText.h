// Text helpers shared by the phone book and call log stores: line splitting of their files,
// the quoted-field splitter, calendar-field dates in local time, number fields, the cleaning
// of text before it is written, crash-safe writing of a store file and record ids.
#pragma once

#include "core/MessageBox.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Limits of what is read as a store: a longer line is malformed and skipped; a larger file is
// no store at all (the largest real ones are a few megabytes).
inline constexpr std::size_t kMaxStoreLineBytes = 64 * 1024;
inline constexpr std::size_t kMaxStoreFileBytes = 256 * 1024 * 1024;

// Splits a store file into lines: a line runs up to LF and a CR right before the LF is
// dropped; a CR anywhere else is kept. A last line without LF counts as a line; nothing after
// the final LF is not a line.
std::vector<std::string_view> SplitStoreLines(std::string_view text);

// Takes one quoted field off the front of a line. The line must start with a double quote
// (no blanks skipped) and the field ends at the next double quote; otherwise false is
// returned and the line is left as it was. On success field holds the text between the
// quotes, and the closing quote plus the one character after it (the separator, whatever it
// is) are removed from line.
bool TakeQuotedField(std::string_view& line, std::string_view& field);

// Reads "%d,%d,%d,%d,%d,%d" (year, month, day, hour, minute, second) as local time, daylight
// saving decided by the C library (mktime with tm_isdst = -1). Returns false, leaving t
// unchanged, unless all six integers are present and sane: year 1900-9999, month 1-12,
// day 1-31, hour 0-23, minute 0-59, second 0-60. Text after the sixth integer is ignored.
bool ParseLocalDate(std::string_view text, std::int64_t& t);

// Appends t as local time in the form "%d,%d,%d,%d,%d,%d" (four-digit year, no leading
// zeros). Returns false and appends nothing when t cannot be converted to a calendar date.
bool AppendLocalDate(std::string& out, std::int64_t t);

// A number field read as atoi reads it: leading blanks, sign, digits; no number gives 0;
// values beyond the 32-bit range are clamped.
std::int32_t ParseIntField(std::string_view text);

// The flag word "0x%8X": "0x", then up to eight hexadecimal digits. Anything else gives 0.
std::uint32_t ParseFlagsField(std::string_view text);

// Shapes of the older layouts' lines, to tell such a file from one that is no store: only
// decimal digits (the empty line too); an optional minus and at least one digit; a date
// field ("0" or digits and commas).
bool IsDigits(std::string_view text);
bool IsIntegerField(std::string_view text);
bool IsDateField(std::string_view text);

// A text field as read from a file: kept as it is when it is valid UTF-8, otherwise (a file
// written on Windows) read as Windows-1252 and turned into UTF-8. The five byte values that
// code page leaves undefined become the control characters of the same value.
std::string TextFromFile(std::string_view field);

// Appends a decimal integer.
void AppendInt(std::string& out, std::int64_t value);

// Appends "0x" and exactly eight upper-case hexadecimal digits.
void AppendHex8(std::string& out, std::uint32_t value);

// Removes every double quote from text. Returns true when something was removed.
bool RemoveQuotes(std::string& text);

// Replaces every LF in text by a blank, because an LF inside a field would split its line
// in the file and lose the whole record on the next load. Returns true when text changed.
bool ReplaceLineFeeds(std::string& text);

// Removes what cannot be written inside a quoted field: double quotes (they would end it
// early) and LFs (they would split the line; each becomes a blank). Returns true when text
// changed.
bool CleanField(std::string& text);

// Appends a decimal integer in double quotes.
void AppendQuotedInt(std::string& out, std::int64_t value);

// Adds a value to a 32-bit statistic, saturating instead of overflowing.
std::int32_t SaturatingAdd(std::int32_t a, std::int64_t b);

// Writes a whole store file crash-safely (SaveFileAtomically). An existing file keeps its
// mode and owner; a new one is readable by its owner only (0600): the stores hold callers'
// names and numbers. On failure the old file is left whole and, when messageBox is set, it is
// shown failureText.
bool WriteStoreFile(const std::string& path, std::string_view data, const MessageBoxFn& messageBox,
                    const std::string& failureText);

// A new process-wide unique id for a phone book entry or call log record (never 0, never
// reused while the program runs).
std::uint64_t NewRecordId();
