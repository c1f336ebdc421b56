#include "pager/opdb.h"

#include "common/strs.h"
#include "pager/service.h"
#include "platform/codepage.h"
#include "platform/inifile.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace {

constexpr std::string_view kNumberSlot = "###";
constexpr std::string_view kSmsPrefix = "SMS:";

std::string_view shortView(std::string_view s)
{
    return s.size() > ShortStringMax ? s.substr(0, ShortStringMax) : s;
}

AnsiString shortText(AnsiString s)
{
    if (s.size() > ShortStringMax) s.resize(ShortStringMax);
    return s;
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && byteOf(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && byteOf(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

AnsiString lowerLatin(AnsiString s)
{
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

bool startsWithSms(std::string_view s)
{
    return s.size() >= kSmsPrefix.size() && codepage::sameText(s.substr(0, kSmsPrefix.size()), kSmsPrefix);
}

// The operator's name part of a section name: no "SMS:", nothing from the
// first "(" on, trimmed.
AnsiString nameOfSection(std::string_view section)
{
    if (startsWithSms(section)) section.remove_prefix(kSmsPrefix.size());
    if (const auto open = section.find('('); open != std::string_view::npos) section = section.substr(0, open);
    return AnsiString(trimmed(section));
}

AnsiString withoutHashes(std::string_view s)
{
    AnsiString out;
    out.reserve(s.size());
    for (char c : s) {
        if (c != '#') out += c;
    }
    return out;
}

uint32_t gramAt(std::string_view s, size_t at)
{
    uint32_t g;
    std::memcpy(&g, s.data() + at, sizeof g);
    return g;
}

constexpr size_t kGram = sizeof(uint32_t);

}  // namespace

// The templates prepared for matching, with an index of four-byte pieces.
// Every template that can match an address has a piece that the address must
// contain: a piece of what is left of it without "#" (number first or last),
// or of its part before or after "###" (number in the middle). Each template
// is filed under the rarest such piece, so one look-up checks only the
// templates filed under the pieces of its address, plus the few too short to
// have a piece. The result is the one a scan of every entry gives.
class TOpList::Matcher {
public:
    explicit Matcher(const std::vector<Entry>& entries)
    {
        patterns_.reserve(entries.size());
        std::unordered_map<uint32_t, int> frequency;
        std::vector<std::vector<uint32_t>> grams(entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            patterns_.push_back(makePattern(entries[i].Item->MailGate));
            const Pattern& p = patterns_.back();
            auto& own = grams[i];
            if (p.kind == Kind::Loose) {
                addGrams(p.key, own);
            } else if (p.kind == Kind::Middle) {
                addGrams(p.prefix, own);
                addGrams(p.suffix, own);
            }
            std::sort(own.begin(), own.end());
            own.erase(std::unique(own.begin(), own.end()), own.end());
            for (uint32_t g : own) ++frequency[g];
        }
        for (size_t i = 0; i < entries.size(); ++i) {
            if (patterns_[i].kind == Kind::Never) continue;
            const auto& own = grams[i];
            if (own.empty()) {
                unindexed_.push_back(static_cast<int>(i));
                continue;
            }
            const uint32_t rarest = *std::min_element(own.begin(), own.end(), [&](uint32_t a, uint32_t b) {
                return frequency[a] < frequency[b];
            });
            byGram_[rarest].push_back(static_cast<int>(i));
        }
    }

    int match(std::string_view addr) const
    {
        const AnsiString a = codepage::lowerCase(shortView(addr));
        std::vector<int> candidates(unindexed_);
        for (size_t at = 0; at + kGram <= a.size(); ++at) {
            if (const auto it = byGram_.find(gramAt(a, at)); it != byGram_.end()) {
                candidates.insert(candidates.end(), it->second.begin(), it->second.end());
            }
        }
        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());

        int best = -1;
        size_t bestLength = 0;
        for (int i : candidates) {
            const Pattern& p = patterns_[static_cast<size_t>(i)];
            if (p.length > bestLength && matches(p, a)) {
                best = i;
                bestLength = p.length;
            }
        }
        return best;
    }

private:
    enum class Kind { Never, Loose, Middle };
    struct Pattern {
        Kind kind = Kind::Never;
        size_t length = 0;   // of the whole template
        AnsiString key;      // Loose: the template without "#"
        AnsiString prefix;   // Middle: before the first "###"
        AnsiString suffix;   // Middle: after it
    };

    static Pattern makePattern(std::string_view mailGate)
    {
        Pattern p;
        const AnsiString t = codepage::lowerCase(mailGate);
        p.length = t.size();
        const auto slot = t.find(kNumberSlot);
        if (t.empty() || slot == AnsiString::npos) return p;
        if (slot == 0 || slot == t.size() - kNumberSlot.size()) {
            p.key = withoutHashes(t);
            if (!p.key.empty()) p.kind = Kind::Loose;
        } else {
            p.kind = Kind::Middle;
            p.prefix = t.substr(0, slot);
            p.suffix = t.substr(slot + kNumberSlot.size());
        }
        return p;
    }

    static void addGrams(std::string_view s, std::vector<uint32_t>& out)
    {
        for (size_t at = 0; at + kGram <= s.size(); ++at) out.push_back(gramAt(s, at));
    }

    static bool matches(const Pattern& p, std::string_view a)
    {
        if (p.kind == Kind::Loose) return a.find(p.key) != std::string_view::npos;
        return a.starts_with(p.prefix) && a.ends_with(p.suffix);
    }

    std::vector<Pattern> patterns_;
    std::unordered_map<uint32_t, std::vector<int>> byGram_;
    std::vector<int> unindexed_;
};

TOpList::TOpList() = default;
TOpList::~TOpList() = default;

void TOpList::Add(AnsiString Name, TOpItem Item)
{
    gates_.insert(Item.MailGate);
    entries_.push_back({std::move(Name), std::make_unique<TOpItem>(std::move(Item))});
    matcher_.reset();
}

void TOpList::Clear()
{
    entries_.clear();
    gates_.clear();
    matcher_.reset();
}

bool TOpList::HasMailGate(std::string_view MailGate) const { return gates_.contains(AnsiString(MailGate)); }

const TOpList::Matcher& TOpList::matcher() const
{
    if (!matcher_) matcher_ = std::make_unique<Matcher>(entries_);
    return *matcher_;
}

int TOpList::Match(std::string_view Addr) const { return matcher().match(Addr); }

TOpItem ReadOperator(const TIniFile& Ini, const AnsiString& Section)
{
    return {shortText(lowerLatin(Ini.ReadString(Section, "MailGate", {}))),
            shortText(Ini.ReadString(Section, "Description", {}))};
}

void LoadOperators(TOpList& OpList, const std::string& FileName)
{
    const TIniFile ini(FileName);
    for (const AnsiString& section : ini.ReadSections()) {
        TOpItem item = ReadOperator(ini, section);
        if (item.MailGate.empty()) continue;
        if (item.Description.empty()) item.Description = shortText(nameOfSection(section));
        if (NotUse(OpList, item)) OpList.Add(section, std::move(item));
    }
}

bool NotUse(const TOpList& OpList, const TOpItem& Item) { return !OpList.HasMailGate(Item.MailGate); }

int GetOpIndex(const TOpList& OpList, std::string_view Addr) { return OpList.Match(Addr); }

int GetTypeIndex(const TOpList& OpList, std::string_view Addr) { return TypeIndexOf(OpList, GetOpIndex(OpList, Addr)); }

int TypeIndexOf(const TOpList& OpList, int OpIndex)
{
    if (OpIndex < 0) return -1;
    return startsWithSms(OpList.Strings(OpIndex)) ? 1 : 0;
}

int GetPagerIndex(const TPagerList& PagerList, std::string_view Model)
{
    const std::string_view model = shortView(Model);
    for (int i = 0; i < PagerList.Count(); ++i) {
        if (codepage::sameText(PagerList.Strings(i), model)) return i;
    }
    return -1;
}

AnsiString GetPagerNum(const TOpList& OpList, std::string_view Addr, int Index)
{
    if (Index < 0 || Index >= OpList.Count()) return {};
    AnsiString n = codepage::lowerCase(shortView(Addr));
    const AnsiString t = codepage::lowerCase(OpList.Objects(Index).MailGate);
    if (t.empty()) return n;
    const auto slot = t.find(kNumberSlot);
    // A template without a number slot has no number to give.
    if (slot == AnsiString::npos) return {};
    if (slot > 0) n = CutLeft(n, static_cast<int>(slot));
    const std::string_view after = std::string_view(t).substr(slot + kNumberSlot.size());
    if (!after.empty()) {
        if (const auto at = n.find(after); at != AnsiString::npos) n.resize(at);
    }
    return n;
}

int GetOperatorIndex(const TOpList& OpList, int Type, std::string_view City, std::string_view Operator,
                     bool WithPhone)
{
    if (Type != 0 && Type != 1) return -1;
    if (!WithPhone) {
        const AnsiString prefix = Type == 1 ? AnsiString(kSmsPrefix) : AnsiString();
        const AnsiString wanted = codepage::upperCase(
            DelSpaces(prefix + AnsiString(Operator) + "(" + AnsiString(City) + ")"));
        for (int i = 0; i < OpList.Count(); ++i) {
            if (codepage::upperCase(DelSpaces(OpList.Strings(i))) == wanted) return i;
        }
        return -1;
    }
    const AnsiString city = codepage::upperCase(City);
    const AnsiString op = codepage::upperCase(Operator);
    for (int i = 0; i < OpList.Count(); ++i) {
        const AnsiString s = codepage::upperCase(trimmed(OpList.Strings(i)));
        if (s.empty()) continue;
        std::string_view rest = s;
        const bool sms = rest.starts_with(kSmsPrefix);
        if (sms) rest.remove_prefix(kSmsPrefix.size());
        if (sms != (Type == 1)) continue;
        const auto open = rest.find('(');
        if (open == std::string_view::npos || !rest.ends_with(')')) continue;
        if (rest.substr(open + 1, rest.size() - 1 - (open + 1)) != city) continue;
        if (codepage::upperCase(OpList.Objects(i).Description) == op) return i;
    }
    return -1;
}

void LoadPagers(TPagerList& PagerList, const std::string& FileName)
{
    const TIniFile ini(FileName);
    for (const AnsiString& section : ini.ReadSections()) {
        PagerList.Add(section, TPagerItem{ini.ReadInteger(section, "MaxSymbols", DefaultModelMaxSymbols)});
    }
}

bool IsSmsModel(std::string_view Model) { return Model.find("SMS") != std::string_view::npos; }
