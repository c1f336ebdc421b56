#pragma once
// The choices of the contact dialog, made from the operator and model lists:
// the cities of a type, the operators of a type and city, the models of a
// type; where the operator of a stored address stands in those lists; and the
// rule that lets the dialog close with OK.
//
// The dialog sees an operator through its section name: trimmed; an SMS
// operator when it begins with "SMS:" in any letter case (removed then), else
// a pager operator; offered only when the rest holds "(" and ends with ")";
// its city is what stands between the first "(" and that ")", its name what
// stands before the first "(", trimmed.

#include "common/strs.h"
#include "platform/ansistring.h"

#include <optional>
#include <string_view>
#include <vector>

class TOpList;
class TPagerList;

// Types of the dialog's type list.
enum : int { OpTypePager = 0, OpTypeSms = 1 };

// An operator's section name as the contact dialog reads it.
struct TOpPlace {
    bool Listed = false;  // holds "(" and ends with ")"
    int Type = OpTypePager;
    AnsiString City;
    AnsiString Name;
};
TOpPlace OpPlaceOf(std::string_view Section);

// The cities of the operators of Type, in the order of the sorted list (by
// letters, case ignored); cities equal apart from letter case give one entry,
// written as the first of them in list order. Empty cities are left out.
std::vector<AnsiString> ContactCities(const TOpList& OpList, int Type);

// One entry of the operator list: the text shown and the operator it stands for.
struct TContactOperator {
    AnsiString Text;
    int OpIndex = -1;
};
// The operators of Type in City (case ignored), each by its Description when
// WithPhone is on and the Description is not empty, else by its name; in the
// order of the sorted list.
std::vector<TContactOperator> ContactOperators(const TOpList& OpList, int Type, std::string_view City,
                                               bool WithPhone);

// The models of Type in file order: for SMS those whose name holds "SMS", for
// pagers the others.
std::vector<AnsiString> ContactModels(const TPagerList& PagerList, int Type);

// Index of the first item equal to Text apart from letter case, -1 if none.
int FindText(const std::vector<AnsiString>& Items, std::string_view Text);

// Where the lists go to show the operator OpIndex of OpList.
struct TOpSelection {
    bool Sms = false;  // type SMS is chosen first (a pager operator leaves the type)
    // The city to choose, upper-cased and trimmed; none when the section name
    // has no city in parentheses.
    std::optional<AnsiString> City;
    // The operator to choose, upper-cased: its Description with WithPhone on,
    // else its name.
    AnsiString Operator;
};
// Nothing for an index that names no operator or an operator with an empty
// section name.
std::optional<TOpSelection> OpSelectionOf(const TOpList& OpList, int OpIndex, bool WithPhone);

// The characters a subscriber number may not hold: the blank and
// !"#$%&'()*+/:;<=>?@[\]^`{|}~, the Cyrillic letters А..я (not Ё and ё) and
// the control characters (0..31 and 127), which would end a data-file line or
// a mail command.
const TCharSet& NumberForbidden();

// The dialog may close with OK: the name, trimmed, is not empty, and the
// number is not empty and holds nothing of NumberForbidden.
bool ContactOkRule(std::string_view Name, std::string_view Num);
