#include "pager/contactchoice.h"

#include "pager/opdb.h"
#include "platform/codepage.h"

#include <algorithm>
#include <unordered_set>

namespace {

constexpr std::string_view kSmsPrefix = "SMS:";

bool startsWithSms(std::string_view s)
{
    return s.size() >= kSmsPrefix.size() && codepage::sameText(s.substr(0, kSmsPrefix.size()), kSmsPrefix);
}

// The sorted lists order their items by letters, case ignored, "Ё" with
// "Е"; equal items keep the order they were added in.
template <class T, class Key>
void sortLikeTheList(std::vector<T>& items, Key key)
{
    std::stable_sort(items.begin(), items.end(),
                     [&](const T& a, const T& b) { return codepage::collate(key(a), key(b)) < 0; });
}

}  // namespace

TOpPlace OpPlaceOf(std::string_view Section)
{
    TOpPlace place;
    AnsiString s = Trim(Section);
    std::string_view rest = s;
    if (startsWithSms(rest)) {
        place.Type = OpTypeSms;
        rest.remove_prefix(kSmsPrefix.size());
    }
    const auto open = rest.find('(');
    if (open == std::string_view::npos || !rest.ends_with(')')) return place;
    place.Listed = true;
    place.City = AnsiString(rest.substr(open + 1, rest.size() - 1 - (open + 1)));
    place.Name = Trim(rest.substr(0, open));
    return place;
}

std::vector<AnsiString> ContactCities(const TOpList& OpList, int Type)
{
    std::vector<AnsiString> cities;
    // The cities taken so far, upper-cased: equal keys are equal apart from
    // letter case (sameText).
    std::unordered_set<AnsiString> taken;
    for (int i = 0; i < OpList.Count(); ++i) {
        TOpPlace place = OpPlaceOf(OpList.Strings(i));
        if (!place.Listed || place.Type != Type || place.City.empty()) continue;
        if (taken.insert(codepage::upperCase(place.City)).second) cities.push_back(std::move(place.City));
    }
    sortLikeTheList(cities, [](const AnsiString& s) -> const AnsiString& { return s; });
    return cities;
}

std::vector<TContactOperator> ContactOperators(const TOpList& OpList, int Type, std::string_view City,
                                               bool WithPhone)
{
    std::vector<TContactOperator> ops;
    for (int i = 0; i < OpList.Count(); ++i) {
        const TOpPlace place = OpPlaceOf(OpList.Strings(i));
        if (!place.Listed || place.Type != Type || !codepage::sameText(place.City, City)) continue;
        const AnsiString& description = OpList.Objects(i).Description;
        ops.push_back({WithPhone && !description.empty() ? description : place.Name, i});
    }
    sortLikeTheList(ops, [](const TContactOperator& o) -> const AnsiString& { return o.Text; });
    return ops;
}

std::vector<AnsiString> ContactModels(const TPagerList& PagerList, int Type)
{
    std::vector<AnsiString> models;
    for (int i = 0; i < PagerList.Count(); ++i) {
        if (IsSmsModel(PagerList.Strings(i)) == (Type == OpTypeSms)) models.push_back(PagerList.Strings(i));
    }
    return models;
}

int FindText(const std::vector<AnsiString>& Items, std::string_view Text)
{
    for (size_t i = 0; i < Items.size(); ++i) {
        if (codepage::sameText(Items[i], Text)) return static_cast<int>(i);
    }
    return -1;
}

std::optional<TOpSelection> OpSelectionOf(const TOpList& OpList, int OpIndex, bool WithPhone)
{
    if (OpIndex < 0 || OpIndex >= OpList.Count()) return std::nullopt;
    const AnsiString name = codepage::upperCase(OpList.Strings(OpIndex));
    if (name.empty()) return std::nullopt;
    TOpSelection sel;
    std::string_view rest = name;
    if (rest.starts_with(kSmsPrefix)) {
        sel.Sms = true;
        rest.remove_prefix(kSmsPrefix.size());
    }
    const auto open = rest.find('(');
    if (open == std::string_view::npos || !rest.ends_with(')')) return sel;
    sel.City = Trim(rest.substr(open + 1, rest.size() - 1 - (open + 1)));
    sel.Operator = WithPhone ? codepage::upperCase(OpList.Objects(OpIndex).Description) : Trim(rest.substr(0, open));
    return sel;
}

const TCharSet& NumberForbidden()
{
    static const TCharSet set = CharRange(0, 43) | CharsOf("/") | CharRange(58, 64) | CharRange(91, 94) |
                                CharsOf("`") | CharRange(123, 127) | CharRange(192, 255);
    return set;
}

bool ContactOkRule(std::string_view Name, std::string_view Num)
{
    return CheckChars(Num, NumberForbidden()) && !Trim(Name).empty();
}
