#pragma once
// The framework's byte streams: the abstract TStream, a stream held in memory
// and a stream on a file. Read and Write return the number of bytes moved
// (short at the end of the data); Seek returns the new position. Positions,
// sizes and counts are 32-bit, as the framework had them.

#include "platform/ansistring.h"
#include "platform/exception.h"

#include <string>

// Seek origins.
enum : int { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

class EStreamError : public Exception {
public:
    using Exception::Exception;
};
class EReadError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

class TStream {
public:
    virtual ~TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Up to Count bytes; the number moved.
    virtual int Read(void* Buffer, int Count) = 0;
    virtual int Write(const void* Buffer, int Count) = 0;
    // Origin soFromBeginning, soFromCurrent or soFromEnd (Offset <= 0 reaches
    // back from the end); the new position.
    virtual int Seek(int Offset, int Origin) = 0;

    int Position() { return Seek(0, soFromCurrent); }
    void SetPosition(int Pos) { Seek(Pos, soFromBeginning); }
    // Seeks to the end and back unless a stream knows better.
    virtual int Size();

    // All Count bytes or EReadError "Stream read error" / EWriteError
    // "Stream write error".
    void ReadBuffer(void* Buffer, int Count);
    void WriteBuffer(const void* Buffer, int Count);
    // Copies Count bytes from Source's position; Count 0 copies the whole of
    // Source from its start. Returns the count copied.
    int CopyFrom(TStream& Source, int Count);

protected:
    TStream() = default;
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;

    int Read(void* Buffer, int Count) override;
    // Writing past the end grows the stream; a gap left by a seek past the
    // end reads as zero bytes.
    int Write(const void* Buffer, int Count) override;
    // Any position of 0 or more may be set; reads and writes at a negative
    // one move nothing.
    int Seek(int Offset, int Origin) override;
    int Size() override { return static_cast<int>(data_.size()); }

    void SetSize(int NewSize);  // keeps the position unless it is past the new end
    void Clear();               // empty, position 0

    // The stream's bytes.
    const std::string& Bytes() const noexcept { return data_; }
    const char* Memory() const noexcept { return data_.data(); }

private:
    std::string data_;
    int position_ = 0;
};

// Open modes. The sharing flags are accepted and have no effect here.
enum : unsigned {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFFFF,  // create or truncate, then read and write
    // Create a file that does not exist yet (an existing file or link is an
    // error, a link is never followed), readable by its owner only.
    fmCreateNew = 0xFFFE,
};

class TFileStream : public TStream {
public:
    // FileName is a path of this system (UTF-8). Raises EFOpenError
    // "Cannot open file "<name>". <reason>" or, for fmCreate and fmCreateNew, EFCreateError
    // "Cannot create file "<name>". <reason>".
    TFileStream(const std::string& FileName, unsigned Mode);
    ~TFileStream() override;

    // An I/O error raises EReadError / EWriteError with the reason; the end of
    // the file only shortens the count.
    int Read(void* Buffer, int Count) override;
    int Write(const void* Buffer, int Count) override;
    // A position the file cannot take (negative, or beyond 32 bits) raises
    // EStreamError "Seek error".
    int Seek(int Offset, int Origin) override;
    // A regular file's size is asked without moving the position.
    int Size() override;

    const std::string& FileName() const noexcept { return fileName_; }

private:
    std::string fileName_;
    int fd_ = -1;
};
