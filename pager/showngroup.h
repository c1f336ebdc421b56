#pragma once
// The shown group of the address book: the contacts of the group the main
// window's list shows, in their order, with their check marks (the
// recipients of the next message, never stored). Loading, saving, adding,
// editing, deleting and moving contacts work here; the list's rows are a
// view of it. book.dat gets the group back at the window's save points.

#include "pager/book.h"

#include <memory>
#include <string_view>
#include <vector>

class TIniFile;
class TOpList;

// One contact of the shown group.
struct TShownContact {
    AnsiString Name;      // the contact's key in book.dat
    TBookItem Item;
    int ImageIndex = -1;  // 0 pager, 1 SMS, -1 no image
    bool Checked = false;
};

class TShownGroup {
public:
    int Count() const { return static_cast<int>(contacts_.size()); }
    // A contact keeps its place in memory while it is in the group (a move
    // exchanges the values of two places, not the places).
    const TShownContact& At(int Index) const { return *contacts_[static_cast<size_t>(Index)]; }

    // The contacts of the section Section of Book in file order, unchecked,
    // each with the image of its operator's type; names the file cannot take
    // back made storable (Renamed gets the new ones). OpIndexes gets
    // GetOpIndex of each contact's address, in the contacts' order.
    void Load(const TIniFile& Book, const AnsiString& Section, const TOpList& OpList,
              std::vector<AnsiString>* Renamed = nullptr, std::vector<int>* OpIndexes = nullptr);
    // Writes the contacts as the group Group of Book (in memory; the caller
    // writes the file).
    void Save(TIniFile& Book, const AnsiString& Group) const;
    void Clear() { contacts_.clear(); }

    // Appends a contact, unchecked; its index.
    int Append(AnsiString Name, TBookItem Item, int ImageIndex);
    // A contact from the contact dialog's values, appended; its index, or -1
    // (nothing added) when no operator is found for the dialog's choice.
    int Add(const TOpList& OpList, const TBookItDialogResult& Result);
    // The dialog's values taken into contact Index. With the old address
    // kept, the image keeps telling that address's type.
    TAddrUpdate Edit(int Index, const TOpList& OpList, const TBookItDialogResult& Result);
    void Remove(int Index);
    // Contact Index and its neighbour Index + Delta exchange everything they
    // hold (name, data, image, check mark); False when there is no neighbour.
    bool Move(int Index, int Delta);

    void SetChecked(int Index, bool Checked);
    void SetAllChecked(bool Checked);
    // The first checked contact, -1 when none.
    int FirstChecked() const;
    std::vector<const TBookItem*> CheckedItems() const;

    // The contacts as book.dat stores them.
    std::vector<TBookEntry> Entries() const;
    std::vector<AnsiString> Names() const;
    // Whether Name may be given to a contact: Self is the contact's own
    // index (-1 for a new contact).
    TNameCheck CheckName(std::string_view Name, int Self = -1) const;

private:
    std::vector<std::unique_ptr<TShownContact>> contacts_;
};
