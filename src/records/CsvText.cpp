#include "records/CsvText.h"

#include "core/Format.h"

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool NeedsQuotes(std::string_view field) {
    return field.find_first_of(",\"\r\n") != std::string_view::npos ||
           (!field.empty() &&
            (field.front() == ' ' || field.back() == ' ' || field.front() == '\t' || field.back() == '\t'));
}

bool AllEmpty(const std::vector<std::string>& fields) {
    return fields.size() == 1 && fields.front().empty();
}

} // namespace

bool ParseCsv(std::string_view text, std::vector<SCsvRecord>& records, std::string& error) {
    records.clear();
    if (text.starts_with(kBom)) {
        text.remove_prefix(kBom.size());
    }
    int line = 1;
    std::size_t i = 0;
    SCsvRecord record{{std::string()}, line};
    // Ends the current line: a CR LF pair counts once.
    auto endOfLine = [&]() {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
        }
        ++i;
        ++line;
    };
    auto finishRecord = [&]() {
        if (!AllEmpty(record.fields)) {
            records.push_back(std::move(record));
        }
        record = SCsvRecord{{std::string()}, line};
    };
    while (i < text.size()) {
        const char c = text[i];
        std::string& field = record.fields.back();
        if (c == '"' && field.empty()) {
            const int opened = line;
            ++i;
            bool closed = false;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field.push_back('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                if (text[i] == '\r' || text[i] == '\n') {
                    // A line end inside quotes belongs to the field, as LF.
                    endOfLine();
                    field.push_back('\n');
                    continue;
                }
                field.push_back(text[i++]);
            }
            if (!closed) {
                error = StrFormat("line %d: a quoted field is not closed", opened);
                records.clear();
                return false;
            }
            if (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                error = StrFormat("line %d: text after a closing quote", line);
                records.clear();
                return false;
            }
            continue;
        }
        if (c == ',') {
            record.fields.emplace_back();
            ++i;
        } else if (c == '\r' || c == '\n') {
            endOfLine();
            finishRecord();
        } else {
            field.push_back(c);
            ++i;
        }
    }
    finishRecord();
    return true;
}

void AppendCsvRecord(std::string& out, const std::vector<std::string>& fields) {
    for (std::size_t k = 0; k < fields.size(); ++k) {
        if (k > 0) {
            out.push_back(',');
        }
        const std::string& field = fields[k];
        if (!NeedsQuotes(field)) {
            out.append(field);
            continue;
        }
        out.push_back('"');
        for (const char c : field) {
            if (c == '"') {
                out.push_back('"');
            }
            out.push_back(c);
        }
        out.push_back('"');
    }
    out.append("\r\n");
}
