#pragma once
// The operator and pager-model databases: operators.dat (the shipped list),
// user.dat (the user's own operators) and pagers.dat (the models), loaded into
// the main window's OpList and PagerList, and the look-ups the address book,
// the dialogs and message building make in them.
//
// An operator's section name is an optional "SMS:" prefix, the operator's
// name and the city in parentheses: "SMS:Op (City)". Its gateway template
// holds "###" where the subscriber's number goes.

#include "platform/ansistring.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

// Bare names of the data files in the program folder.
inline constexpr const char* OperatorsFile = "operators.dat";
inline constexpr const char* UserOperatorsFile = "user.dat";
inline constexpr const char* PagersFile = "pagers.dat";

// Longest message of a model whose MaxSymbols is missing or not a number.
inline constexpr int32_t DefaultModelMaxSymbols = 240;

// One operator.
struct TOpItem {
    AnsiString MailGate;     // gateway template, "###" for the number (at most 255)
    AnsiString Description;  // display text (at most 255)

    bool operator==(const TOpItem&) const = default;
};

// One pager model.
struct TPagerItem {
    int32_t MaxSymbols = DefaultModelMaxSymbols;  // longest message, in characters
};

// Operators by section name, in load order; duplicate names are allowed. The
// list owns its items; an item does not change once added. References to
// items stay valid until the list is cleared.
class TOpList {
public:
    TOpList();
    ~TOpList();
    TOpList(const TOpList&) = delete;
    TOpList& operator=(const TOpList&) = delete;

    int Count() const noexcept { return static_cast<int>(entries_.size()); }
    const AnsiString& Strings(int Index) const { return entries_.at(static_cast<size_t>(Index)).Name; }
    const TOpItem& Objects(int Index) const { return *entries_.at(static_cast<size_t>(Index)).Item; }

    void Add(AnsiString Name, TOpItem Item);
    // Frees every item (the main window's DisposeOp).
    void Clear();

    // True when an entry has exactly this MailGate (with letter case).
    bool HasMailGate(std::string_view MailGate) const;

    // The GetOpIndex rule; see there.
    int Match(std::string_view Addr) const;

private:
    struct Entry {
        AnsiString Name;
        std::unique_ptr<TOpItem> Item;
    };
    class Matcher;
    const Matcher& matcher() const;

    std::vector<Entry> entries_;
    std::unordered_set<AnsiString> gates_;
    mutable std::unique_ptr<Matcher> matcher_;  // built on the first look-up after a change
};

// Models by section name, in file order.
class TPagerList {
public:
    int Count() const noexcept { return static_cast<int>(entries_.size()); }
    const AnsiString& Strings(int Index) const { return entries_.at(static_cast<size_t>(Index)).first; }
    const TPagerItem& Objects(int Index) const { return entries_.at(static_cast<size_t>(Index)).second; }
    void Add(AnsiString Name, TPagerItem Item) { entries_.emplace_back(std::move(Name), Item); }
    void Clear() { entries_.clear(); }

private:
    std::vector<std::pair<AnsiString, TPagerItem>> entries_;
};

class TIniFile;

// The operator stored in Section of an operator file: MailGate with its Latin
// capitals lowered and Description as it stands (empty when missing), each
// cut to 255 characters.
TOpItem ReadOperator(const TIniFile& Ini, const AnsiString& Section);

// Appends the operators of the ini file FileName (a full path) to OpList:
// every section with a non-empty MailGate (its Latin capitals lowered) whose
// template is not in OpList yet; a missing Description is made from the
// section name. A missing file loads nothing.
void LoadOperators(TOpList& OpList, const std::string& FileName);

// True when no entry of OpList has exactly Item's MailGate.
bool NotUse(const TOpList& OpList, const TOpItem& Item);

// Index of the operator whose template matches Addr, -1 if none. A template
// with the number first or last matches when what is left of it without "#"
// occurs anywhere in the address; one with the number in the middle when the
// address starts with its part before "###" and ends with its part after it.
// Letter case does not count. The longest matching template wins, the first
// in list order among equally long ones. A template without "###", or made of
// "#" only, matches nothing.
int GetOpIndex(const TOpList& OpList, std::string_view Addr);

// -1 when GetOpIndex finds no operator, 1 when the operator's section name
// begins with "SMS:" in any letter case, else 0.
int GetTypeIndex(const TOpList& OpList, std::string_view Addr);
// The same for an operator GetOpIndex has already found (-1 for none).
int TypeIndexOf(const TOpList& OpList, int OpIndex);

// Index of the first model named Model apart from letter case, -1 if none.
int GetPagerIndex(const TPagerList& PagerList, std::string_view Model);

// The subscriber number of Addr by the template of entry Index (lowered):
// the address lowered, without as many leading characters as the template
// has before "###", cut at the first occurrence of the template's part after
// "###". Empty when Index names no entry or the template has no "###".
AnsiString GetPagerNum(const TOpList& OpList, std::string_view Addr, int Index);

// Index of the first operator of type Type (0 pager, 1 SMS), city City and
// operator Operator, -1 if none. Without the phone list the section name must
// equal prefix + Operator + "(" + City + ")" apart from letter case and
// blanks; with it the section's type and city (blanks counting) must agree
// and Operator must equal the operator's Description, apart from letter case.
int GetOperatorIndex(const TOpList& OpList, int Type, std::string_view City,
                     std::string_view Operator, bool WithPhone);

// Appends the models of pagers.dat (a full path) to PagerList in file order.
// A missing file loads nothing.
void LoadPagers(TPagerList& PagerList, const std::string& FileName);

// True when a model name holds "SMS" in capitals.
bool IsSmsModel(std::string_view Model);
