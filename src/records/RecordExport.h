// Writing the phone book and the call log for other programs: the phone book as vCards or as
// CSV with the columns its window shows, the call log as CSV. CSV files are UTF-8 with a
// header row; in place of the window's "Name" they have "First Name" and "Last Name", so
// that a file read back gives the same entries.
#pragma once

#include <cstdint>
#include <string>

class CCallLog;
class CPhoneBook;

// One version 3.0 vCard per entry, in store order.
std::string PhoneBookVCards(const CPhoneBook& book);
// The columns of the mask (bit 0 and bit 3 always), headings that name them on their own.
std::string PhoneBookCsv(const CPhoneBook& book, std::uint32_t columnMask);
// Name, Number, Time, Duration, Port as the window shows them, then Direction ("Incoming" /
// "Outgoing") and Answered ("Yes" / "No"), which the window shows as icons; newest first.
std::string CallLogCsv(const CCallLog& log);
