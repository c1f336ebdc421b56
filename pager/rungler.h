#pragma once
// TRungler: converts Windows-1251 text between Russian letters and a Latin
// spelling of them, in either direction.
//
// Russian to Latin writes each letter А..Я, Ё (and "№") as a Latin string
// (Ж "zh", Щ "sj", Ь "'", ...); a capital gives a capitalised string, a
// capital inside a run of capitals an all-capital one (ЖУК -> "ZhUK").
// Every other byte passes unchanged.
//
// Latin to Russian reads the digraphs ch, kh, zh, sh, shch, sj, ya, yo, yu,
// e', j' whatever their case, single letters and the signs ' ` (ь), ~ (ъ) and
// @ (э); the output follows the case of the first letter of each sequence, a
// sign on its own follows the letters around it unless a following ^ (capital)
// or _ (small) says otherwise. "\" before ' @ \ ` ~ gives that sign itself,
// "\" before anything else is dropped, and "\ " switches the conversion off
// (or back on) for the rest of the text. The result is Windows-1251; callers
// wanting KOI8-R recode it (WinToKoi).
//
// The Latin spellings of Щ and Х and the letter that W gives are program-wide:
// a mode set on one instance holds for every instance, and every instance
// reports the mode in force.

#include "platform/ansistring.h"

#include <string_view>

enum TConversionDirection { cdLatinToRussian, cdRussianToLatin };
// Latin spelling of Щ: "sj", "shch", "w", "q" or "sch".
enum TShchaConvMode { scUseSj, scUseShch, scUseW, scUseQ, scUseSch };
// Latin spelling of Х: "x" or "kh".
enum TXaConvMode { xcUseX, xcUseKH };
// Russian letter of a Latin W: в or щ.
enum TWInterpMode { wiAsV, wiAsSj };

class TRungler {
public:
    TRungler() = default;
    virtual ~TRungler() = default;
    TRungler(const TRungler&) = delete;
    TRungler& operator=(const TRungler&) = delete;

    // Whether letters are converted; "\ " in a Latin text inverts it, and the
    // new value stays for later conversions through OriginalStr.
    bool TransOn = true;
    // Direction of the next conversion; changing it converts nothing.
    TConversionDirection Direction = cdRussianToLatin;

    TShchaConvMode ShchaConvMode() const;
    TXaConvMode XaConvMode() const;
    TWInterpMode WInterpMode() const;
    // Each rewrites the program-wide table; nothing happens when the mode in
    // force is already Value.
    void SetShchaConvMode(TShchaConvMode Value);
    void SetXaConvMode(TXaConvMode Value);
    void SetWInterpMode(TWInterpMode Value);

    // The last text given to SetOriginalStr (or ConvertAfresh).
    const AnsiString& OriginalStr() const { return FOriginalStr; }
    // Converts Value in the current Direction into ConvertedStr, starting with
    // a clear case state. A Value equal (case-sensitive) to the stored one is
    // not converted again: ConvertedStr keeps its value, even when Direction,
    // a mode or TransOn has changed since.
    void SetOriginalStr(std::string_view Value);
    // The result of the last conversion.
    const AnsiString& ConvertedStr() const { return FConvertedStr; }

    // The conversion of S in the current Direction. It carries the case of
    // the previous letter over from the last call and, for "\ ", changes
    // TransOn.
    virtual AnsiString Convert(std::string_view S);

    // Message texts: converts Text in direction Dir as a text of its own and
    // returns the result. Direction := Dir; the case state is cleared; Text is
    // converted even when it equals OriginalStr; the conversion starts with
    // transliteration on, and a "\ " inside Text holds only for the rest of
    // Text: TransOn is neither read nor changed. OriginalStr := Text and
    // ConvertedStr := the result, as after SetOriginalStr.
    // Recoding codes: 2 (RUS2LAT) ConvertAfresh(T, cdRussianToLatin);
    // 3 (LAT2KOI8) WinToKoi(ConvertAfresh(T, cdLatinToRussian));
    // 4 (LAT2WIN) ConvertAfresh(T, cdLatinToRussian).
    AnsiString ConvertAfresh(std::string_view Text, TConversionDirection Dir);
    // One part of a message cut into parts: as ConvertAfresh, but the
    // conversion starts with Switch as its "\ " switch and leaves in Switch
    // what the part's own "\ " made of it, so a switch made in one part holds
    // for the parts after it. A message starts with Switch true.
    AnsiString ConvertAfresh(std::string_view Text, TConversionDirection Dir, bool& Switch);

    // Windows-1251 upper case of one byte: a..z and а..я lose 32, ё becomes Ё,
    // every other byte is returned unchanged.
    static unsigned char UpCaseChar(unsigned char C) noexcept;

private:
    AnsiString RussianToLatin(std::string_view S);
    AnsiString LatinToRussian(std::string_view S);

    AnsiString FOriginalStr;
    AnsiString FConvertedStr;
    // Whether the previous and the current output letter are upper case.
    bool PrevUpper = false;
    bool CurUpper = false;
};
