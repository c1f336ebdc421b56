#pragma once
// The mail codecs: a write-only base64 encoding stream and a write-only base64
// decoding stream that sit in front of a target stream (not owned; it must
// outlive them), the quoted-printable decoder and the content type of a file
// name. Everything here works on bytes.

#include "platform/streams.h"

#include <array>
#include <cstdint>

// Bytes written in leave as base64 characters, CR LF after every 76th
// character. Finish() writes the last group, padded with "=", without a line
// end after it; nothing is written when the stream is destroyed unfinished.
// A write error of the target goes on to the caller.
class TBase64EncodingStream : public TStream {
public:
    explicit TBase64EncodingStream(TStream& Target) : target_(Target) {}

    // EStreamError "Invalid stream operation".
    int Read(void* Buffer, int Count) override;
    int Write(const void* Buffer, int Count) override;
    // Position queries only ((0, current), (0, end), (the count, beginning))
    // give the number of characters written out; anything else raises
    // EStreamError "Invalid stream operation".
    int Seek(int Offset, int Origin) override;

    // Writes the bytes still pending; further writes raise EStreamError.
    void Finish();

private:
    TStream& target_;
    std::array<unsigned char, 3> group_{};
    int pending_ = 0;                 // bytes in group_
    std::uint32_t totalIn_ = 0;       // bytes written in
    std::uint32_t charsOut_ = 0;      // characters written out
    int column_ = 0;                  // characters on the current line
    bool finished_ = false;
};

// Base64 characters written in leave as bytes. Every character outside the
// alphabet and "=" (blanks, tabs, line ends, anything else) is skipped; groups
// of four may span writes. Finish() decodes a last group of two or three
// characters as if it were padded; a lone last character means nothing. A
// write error of the target goes on to the caller.
class TBase64DecodingStream : public TStream {
public:
    explicit TBase64DecodingStream(TStream& Target) : target_(Target) {}

    // Read and Seek raise EStreamError "Invalid stream operation".
    int Read(void* Buffer, int Count) override;
    int Write(const void* Buffer, int Count) override;
    int Seek(int Offset, int Origin) override;

    void Finish();

private:
    TStream& target_;
    std::array<int, 4> group_{};  // values 0..63, 64 for "="
    int count_ = 0;               // characters in group_
};

// The base64 text of Bytes as the encoding stream writes it (lines of 76,
// padded), and the bytes of a base64 text as the decoding stream gives them.
AnsiString Base64Encode(std::string_view Bytes);
AnsiString Base64Decode(std::string_view Text);

// Quoted-printable decoding: "=XY" becomes the byte of the hexadecimal number
// XY ("@" when XY is not one), "=" at a line end (blanks allowed before it)
// joins the line with the next, an "=" with fewer than two characters after it
// ends the text. With EncodedWord (the "Q" encoding of RFC 2047) "_" becomes a
// blank as well; in bodies it stays.
AnsiString QPDecode(std::string_view Text, bool EncodedWord = false);

// The content type of a file name by its extension, without regard to case,
// from the desktop's MIME database; "application/octet-stream" when it has
// none.
AnsiString GetMimeType(std::string_view FileName);

// The extension of a file name with its dot ("" when there is none): what
// follows the last "." after the last "/", "\" or ":".
AnsiString ExtractFileExt(std::string_view FileName);
// A file name without its folder: what follows the last "/", "\" or ":".
AnsiString ExtractFileName(std::string_view Path);
// The file name with its extension replaced by Ext (or Ext appended).
AnsiString ChangeFileExt(std::string_view FileName, std::string_view Ext);
