// Small text helpers shared by every layer: printf-style formatting, local time,
// the escaping of unprintable bytes, trimming and splitting into lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// printf-style formatting into a std::string (the system's texts are given as printf formats).
std::string StrFormat(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Formats a time (seconds since 1970 UTC) as local time with a strftime format.
std::string FormatLocalTime(std::int64_t t, const char* fmt);

// The current time formatted as "%Y-%m-%d %H:%M:%S".
std::string NowStamp();

// Printable bytes (0x20..0x7E) stay; every other byte becomes "<%2.2X>".
std::string EscapeText(std::string_view text);

// Trims white space (space, tab, CR, LF, VT, FF) at both ends.
std::string_view TrimView(std::string_view text);
std::string Trim(std::string_view text);
// Trims spaces and tabs only, at both ends: a line break that belongs to a value stays.
std::string TrimSpaces(std::string_view text);

// Every byte through the C library's tolower / toupper.
std::string LowerCase(std::string_view text);
std::string UpperCase(std::string_view text);

// Splits a whole file into lines; LF, CR LF and a lone CR all end a line.
// A final line without a line end is returned too; the text after the last line end is not
// returned when it is empty.
std::vector<std::string_view> SplitLines(std::string_view text);

// Like C's atoi/sscanf("%d") on the start of the text: skips leading white space, takes an
// optional sign and the decimal digits that follow. Values beyond int's range are clamped.
// Returns false when no digit could be read.
bool ScanInt(std::string_view text, int& value, std::size_t* used = nullptr);

// The ten-digit check of the stores: true when the text consists of decimal digits only.
bool AllDigits(std::string_view text);
