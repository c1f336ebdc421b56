#include "netcomp/fxuue.h"

#include <string>

namespace {

constexpr int BlockSize = 45;  // input bytes per line

constexpr char MimeAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Fills Block from Source until it is full or Source gives no more bytes.
int readBlock(TStream& Source, unsigned char* Block)
{
    int n = 0;
    while (n < BlockSize) {
        const int got = Source.Read(Block + n, BlockSize - n);
        if (got <= 0)
            break;
        n += got;
    }
    return n;
}

void writeLine(TStream& Out, const std::string& Line)
{
    Out.WriteBuffer(Line.data(), static_cast<int>(Line.size()));
}

}  // namespace

void TFxUUProcessor::SelectAlphabet()
{
    if (Method == uuMime) {
        for (int i = 0; i < 64; ++i)
            Alphabet[static_cast<std::size_t>(i)] = MimeAlphabet[i];
    } else {
        Alphabet[0] = '`';
        for (int i = 1; i < 64; ++i)
            Alphabet[static_cast<std::size_t>(i)] = static_cast<char>(32 + i);
    }
}

void TFxUUProcessor::Encode()
{
    if (!InputStream)
        throw Exception("Encode: no input stream");
    if (!OutputStream)
        throw Exception("Encode: no output stream");
    TStream& in = *InputStream;
    TStream& out = *OutputStream;

    in.SetPosition(0);
    if (OnBeginEncode)
        OnBeginEncode(this);
    try {
        SelectAlphabet();
        auto a = [this](int v) { return Alphabet[static_cast<std::size_t>(v & 63)]; };
        unsigned char block[BlockSize];
        std::string line;
        while (in.Position() < in.Size()) {
            const int n = readBlock(in, block);
            if (n == 0)
                break;  // the stream said it had more than it gave
            line.clear();
            if (Method == uuCode)
                line += a(n);
            int i = 0;
            for (; i + 3 <= n; i += 3) {
                const int b0 = block[i], b1 = block[i + 1], b2 = block[i + 2];
                line += a(b0 >> 2);
                line += a((b0 << 4) | (b1 >> 4));
                line += a((b1 << 2) | (b2 >> 6));
                line += a(b2);
            }
            if (n - i == 1) {
                const int b0 = block[i];
                line += a(b0 >> 2);
                line += a((b0 << 4) & 48);
                if (Method == uuMime)
                    line += "==";
            } else if (n - i == 2) {
                const int b0 = block[i], b1 = block[i + 1];
                line += a(b0 >> 2);
                line += a(((b0 << 4) & 48) | (b1 >> 4));
                line += a((b1 << 2) & 60);
                if (Method == uuMime)
                    line += '=';
            }
            line += "\r\n";
            writeLine(out, line);
        }
        if (Method == uuCode)
            writeLine(out, "`\r\n");
    } catch (...) {
        out.SetPosition(0);
        if (OnEndEncode)
            OnEndEncode(this);
        throw;
    }
    out.SetPosition(0);
    if (OnEndEncode)
        OnEndEncode(this);
}
