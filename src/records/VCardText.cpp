#include "records/VCardText.h"

#include "core/Format.h"
#include "records/RecordText.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::size_t kFoldAt = 75;

// The position of the colon that ends the name and parameters (quoted parameter values may
// hold colons), or npos.
std::size_t ValueColon(std::string_view line) {
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (line[i] == ':' && !quoted) {
            return i;
        }
    }
    return std::string_view::npos;
}

bool IsQuotedPrintable(std::string_view head) {
    return UpperCase(head).find("QUOTED-PRINTABLE") != std::string::npos;
}

struct SLogicalLine {
    std::string text;
    int number = 0;
};

// Joins folded lines (a continuation starts with a blank or a tab) and the soft line breaks
// of quoted-printable values (a line ending in '=').
std::vector<SLogicalLine> LogicalLines(std::string_view text) {
    std::vector<SLogicalLine> logical;
    bool softBreak = false;
    const std::vector<std::string_view> lines = SplitLines(text);
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const std::string_view line = lines[k];
        const bool folded = !line.empty() && (line.front() == ' ' || line.front() == '\t');
        if (!logical.empty() && folded) {
            logical.back().text.append(line.substr(1));
        } else if (!logical.empty() && softBreak) {
            logical.back().text.pop_back(); // the '='
            logical.back().text.append(line);
        } else {
            logical.push_back({std::string(line), static_cast<int>(k) + 1});
        }
        const std::string& current = logical.back().text;
        const std::size_t colon = ValueColon(current);
        softBreak = colon != std::string::npos && current.ends_with('=') &&
                    IsQuotedPrintable(std::string_view(current).substr(0, colon));
    }
    return logical;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

std::string DecodeQuotedPrintable(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '=' && i + 2 < value.size() && HexValue(value[i + 1]) >= 0 && HexValue(value[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(value[i + 1]) * 16 + HexValue(value[i + 2])));
            i += 2;
        } else {
            out.push_back(value[i]);
        }
    }
    return out;
}

// Splits a structured value at the semicolons that are not escaped; each component is
// unescaped (\n and \N a line break, \, \; \\ and \: the character).
std::vector<std::string> Components(std::string_view value) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            parts.back().push_back(next == 'n' || next == 'N' ? '\n' : next);
        } else if (c == ';') {
            parts.emplace_back();
        } else {
            parts.back().push_back(c);
        }
    }
    return parts;
}

std::string Unescape(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            out.push_back(next == 'n' || next == 'N' ? '\n' : next);
        } else {
            out.push_back(value[i]);
        }
    }
    return out;
}

// Line breaks inside a value become blanks: an entry's fields are single lines.
std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return TextFromFile(text);
}

void TakeProperty(SVCardContact& contact, SVCardFile& file, const std::string& name, std::string_view value) {
    if (name == "N") {
        const std::vector<std::string> parts = Components(value);
        contact.lastName = TrimSpaces(OneLine(parts[0]));
        contact.firstName = parts.size() > 1 ? TrimSpaces(OneLine(parts[1])) : std::string();
    } else if (name == "FN") {
        contact.formattedName = TrimSpaces(OneLine(Unescape(value)));
    } else if (name == "ORG") {
        contact.company = TrimSpaces(OneLine(Components(value)[0]));
    } else if (name == "NOTE") {
        contact.memo = TrimSpaces(OneLine(Unescape(value)));
    } else if (name == "TEL") {
        contact.numbers.push_back(TrimSpaces(Unescape(value)));
    } else if (name != "VERSION" && name != "PRODID") {
        ++file.unmapped[name];
    }
}

std::string Escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '\\':
        case ',':
        case ';':
            out.push_back('\\');
            out.push_back(c);
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

// Appends a content line folded at 75 bytes, never inside a UTF-8 sequence.
void AppendFolded(std::string& out, std::string_view line) {
    std::size_t limit = kFoldAt;
    while (line.size() > limit) {
        std::size_t cut = limit;
        while (cut > 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        out.append(line.substr(0, cut));
        out.append("\r\n ");
        line.remove_prefix(cut);
        limit = kFoldAt - 1; // the leading blank counts
    }
    out.append(line);
    out.append("\r\n");
}

} // namespace

bool ParseVCards(std::string_view text, SVCardFile& file, std::string& error) {
    file = SVCardFile();
    if (text.starts_with(kBom)) {
        text.remove_prefix(kBom.size());
    }
    bool inCard = false;
    int cardLine = 0;
    auto fail = [&](int line, const char* what) {
        error = StrFormat("line %d: %s", line, what);
        file = SVCardFile();
        return false;
    };
    for (const SLogicalLine& line : LogicalLines(text)) {
        if (TrimSpaces(line.text).empty()) {
            continue;
        }
        const std::size_t colon = ValueColon(line.text);
        if (colon == std::string::npos) {
            return fail(line.number, "not a vCard property (no colon)");
        }
        const std::string_view head = std::string_view(line.text).substr(0, colon);
        std::string_view value = std::string_view(line.text).substr(colon + 1);
        std::string_view nameView = head.substr(0, head.find(';'));
        if (const auto dot = nameView.rfind('.'); dot != std::string_view::npos) {
            nameView.remove_prefix(dot + 1); // a group prefix ("item1.TEL")
        }
        const std::string name = UpperCase(TrimSpaces(nameView));
        const std::string upperValue = UpperCase(TrimSpaces(value));
        if (name == "BEGIN" && upperValue == "VCARD") {
            if (inCard) {
                return fail(cardLine, "this vCard has no END:VCARD");
            }
            inCard = true;
            cardLine = line.number;
            file.contacts.push_back(SVCardContact());
            file.contacts.back().line = line.number;
            continue;
        }
        if (!inCard) {
            return fail(line.number, "text outside BEGIN:VCARD ... END:VCARD");
        }
        if (name == "END" && upperValue == "VCARD") {
            inCard = false;
            continue;
        }
        std::string decoded;
        if (IsQuotedPrintable(head)) {
            decoded = DecodeQuotedPrintable(value);
            value = decoded;
        }
        TakeProperty(file.contacts.back(), file, name, value);
    }
    if (inCard) {
        return fail(cardLine, "this vCard has no END:VCARD");
    }
    if (file.contacts.empty()) {
        return fail(1, "no vCard in this file");
    }
    return true;
}

void AppendVCard(std::string& out, const SVCardOut& card) {
    std::string display = card.firstName;
    if (!card.firstName.empty() && !card.lastName.empty()) {
        display.push_back(' ');
    }
    display.append(card.lastName);
    if (display.empty()) {
        display = !card.company.empty() ? card.company : card.number;
    }
    out.append("BEGIN:VCARD\r\nVERSION:3.0\r\n");
    AppendFolded(out, "N:" + Escaped(card.lastName) + ";" + Escaped(card.firstName) + ";;;");
    AppendFolded(out, "FN:" + Escaped(display));
    if (!card.company.empty()) {
        AppendFolded(out, "ORG:" + Escaped(card.company));
    }
    AppendFolded(out, "TEL;TYPE=VOICE:" + card.number);
    if (!card.memo.empty()) {
        AppendFolded(out, "NOTE:" + Escaped(card.memo));
    }
    out.append("END:VCARD\r\n");
}
