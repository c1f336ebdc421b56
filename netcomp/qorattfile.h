#pragma once
// The attachments of a mail message: each keeps its name, its path, its
// content type, its decoded bytes (Data) and its encoded lines, and converts
// between the two: base64 for sending, base64 and uuencode for received
// parts. Every conversion streams through a temporary file of its own in the
// program's private temporary folder (removed on every path, errors included)
// and lets the application handle its events as it goes, so large
// attachments do not freeze the window.

#include "netcomp/fxextstr.h"
#include "platform/streams.h"

#include <memory>
#include <vector>

class TAttachedFile {
public:
    TAttachedFile() = default;
    TAttachedFile(const TAttachedFile&) = delete;
    TAttachedFile& operator=(const TAttachedFile&) = delete;

    AnsiString FileName;         // the name without its folder
    AnsiString PathName;         // the path or name it was added with
    TExStringList EncodedLines;  // base64 or uuencoded lines
    TMemoryStream Data;          // the decoded bytes
    AnsiString ContentType;      // by the file's extension
    bool Cancel = false;         // set by a handler to stop EncodeBase64

    // Data, rewound to its start.
    TMemoryStream& GetData();

    // EncodedLines := base64 of Data (when it holds bytes) or of the file at
    // PathName, 76 characters a line; Data := the file's bytes when the file
    // was read. A set Cancel (a handler runs between chunks) stops it with
    // EncodedLines and Data unchanged. File errors go to the caller.
    void EncodeBase64();
    // Data := the bytes of the base64 text of EncodedLines (groups may span
    // lines; characters outside the alphabet are skipped).
    void DecodeBase64();
    // Data := the bytes of the uuencoded EncodedLines, whose first line is the
    // "begin" line, up to a line "end" or "`". Exception "Oops..." on a
    // character outside the uuencode alphabet; Data is then unchanged.
    void DecodeUU();
};

class TAttachedFiles {
public:
    TAttachedFiles() = default;
    TAttachedFiles(const TAttachedFiles&) = delete;
    TAttachedFiles& operator=(const TAttachedFiles&) = delete;

    int Count() const noexcept { return static_cast<int>(items_.size()); }
    // EStringListError-like "List index out of bounds (<index>)" outside
    // 0..Count-1.
    TAttachedFile& Items(int Index) const;
    // A new last item: FileName := the path's name, PathName := Path,
    // ContentType := GetMimeType of Path.
    TAttachedFile& Add(const AnsiString& Path);
    void Delete(int Index);
    void Clear() noexcept { items_.clear(); }

private:
    std::vector<std::unique_ptr<TAttachedFile>> items_;
};
