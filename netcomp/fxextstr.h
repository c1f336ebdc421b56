#pragma once
// TExStringList: a list of text lines with two operations for header lines
// made of a name, a colon and a value ("Subject: Hello"). The name of a line
// is its text before its first ":"; names are compared without case by the
// Windows-1251 rules.
//
// A sorted list keeps its lines in the order of their names (a line without
// ":" has an empty name and comes first; lines of equal names keep the order
// they were added in), which is the order its header look-up searches.

#include "platform/ansistring.h"
#include "platform/exception.h"

#include <string_view>
#include <vector>

class EStringListError : public Exception {
public:
    using Exception::Exception;
};

// The lines of Text by the rule of TExStringList::SetText.
std::vector<AnsiString> SplitLines(std::string_view Text);

class TExStringList {
public:
    TExStringList() = default;

    int Count() const noexcept { return static_cast<int>(lines_.size()); }
    // EStringListError "List index out of bounds (<index>)" outside 0..Count-1.
    const AnsiString& operator[](int Index) const;
    const AnsiString& Strings(int Index) const { return (*this)[Index]; }
    // Put and Insert raise EStringListError "Operation not allowed on sorted
    // string list" on a sorted list.
    void Put(int Index, AnsiString S);
    void Insert(int Index, AnsiString S);
    // Appends, or on a sorted list inserts at the place of its name; returns
    // the line's index.
    int Add(AnsiString S);
    void Delete(int Index);
    void Clear() noexcept { lines_.clear(); }

    bool Sorted() const noexcept { return sorted_; }
    void SetSorted(bool Value);

    // Every line followed by CR LF.
    AnsiString Text() const;
    // Replaces the lines by those of Value: a line ends at CR LF, at a lone CR
    // or at a lone LF; a last line without a line end counts as well. Every
    // other byte, NUL included, is kept.
    void SetText(std::string_view Value);
    const std::vector<AnsiString>& Lines() const noexcept { return lines_; }
    auto begin() const noexcept { return lines_.begin(); }
    auto end() const noexcept { return lines_.end(); }

    // Index of the (first, when unsorted) line whose name is Name, or -1.
    // A line without ":" is never found.
    int IndexOfHeader(const AnsiString& Name) const;
    // With a Value: sets the line of Name to Name + ": " + Value, in place
    // when there is one, else as a new line. With an empty Value: deletes the
    // line of Name, if any.
    void SetHeader(const AnsiString& Name, const AnsiString& Value);

private:
    int insertionPoint(const AnsiString& S) const;

    std::vector<AnsiString> lines_;
    bool sorted_ = false;
};
