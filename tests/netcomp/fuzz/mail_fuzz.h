#pragma once
// One input of the mail fuzz target: the bytes as a raw mail through the
// parser, and through each decoder and header routine on their own, and a
// message built from them and parsed back. Shared by the libFuzzer target
// (fuzz_mail.cpp) and the test that replays the corpus in every test run.

#include "netcomp/qor_util.h"
#include "netcomp/qorattfile.h"
#include "netcomp/qormime.h"
#include "netcomp/qormsg.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

inline void FuzzMailInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TExStringList lines;
    lines.SetText(bytes);

    TQorMsg parsed;
    parsed.SetRawMail(lines);

    QPDecode(bytes);
    QPDecode(bytes, true);
    DecodeEncodedWord(bytes);
    CleanAddressList(bytes);
    GetBoundary(bytes);
    GetParameter("NAME", bytes);
    GetReplyNumber(bytes, 2, 0);
    IsIPAddress(bytes);
    {
        TMemoryStream out;
        TBase64DecodingStream decoder(out);
        decoder.Write(bytes.data(), static_cast<int>(bytes.size()));
        decoder.Finish();
    }
    {
        TAttachedFile file;
        file.EncodedLines = lines;
        try {
            file.DecodeUU();
        } catch (const Exception&) {
            // "Oops...": a character outside the uuencode alphabet.
        }
    }

    // Built from what was parsed, then parsed again.
    TQorMsg built;
    built.From = "a@b.c";
    built.Subject = parsed.Subject;
    built.Text = parsed.Text;
    built.TextEncoding = size % 2 ? teBase64 : te8Bit;
    for (int i = 0; i < parsed.Attachments.Count() && i < 4; ++i) {
        const TAttachedFile& from = parsed.Attachments.Items(i);
        const std::string& data = from.Data.Bytes();
        if (data.empty()) continue;  // an empty one would be read from a file of its name
        TAttachedFile& file = built.Attachments.Add(from.FileName);
        file.Data.WriteBuffer(data.data(), static_cast<int>(data.size()));
    }
    try {
        built.FillRawMail();
    } catch (const Exception&) {
        return;  // a field with a line break, refused
    }
    TQorMsg again;
    again.SetRawMail(built.RawMail);
}
