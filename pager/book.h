#pragma once
// The address book in book.dat: one ini section per group, one key per
// contact (the key is the contact's name), the contact's data in one line of
// eight comma-separated fields:
//   Addr,EMail,FullName,Model,Code,Header,Signature,Flags
// Text fields have every "," escaped with a backslash; Code is its stored
// name ("" for KOI8, "WIN", "RUS2LAT", "LAT2KOI8", "LAT2WIN"); Flags are three
// "0"/"1" characters (own greeting, copy to e-mail, own signature) without
// their trailing "0"s, and every empty field at the end of the line is left
// out together with its ",". A key with an empty value is not a contact: it
// only keeps an empty group's section ("NewItem").

#include "platform/ansistring.h"

#include <cstdint>
#include <string_view>
#include <vector>

class TIniFile;
class TOpList;

inline constexpr const char* BookFile = "book.dat";
// The key that keeps the section of a group without contacts.
inline constexpr const char* EmptyGroupKey = "NewItem";

// One contact. Texts hold at most 255 characters.
struct TBookItem {
    AnsiString Addr;       // gateway address with the number in place
    AnsiString EMail;      // the contact's own address
    AnsiString FullName;
    AnsiString Model;      // a model of pagers.dat, may be empty
    AnsiString Header;     // own greeting
    AnsiString Signature;  // own signature
    bool OwnHeader = false;
    bool CopyEMail = false;
    bool OwnSignature = false;
    int32_t Code = 0;      // recoding code 0..4

    bool operator==(const TBookItem&) const = default;
};

// Copies every field of Source into Dest.
inline void CopyBookItem(const TBookItem& Source, TBookItem& Dest) { Dest = Source; }

// Every text of Item cut to 255 characters.
void CutBookItem(TBookItem& Item);

// The stored line of a contact.
AnsiString BookItemToLine(const TBookItem& Item);
// A contact from its stored line: fields trimmed, missing ones empty, an
// unknown code name 0, a flag set only by "1"; texts cut to 255.
TBookItem BookItemFromLine(std::string_view Line);

// A contact with its name, as a row of the shown group holds it.
struct TBookEntry {
    AnsiString Name;
    TBookItem Item;
};

// The groups of the book, in file order, named as the file names them.
std::vector<AnsiString> ReadBookGroups(const TIniFile& Book);

// The name given to a group whose name in the file is empty.
AnsiString UnnamedGroup();
// The names under which the groups (or the contacts of one group) are shown
// and written back, one for each name the file holds. A name the file holds
// but cannot take back (an empty group name "[]", a lone CR, a NUL or
// another control byte inside a name) is made storable: each control byte a
// blank, blanks at either end gone, an empty group name UnnamedGroup(). Where
// that name is taken already (letter case aside) it is numbered: "Name (2)",
// "Name (3)"... Names that can be stored keep theirs.
std::vector<AnsiString> StorableNames(const std::vector<AnsiString>& Names, const AnsiString& ForEmpty);

// The contacts of a group in file order (keys with an empty value skipped),
// their names made storable by StorableNames. Renamed, when given, gets the
// new name of each contact whose name changed.
std::vector<TBookEntry> LoadBookGroup(const TIniFile& Book, const AnsiString& Group,
                                      std::vector<AnsiString>* Renamed = nullptr);
// Replaces the contacts of a group (in memory; the caller writes the file):
// every key of the section is deleted, so the section keeps its place, then
// one key per entry in order. A group without entries keeps an empty section
// ("NewItem" when the section is new), so it is not lost.
void WriteBookGroup(TIniFile& Book, const AnsiString& Group, const std::vector<TBookEntry>& Entries);

// What a name may be refused for.
enum class TNameCheck {
    Ok,
    Unstorable,  // the ini format cannot hold it as it stands
    Taken,       // another contact or group has it, apart from letter case
};
// A contact name is a key: not empty, no blank at either end, no control
// character, no "=", not starting with "[" or ";". Names[Self] is the
// contact's own (skipped; -1 for a new contact).
TNameCheck CheckContactName(std::string_view Name, const std::vector<AnsiString>& Names, int Self = -1);
// A group name is a section: not empty, no blank at either end, no control
// character, no "]".
TNameCheck CheckGroupName(std::string_view Name, const std::vector<AnsiString>& Names, int Self = -1);

// What the contact dialog gives back when it closes with OK.
struct TBookItDialogResult {
    AnsiString Name;       // eName
    AnsiString EMail;      // eEMail
    AnsiString FullName;   // eFullName
    int Type = 0;          // cbType: 0 pager, 1 SMS
    AnsiString City;       // cbCity's text
    AnsiString Operator;   // cbOperators' text
    int OpIndex = -1;      // the operator cbOperators' entry stands for; -1: found by the texts
    bool WithPhone = false;  // cbWithPhone
    AnsiString Num;        // eNum
    AnsiString Model;      // cbPagers' text, empty when none
    int Code = 0;          // cbCode's index
    AnsiString Header;     // eHeader
    AnsiString Signature;  // eSignat
    bool OwnHeader = false;     // cbAutoHeader
    bool CopyEMail = false;     // cbCopyEMail
    bool OwnSignature = false;  // cbAutoSignat
    // Editing: the user changed none of type, city, operator and number, so
    // the contact's address stays exactly as it is.
    bool KeepAddr = false;
};

// What the contact dialog is filled with to edit a contact.
struct TBookItDialogInit {
    AnsiString Name;
    TBookItem Item;
    int OpIndex = -1;  // for SetTypeCityOperator: GetOpIndex of Item.Addr
    AnsiString Num;    // GetPagerNum of Item.Addr
};
TBookItDialogInit BookItDialogInit(const TOpList& OpList, const AnsiString& Name, const TBookItem& Item);

// What became of the address when the dialog's values were taken.
enum class TAddrUpdate {
    Built,       // made from the chosen operator's template and the number
    Kept,        // KeepAddr: left exactly as it was
    NoOperator,  // no operator found for the choice: left as it was
};
// Takes the dialog's values into Item (texts cut to 255). Unless KeepAddr,
// Addr is set from the chosen operator (OpIndex, else the one that
// GetOperatorIndex finds for the dialog's type, city and operator texts),
// with the number in it; when none is found Addr is left as it is. OpIndex
// tells apart operators that the list shows by the same text.
TAddrUpdate ApplyBookItDialog(const TOpList& OpList, const TBookItDialogResult& Result, TBookItem& Item);
