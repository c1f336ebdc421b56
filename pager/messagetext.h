#pragma once
// The message box's rules. The box shows the typed text with the selected
// contact's greeting at its start and signature at its end, both protected:
// the user types only between them. Everything here counts positions as the
// box does: in UTF-16 units of the shown text, a line break one character
// (LF). The window converts the texts once at the box (CR LF in the message,
// LF in the box) and hands the shown forms in; the box applies the answers.

#include "platform/ansistring.h"

#include <QString>

#include <cstdint>
#include <utility>

class TMessageText {
public:
    // The box's text as it shows it now.
    void SetText(const QString& Text) { text_ = Text; }
    const QString& Text() const { return text_; }
    int Length() const { return static_cast<int>(text_.size()); }

    // The greeting and signature the box shows (as shown: LF line breaks);
    // empty when none.
    void SetShown(const QString& Header, const QString& Signature);
    const QString& Header() const { return header_; }
    const QString& Signature() const { return signature_; }
    bool HasShown() const { return !header_.isEmpty() || !signature_.isEmpty(); }
    int HeadLength() const { return static_cast<int>(header_.size()); }
    int TailLength() const { return static_cast<int>(signature_.size()); }

    // The greeting stands at the text's start and the signature at its end,
    // without overlapping (always so when none is shown).
    bool Stands() const;

    // Whether an edit of the stretch [Start, End) leaves the greeting and
    // the signature alone.
    bool MayChange(int Start, int End) const;
    // The stretch [first, second] the caret and either end of a selection
    // are kept in: from just after the greeting to just before the signature.
    std::pair<int, int> CaretLimits() const;
    int ClampCaret(int Position) const;

    // Putting the greeting and signature into the text as it stands now.
    struct TInsertion {
        bool Dot = false;   // an empty box gets "." first, so a signature follows something
        QString Text;       // the text afterwards
        int HeadStart = 0;  // the grey stretches
        int HeadLength = 0;
        int SignStart = 0;
        int SignLength = 0;
        int Caret = 0;  // at the end of the typed text, in front of a "." given
    };
    TInsertion Insertion() const;

    // Taking them out again: each only where it still stands.
    struct TRemoval {
        int HeadLength = 0;  // removed from the start
        int SignLength = 0;  // removed from the end
        QString Text;        // the text afterwards
    };
    TRemoval Removal() const;

    // The characters the message holds, line breaks not counted; a character
    // outside the UTF-16 basic plane is one.
    int32_t SymbolCount() const;

    // The message text without the greeting and signature, from the box's
    // text as the message holds it (cp1251, CR LF) and the shown texts in the
    // same form; each only where it stands.
    static AnsiString Body(AnsiString Stored, const AnsiString& Header, const AnsiString& Signature);

private:
    QString text_;
    QString header_;
    QString signature_;
};
