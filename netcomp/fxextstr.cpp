#include "netcomp/fxextstr.h"

#include "platform/codepage.h"

#include <algorithm>
#include <string_view>

namespace {

// The name of a header line: its text before the first ":", empty without one.
std::string_view headerName(const AnsiString& line) noexcept
{
    const auto colon = line.find(':');
    return colon == AnsiString::npos ? std::string_view() : std::string_view(line).substr(0, colon);
}

bool hasName(const AnsiString& line) noexcept
{
    return line.find(':') != AnsiString::npos;
}

// Order of a sorted list: lines without ":" first, then by name.
int compareLine(const AnsiString& line, bool named, std::string_view name) noexcept
{
    if (!hasName(line))
        return named ? -1 : 0;
    if (!named)
        return 1;
    return codepage::compareText(headerName(line), name);
}

bool nameLess(const AnsiString& a, const AnsiString& b) noexcept
{
    return compareLine(a, hasName(b), headerName(b)) < 0;
}

[[noreturn]] void indexError(int index)
{
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

[[noreturn]] void sortedError()
{
    throw EStringListError("Operation not allowed on sorted string list");
}

}  // namespace

const AnsiString& TExStringList::operator[](int Index) const
{
    if (Index < 0 || Index >= Count())
        indexError(Index);
    return lines_[static_cast<std::size_t>(Index)];
}

void TExStringList::Put(int Index, AnsiString S)
{
    if (sorted_)
        sortedError();
    if (Index < 0 || Index >= Count())
        indexError(Index);
    lines_[static_cast<std::size_t>(Index)] = std::move(S);
}

void TExStringList::Insert(int Index, AnsiString S)
{
    if (sorted_)
        sortedError();
    if (Index < 0 || Index > Count())
        indexError(Index);
    lines_.insert(lines_.begin() + Index, std::move(S));
}

int TExStringList::Add(AnsiString S)
{
    const int index = sorted_ ? insertionPoint(S) : Count();
    lines_.insert(lines_.begin() + index, std::move(S));
    return index;
}

void TExStringList::Delete(int Index)
{
    if (Index < 0 || Index >= Count())
        indexError(Index);
    lines_.erase(lines_.begin() + Index);
}

void TExStringList::SetSorted(bool Value)
{
    if (Value && !sorted_)
        std::stable_sort(lines_.begin(), lines_.end(), nameLess);
    sorted_ = Value;
}

AnsiString TExStringList::Text() const
{
    AnsiString text;
    for (const auto& line : lines_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::vector<AnsiString> SplitLines(std::string_view Text)
{
    std::vector<AnsiString> lines;
    std::size_t start = 0;
    while (start < Text.size()) {
        const std::size_t end = Text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(Text.substr(start));
            break;
        }
        lines.emplace_back(Text.substr(start, end - start));
        start = end + 1;
        if (Text[end] == '\r' && start < Text.size() && Text[start] == '\n')
            ++start;
    }
    return lines;
}

void TExStringList::SetText(std::string_view Value)
{
    lines_.clear();
    for (auto& line : SplitLines(Value))
        Add(std::move(line));
}

int TExStringList::insertionPoint(const AnsiString& S) const
{
    return static_cast<int>(std::upper_bound(lines_.begin(), lines_.end(), S, nameLess) - lines_.begin());
}

int TExStringList::IndexOfHeader(const AnsiString& Name) const
{
    if (!sorted_) {
        for (int i = 0; i < Count(); ++i) {
            const auto& line = lines_[static_cast<std::size_t>(i)];
            if (hasName(line) && codepage::sameText(headerName(line), Name))
                return i;
        }
        return -1;
    }
    int low = 0;
    int high = Count() - 1;
    while (low <= high) {
        const int mid = low + (high - low) / 2;
        const int c = compareLine(lines_[static_cast<std::size_t>(mid)], true, Name);
        if (c == 0)
            return mid;
        if (c < 0)
            low = mid + 1;
        else
            high = mid - 1;
    }
    return -1;
}

void TExStringList::SetHeader(const AnsiString& Name, const AnsiString& Value)
{
    const int index = IndexOfHeader(Name);
    if (Value.empty()) {
        if (index >= 0)
            Delete(index);
        return;
    }
    AnsiString line = Name + ": " + Value;
    if (index >= 0)
        lines_[static_cast<std::size_t>(index)] = std::move(line);  // same name: the order holds
    else
        Add(std::move(line));
}
