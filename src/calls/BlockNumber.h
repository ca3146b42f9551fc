// Marking a caller "Ignore Caller" wherever the user asks for it: from the call log, from an
// offered call's notification, or from a viewer on the network. The number's phone book entry
// gets the flag, or an entry is made for it, filed as lookups compare numbers, so that the next
// call from it is found and rejected. The phone book window is told either way.
#pragma once

#include <string>

class CPhoneBook;
class CWindowHost;

// name: "First Last" for a new entry ("" or an "Unknown caller"/"Unknown callee" text: no
// name); memo: the new entry's memo. False (and nothing changed) when the number is empty.
bool BlockNumber(CPhoneBook& book, CWindowHost& host, const std::string& number, const std::string& name,
                 const std::string& memo);

// "Unknown caller" or "Unknown callee": the name of a party without a phone book entry.
bool IsUnknownName(const std::string& name);
