#include "pager/messagetext.h"

#include <algorithm>

void TMessageText::SetShown(const QString& Header, const QString& Signature)
{
    header_ = Header;
    signature_ = Signature;
}

bool TMessageText::Stands() const
{
    if (!HasShown()) return true;
    return text_.size() >= header_.size() + signature_.size() && text_.startsWith(header_) &&
           text_.endsWith(signature_);
}

bool TMessageText::MayChange(int Start, int End) const
{
    return Start >= HeadLength() && End <= Length() - TailLength();
}

std::pair<int, int> TMessageText::CaretLimits() const
{
    const int len = Length();
    if (!HasShown()) return {0, len};
    const int low = std::min(HeadLength(), len);
    const int high = std::max(low, len - TailLength());
    return {low, high};
}

int TMessageText::ClampCaret(int Position) const
{
    const auto [low, high] = CaretLimits();
    return std::clamp(Position, low, high);
}

TMessageText::TInsertion TMessageText::Insertion() const
{
    TInsertion out;
    out.Text = text_;
    if (!HasShown()) {
        out.SignStart = out.Caret = Length();
        return out;
    }
    if (!signature_.isEmpty() && out.Text.isEmpty()) {
        out.Text = QStringLiteral(".");
        out.Dot = true;
    }
    out.Text = header_ + out.Text + signature_;
    const int len = static_cast<int>(out.Text.size());
    out.HeadLength = HeadLength();
    out.SignLength = TailLength();
    out.SignStart = len - out.SignLength;
    out.Caret = len - out.SignLength - (out.Dot ? 1 : 0);
    return out;
}

TMessageText::TRemoval TMessageText::Removal() const
{
    TRemoval out;
    const bool headStands = !header_.isEmpty() && text_.startsWith(header_);
    const bool signStands = !signature_.isEmpty() && text_.endsWith(signature_) &&
                            text_.size() >= signature_.size() + (headStands ? header_.size() : 0);
    out.HeadLength = headStands ? HeadLength() : 0;
    out.SignLength = signStands ? TailLength() : 0;
    out.Text = text_.mid(out.HeadLength, text_.size() - out.HeadLength - out.SignLength);
    return out;
}

int32_t TMessageText::SymbolCount() const
{
    int32_t count = 0;
    for (qsizetype i = 0; i < text_.size(); ++i) {
        const QChar c = text_[i];
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar(0x2028)) continue;
        // A pair of surrogates is one character.
        if (c.isHighSurrogate() && i + 1 < text_.size() && text_[i + 1].isLowSurrogate()) ++i;
        ++count;
    }
    return count;
}

AnsiString TMessageText::Body(AnsiString Stored, const AnsiString& Header, const AnsiString& Signature)
{
    if (!Header.empty() && Stored.starts_with(Header)) Stored.erase(0, Header.size());
    if (!Signature.empty() && Stored.ends_with(Signature)) Stored.resize(Stored.size() - Signature.size());
    return Stored;
}
