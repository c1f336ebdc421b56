#include "pager/showngroup.h"

#include "pager/opdb.h"
#include "platform/inifile.h"

#include <utility>

void TShownGroup::Load(const TIniFile& Book, const AnsiString& Section, const TOpList& OpList,
                       std::vector<AnsiString>* Renamed, std::vector<int>* OpIndexes)
{
    contacts_.clear();
    if (OpIndexes) OpIndexes->clear();
    std::vector<TBookEntry> entries = LoadBookGroup(Book, Section, Renamed);
    contacts_.reserve(entries.size());
    for (TBookEntry& e : entries) {
        const int op = GetOpIndex(OpList, e.Item.Addr);
        Append(std::move(e.Name), std::move(e.Item), TypeIndexOf(OpList, op));
        if (OpIndexes) OpIndexes->push_back(op);
    }
}

void TShownGroup::Save(TIniFile& Book, const AnsiString& Group) const { WriteBookGroup(Book, Group, Entries()); }

int TShownGroup::Append(AnsiString Name, TBookItem Item, int ImageIndex)
{
    auto contact = std::make_unique<TShownContact>();
    contact->Name = std::move(Name);
    contact->Item = std::move(Item);
    contact->ImageIndex = ImageIndex;
    contacts_.push_back(std::move(contact));
    return Count() - 1;
}

int TShownGroup::Add(const TOpList& OpList, const TBookItDialogResult& Result)
{
    TBookItem item;
    if (ApplyBookItDialog(OpList, Result, item) != TAddrUpdate::Built) return -1;
    return Append(Result.Name, item, Result.Type);
}

TAddrUpdate TShownGroup::Edit(int Index, const TOpList& OpList, const TBookItDialogResult& Result)
{
    TShownContact& c = *contacts_[static_cast<size_t>(Index)];
    const TAddrUpdate update = ApplyBookItDialog(OpList, Result, c.Item);
    c.Name = Result.Name;
    c.ImageIndex = update == TAddrUpdate::Built ? Result.Type : GetTypeIndex(OpList, c.Item.Addr);
    return update;
}

void TShownGroup::Remove(int Index) { contacts_.erase(contacts_.begin() + Index); }

bool TShownGroup::Move(int Index, int Delta)
{
    const int target = Index + Delta;
    if (Index < 0 || Index >= Count() || target < 0 || target >= Count()) return false;
    std::swap(*contacts_[static_cast<size_t>(Index)], *contacts_[static_cast<size_t>(target)]);
    return true;
}

void TShownGroup::SetChecked(int Index, bool Checked) { contacts_[static_cast<size_t>(Index)]->Checked = Checked; }

void TShownGroup::SetAllChecked(bool Checked)
{
    for (auto& c : contacts_) c->Checked = Checked;
}

int TShownGroup::FirstChecked() const
{
    for (int i = 0; i < Count(); ++i) {
        if (At(i).Checked) return i;
    }
    return -1;
}

std::vector<const TBookItem*> TShownGroup::CheckedItems() const
{
    std::vector<const TBookItem*> out;
    for (const auto& c : contacts_) {
        if (c->Checked) out.push_back(&c->Item);
    }
    return out;
}

std::vector<TBookEntry> TShownGroup::Entries() const
{
    std::vector<TBookEntry> out;
    out.reserve(contacts_.size());
    for (const auto& c : contacts_) out.push_back({c->Name, c->Item});
    return out;
}

std::vector<AnsiString> TShownGroup::Names() const
{
    std::vector<AnsiString> out;
    out.reserve(contacts_.size());
    for (const auto& c : contacts_) out.push_back(c->Name);
    return out;
}

TNameCheck TShownGroup::CheckName(std::string_view Name, int Self) const { return CheckContactName(Name, Names(), Self); }
