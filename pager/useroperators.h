#pragma once
// The user's own operators in user.dat, as the options dialog lists, edits and
// writes them: one section per operator, named by the prefix "SMS:" for an
// SMS operator (exactly so, in capitals), the operator's name, " (", the city
// and ")"; keys MailGate and Description.

#include "pager/opdb.h"
#include "platform/ansistring.h"

#include <string>
#include <string_view>
#include <vector>

// One row of the options dialog's operator list.
struct TUserOperator {
    int Type = 0;  // 0 pager, 1 SMS
    AnsiString City;
    AnsiString Name;
    TOpItem Item;

    bool operator==(const TUserOperator&) const = default;
};

// The name and the city of "name (city)": when Text holds "(" and ends with
// ")", what stands before the first "(" and what stands between it and the
// final ")", each trimmed; otherwise both are the whole Text.
AnsiString GetOpName(std::string_view Text);
AnsiString GetOpCity(std::string_view Text);

// The operators of the file, in file order; a missing file gives none. A
// section with an empty MailGate is left out; MailGate is lower-cased,
// Description read as it stands (empty when missing).
std::vector<TUserOperator> LoadUserOperators(const std::string& FileName);

// The section name an operator is written under.
AnsiString UserOperatorSection(const TUserOperator& Op);

// Writes the list as the whole new file, in one step (a temporary file
// renamed over the old one); an empty list removes the file. Description is
// written only when it is not empty. On failure the old file stays as it was
// and EIniFileException is raised.
void SaveUserOperators(const std::string& FileName, const std::vector<TUserOperator>& Ops);

// Index of the first operator of Ops, other than Ops[Self], with the same type,
// name and city apart from letter case; -1 if none. Two such operators would
// be one section of the file.
int FindSameUserOperator(const std::vector<TUserOperator>& Ops, const TUserOperator& Op, int Self = -1);
