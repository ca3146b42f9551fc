// Comma-separated values as spreadsheets read and write them (RFC 4180): fields separated by
// commas, records by line ends (CR LF, LF or a lone CR), a field in double quotes may hold
// commas, line ends and doubled quotes. Written files are UTF-8 with CR LF line ends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct SCsvRecord {
    std::vector<std::string> fields;
    int line = 0; // 1-based line of the file where the record starts
};

// Splits text into records. A UTF-8 byte order mark at the start is dropped and blank lines
// are skipped. False, with error naming the line, for a quoted field that is never closed or
// text right after a closing quote; records then holds nothing.
bool ParseCsv(std::string_view text, std::vector<SCsvRecord>& records, std::string& error);

// Appends one record: each field quoted when it holds a comma, a quote, a line end or leading
// or trailing blanks (quotes doubled inside), and a CR LF at the end.
void AppendCsvRecord(std::string& out, const std::vector<std::string>& fields);
