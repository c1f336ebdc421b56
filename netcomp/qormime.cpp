#include "netcomp/qormime.h"

#include "platform/codepage.h"

#include <QMimeDatabase>

#include <string>

namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int LineLength = 76;

[[noreturn]] void invalidOperation()
{
    throw EStreamError("Invalid stream operation");
}

// Value of a base64 character: 0..63, 64 for "=", -1 for anything else.
struct DecodeTable {
    int value[256];
    constexpr DecodeTable() : value{}
    {
        for (int& v : value) v = -1;
        for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(Alphabet[i])] = i;
        value[static_cast<unsigned char>('=')] = 64;
    }
};
constexpr DecodeTable Decode;

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Index just past the folder part of a path: after its last "/", "\" or ":".
std::size_t nameStart(std::string_view path)
{
    const auto at = path.find_last_of("/\\:");
    return at == std::string_view::npos ? 0 : at + 1;
}

}  // namespace

// ---- TBase64EncodingStream ----

int TBase64EncodingStream::Read(void*, int) { invalidOperation(); }

int TBase64EncodingStream::Seek(int Offset, int Origin)
{
    const int count = static_cast<int>(charsOut_);
    if ((Offset == 0 && (Origin == soFromCurrent || Origin == soFromEnd)) ||
        (Origin == soFromBeginning && Offset == count))
        return count;
    invalidOperation();
}

int TBase64EncodingStream::Write(const void* Buffer, int Count)
{
    if (finished_) invalidOperation();
    if (Count <= 0) return 0;
    totalIn_ += static_cast<std::uint32_t>(Count);
    const auto* in = static_cast<const unsigned char*>(Buffer);
    std::string out;
    out.reserve(static_cast<std::size_t>(Count) / 3 * 4 + static_cast<std::size_t>(Count) / 57 * 2 + 8);
    for (int i = 0; i < Count; ++i) {
        group_[static_cast<std::size_t>(pending_++)] = in[i];
        if (pending_ < 3) continue;
        pending_ = 0;
        const unsigned b0 = group_[0], b1 = group_[1], b2 = group_[2];
        out += Alphabet[b0 >> 2];
        out += Alphabet[((b0 & 3) << 4) | (b1 >> 4)];
        out += Alphabet[((b1 & 15) << 2) | (b2 >> 6)];
        out += Alphabet[b2 & 63];
        charsOut_ += 4;
        column_ += 4;
        if (column_ == LineLength) {
            out += "\r\n";
            column_ = 0;
        }
    }
    target_.WriteBuffer(out.data(), static_cast<int>(out.size()));
    return Count;
}

void TBase64EncodingStream::Finish()
{
    if (finished_) return;
    finished_ = true;
    std::string out;
    const unsigned b0 = group_[0], b1 = group_[1];
    if (pending_ == 1) {
        out += Alphabet[b0 >> 2];
        out += Alphabet[(b0 & 3) << 4];
        out += "==";
    } else if (pending_ == 2) {
        out += Alphabet[b0 >> 2];
        out += Alphabet[((b0 & 3) << 4) | (b1 >> 4)];
        out += Alphabet[(b1 & 15) << 2];
        out += '=';
    }
    pending_ = 0;
    charsOut_ += static_cast<std::uint32_t>(out.size());
    target_.WriteBuffer(out.data(), static_cast<int>(out.size()));
}

// ---- TBase64DecodingStream ----

int TBase64DecodingStream::Read(void*, int) { invalidOperation(); }
int TBase64DecodingStream::Seek(int, int) { invalidOperation(); }

namespace {

// The bytes of one group of four values (64 for "=").
void decodeGroup(const std::array<int, 4>& v, std::string& out)
{
    const int a = v[0], b = v[1], c = v[2], d = v[3];
    if (a == 64) return;
    out += static_cast<char>((a * 4 + b / 16) & 0xFF);
    if (c == 64) return;
    out += static_cast<char>((b % 16 * 16 + c / 4) & 0xFF);
    if (d == 64) return;
    out += static_cast<char>((c % 4 * 64 + d) & 0xFF);
}

}  // namespace

int TBase64DecodingStream::Write(const void* Buffer, int Count)
{
    if (Count <= 0) return 0;
    const auto* in = static_cast<const unsigned char*>(Buffer);
    std::string out;
    out.reserve(static_cast<std::size_t>(Count) / 4 * 3 + 3);
    for (int i = 0; i < Count; ++i) {
        const int v = Decode.value[in[i]];
        if (v < 0) continue;
        group_[static_cast<std::size_t>(count_++)] = v;
        if (count_ == 4) {
            count_ = 0;
            decodeGroup(group_, out);
        }
    }
    target_.WriteBuffer(out.data(), static_cast<int>(out.size()));
    return Count;
}

void TBase64DecodingStream::Finish()
{
    if (count_ >= 2) {
        for (int i = count_; i < 4; ++i) group_[static_cast<std::size_t>(i)] = 64;
        std::string out;
        decodeGroup(group_, out);
        target_.WriteBuffer(out.data(), static_cast<int>(out.size()));
    }
    count_ = 0;
}

AnsiString Base64Encode(std::string_view Bytes)
{
    TMemoryStream out;
    TBase64EncodingStream encoder(out);
    encoder.Write(Bytes.data(), static_cast<int>(Bytes.size()));
    encoder.Finish();
    return out.Bytes();
}

AnsiString Base64Decode(std::string_view Text)
{
    TMemoryStream out;
    TBase64DecodingStream decoder(out);
    decoder.Write(Text.data(), static_cast<int>(Text.size()));
    decoder.Finish();
    return out.Bytes();
}

// ---- QPDecode ----

AnsiString QPDecode(std::string_view Text, bool EncodedWord)
{
    AnsiString out;
    out.reserve(Text.size());
    const std::size_t n = Text.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = Text[i];
        if (c == '_' && EncodedWord) {
            out += ' ';
            ++i;
            continue;
        }
        if (c != '=') {
            out += c;
            ++i;
            continue;
        }
        // A soft line break: "=", perhaps blanks a mailer left, then the line end.
        std::size_t j = i + 1;
        while (j < n && isBlank(Text[j])) ++j;
        if (j == n) break;
        if (Text[j] == '\r' || Text[j] == '\n') {
            i = j + (Text[j] == '\r' && j + 1 < n && Text[j + 1] == '\n' ? 2 : 1);
            continue;
        }
        if (i + 2 >= n) break;  // fewer than two characters after it: the text ends
        const int hi = hexDigit(Text[i + 1]), lo = hexDigit(Text[i + 2]);
        out += hi < 0 || lo < 0 ? '@' : static_cast<char>(hi * 16 + lo);
        i += 3;
    }
    return out;
}

// ---- file names ----

AnsiString ExtractFileName(std::string_view Path) { return AnsiString(Path.substr(nameStart(Path))); }

AnsiString ExtractFileExt(std::string_view FileName)
{
    const std::string_view name = FileName.substr(nameStart(FileName));
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? AnsiString() : AnsiString(name.substr(dot));
}

AnsiString ChangeFileExt(std::string_view FileName, std::string_view Ext)
{
    const std::size_t start = nameStart(FileName);
    const auto dot = FileName.substr(start).rfind('.');
    const std::string_view stem = dot == std::string_view::npos ? FileName : FileName.substr(0, start + dot);
    return AnsiString(stem) + AnsiString(Ext);
}

AnsiString GetMimeType(std::string_view FileName)
{
    static const AnsiString fallback = "application/octet-stream";
    const AnsiString ext = ExtractFileExt(FileName);
    if (ext.size() < 2) return fallback;
    AnsiString lower = ext;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    const QMimeDatabase db;
    const QMimeType type =
        db.mimeTypeForFile(QStringLiteral("x") + codepage::toUnicode(lower), QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault()) return fallback;
    return codepage::fromUnicode(type.name());
}
