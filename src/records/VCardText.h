// vCard files (versions 2.1, 3.0 and 4.0) as phones and mail programs write them: lines
// folded with a leading blank, CR LF or LF line ends, a byte order mark, backslash escapes,
// grouped property names, parameters (quoted values too), and quoted-printable values of
// 2.1 cards. Only what a phone book entry holds is read; the rest is counted.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

struct SVCardContact {
    std::string firstName;            // N: given name
    std::string lastName;             // N: family name
    std::string formattedName;        // FN
    std::string company;              // ORG, first component
    std::string memo;                 // NOTE, line breaks as blanks
    std::vector<std::string> numbers; // TEL values as written
    int line = 0;                     // line of BEGIN:VCARD
};

struct SVCardFile {
    std::vector<SVCardContact> contacts;
    // Properties that have no place in an entry (EMAIL, ADR, PHOTO, ...), by name: how often.
    std::map<std::string, int> unmapped;
};

// Reads every card. False, with error naming the line, for text outside a card, a card that
// is not ended, a line that is no property, or a file without any card; file then holds
// nothing.
bool ParseVCards(std::string_view text, SVCardFile& file, std::string& error);

// One card in version 3.0: N, FN (the display name, else the company, else the number), ORG,
// one TEL per number, NOTE; escaped and folded at 75 bytes with CR LF line ends.
struct SVCardOut {
    std::string firstName;
    std::string lastName;
    std::string company;
    std::string memo;
    std::string number;
};
void AppendVCard(std::string& out, const SVCardOut& card);
