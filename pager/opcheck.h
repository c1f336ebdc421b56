#pragma once
// The fields of the operator dialog and the checks its OK makes before it
// closes. An operator is stored in user.dat under the section name
// ["SMS:"] name " (" city ")", with its gateway template ("###" for the
// subscriber's number) and its description.

#include "common/strs.h"
#include "platform/ansistring.h"

// What the operator dialog holds.
struct TOpItemFields {
    int Type = 0;  // 0 pager, 1 SMS
    AnsiString City;
    AnsiString Title;  // the operator's name
    AnsiString MailGate;
    AnsiString Description;
};

// The characters a gateway template may not hold: the blank, "!", the double
// quote, "$".."+", "/", ":", ";", "<", ">", "[".."^", "`", "{".."~", the
// Cyrillic letters А..я (not Ё and ё), and the control characters (0..31 and
// 127), which would end a data-file line or a mail command.
const TCharSet& MailGateForbidden();

// The first check the fields fail, as the message the dialog shows (cp1251);
// empty when they pass. In order: city, name and gateway not empty (each
// trimmed of blanks and control characters); no control character in any
// field; no bracket in the city or the name and no "SMS:" (any letter case)
// at the start of a pager operator's name, since either would change what the
// section name reads back as; the gateway free of forbidden characters, with
// "@", with "###" and without "####".
AnsiString CheckOpItem(const TOpItemFields& Fields);

// The fields of the dialog, for the message on a character that cp1251
// cannot hold.
enum class TOpField { City, Title, MailGate, Description };
AnsiString OpFieldInvalidChars(TOpField Field);

// The fields as they are stored: every text trimmed of blanks and control
// characters.
TOpItemFields TrimOpItem(const TOpItemFields& Fields);
