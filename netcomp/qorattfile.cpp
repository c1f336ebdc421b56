#include "netcomp/qorattfile.h"

#include "common/strs.h"
#include "netcomp/qor_util.h"
#include "netcomp/qormime.h"
#include "platform/app.h"
#include "platform/codepage.h"

#include <array>

namespace {

constexpr int ChunkSize = 1024;  // bytes read from the source at a time
constexpr int UUGroup = 45;      // bytes of one uuencoded line at most

void replaceData(TMemoryStream& Data, const std::string& bytes)
{
    Data.Clear();
    Data.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
    Data.SetPosition(0);
}

// Six bits of a uuencode character: the grave accent and the blank are 0,
// "!".."_" are 1..63; anything else is no uuencode.
int uuValue(char c)
{
    const int b = byteOf(c);
    if (b == '`' || b == ' ') return 0;
    if (b >= '!' && b <= '_') return b - 32;
    throw Exception("Oops...");
}

// The lines that close uuencoded data.
bool isUUEnd(const AnsiString& line)
{
    const AnsiString t = Trim(line);
    return t == "end" || t == "`";
}

}  // namespace

TMemoryStream& TAttachedFile::GetData()
{
    Data.SetPosition(0);
    return Data;
}

void TAttachedFile::EncodeBase64()
{
    Cancel = false;
    std::unique_ptr<TFileStream> file;
    TStream* source = &Data;
    if (Data.Size() > 0) {
        Data.SetPosition(0);
    } else {
        file = std::make_unique<TFileStream>(codepage::toUtf8(PathName), fmOpenRead | fmShareDenyNone);
        source = file.get();
    }

    TMailTempFile temp("qor_b64e.$$$");
    std::string fileBytes;  // what was read from the file, for Data
    {
        TBase64EncodingStream encoder(temp.Stream());
        char buffer[ChunkSize];
        int got = 0;
        do {
            app::ProcessMessages();
            if (Cancel) return;
            got = source->Read(buffer, ChunkSize);
            encoder.Write(buffer, got);
            if (file) fileBytes.append(buffer, static_cast<std::size_t>(got));
        } while (got == ChunkSize);
        encoder.Finish();
    }
    EncodedLines.SetText(temp.ReadAll());
    if (file) replaceData(Data, fileBytes);
}

void TAttachedFile::DecodeBase64()
{
    TMailTempFile temp("qor_b64d.$$$");
    {
        TBase64DecodingStream decoder(temp.Stream());
        // By index, with a copy of each line: a handler that runs meanwhile
        // cannot pull a line from under the decoder.
        for (int i = 0; i < EncodedLines.Count(); ++i) {
            const AnsiString line = EncodedLines[i];
            decoder.Write(line.data(), static_cast<int>(line.size()));
            app::ProcessMessages();
        }
        decoder.Finish();
    }
    replaceData(Data, temp.ReadAll());
}

void TAttachedFile::DecodeUU()
{
    TMailTempFile temp("qor_uud.$$$");
    for (int i = 1; i < EncodedLines.Count(); ++i) {
        const AnsiString line = EncodedLines[i];
        if (isUUEnd(line)) break;
        if (line.empty()) continue;
        const int count = std::min(uuValue(line[0]), UUGroup);
        std::array<unsigned char, UUGroup> group{};
        const std::size_t chars = std::min<std::size_t>(line.size() - 1, UUGroup / 3 * 4);
        unsigned bits = 0;
        int nbits = 0;
        std::size_t out = 0;
        for (std::size_t k = 0; k < chars; ++k) {
            bits = ((bits << 6) | static_cast<unsigned>(uuValue(line[k + 1]))) & 0xFFFFu;
            nbits += 6;
            if (nbits >= 8) {
                nbits -= 8;
                group[out++] = static_cast<unsigned char>((bits >> nbits) & 0xFF);
            }
        }
        temp.Stream().WriteBuffer(group.data(), count);
        app::ProcessMessages();
    }
    replaceData(Data, temp.ReadAll());
}

TAttachedFile& TAttachedFiles::Items(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw Exception("List index out of bounds (" + std::to_string(Index) + ")");
    return *items_[static_cast<std::size_t>(Index)];
}

TAttachedFile& TAttachedFiles::Add(const AnsiString& Path)
{
    auto item = std::make_unique<TAttachedFile>();
    item->FileName = ExtractFileName(Path);
    item->PathName = Path;
    item->ContentType = GetMimeType(Path);
    items_.push_back(std::move(item));
    return *items_.back();
}

void TAttachedFiles::Delete(int Index)
{
    Items(Index);
    items_.erase(items_.begin() + Index);
}
