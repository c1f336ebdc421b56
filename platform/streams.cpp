#include "platform/streams.h"

#include "platform/codepage.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A position worked out in 64 bits, back in 32 bits or "Seek error".
int checkedPosition(long long pos)
{
    if (pos < INT_MIN || pos > INT_MAX)
        throw EStreamError("Seek error");
    return static_cast<int>(pos);
}

AnsiString reason(int err)
{
    return codepage::fromUtf8(std::strerror(err));
}

}  // namespace

// ---- TStream ----

int TStream::Size()
{
    const int pos = Seek(0, soFromCurrent);
    const int size = Seek(0, soFromEnd);
    Seek(pos, soFromBeginning);
    return size;
}

void TStream::ReadBuffer(void* Buffer, int Count)
{
    if (Count != 0 && Read(Buffer, Count) != Count)
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int Count)
{
    if (Count != 0 && Write(Buffer, Count) != Count)
        throw EWriteError("Stream write error");
}

int TStream::CopyFrom(TStream& Source, int Count)
{
    if (Count == 0) {
        Source.SetPosition(0);
        Count = Source.Size();
    }
    if (Count <= 0)
        return 0;
    constexpr int chunk = 61440;
    std::string buffer(static_cast<std::size_t>(std::min(Count, chunk)), '\0');
    const int total = Count;
    while (Count > 0) {
        const int n = std::min(Count, chunk);
        Source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        Count -= n;
    }
    return total;
}

// ---- TMemoryStream ----

int TMemoryStream::Read(void* Buffer, int Count)
{
    const int size = Size();
    if (Count <= 0 || position_ < 0 || position_ >= size)
        return 0;
    const int n = std::min(Count, size - position_);
    std::memcpy(Buffer, data_.data() + position_, static_cast<std::size_t>(n));
    position_ += n;
    return n;
}

int TMemoryStream::Write(const void* Buffer, int Count)
{
    if (Count <= 0 || position_ < 0)
        return 0;
    const long long end = static_cast<long long>(position_) + Count;
    if (end > INT_MAX)
        return 0;
    if (end > Size())
        data_.resize(static_cast<std::size_t>(end), '\0');
    std::memcpy(data_.data() + position_, Buffer, static_cast<std::size_t>(Count));
    position_ = static_cast<int>(end);
    return Count;
}

int TMemoryStream::Seek(int Offset, int Origin)
{
    long long pos;
    switch (Origin) {
    case soFromBeginning: pos = Offset; break;
    case soFromCurrent: pos = static_cast<long long>(position_) + Offset; break;
    case soFromEnd: pos = static_cast<long long>(Size()) + Offset; break;
    default: throw EStreamError("Seek error");
    }
    position_ = checkedPosition(pos);
    return position_;
}

void TMemoryStream::SetSize(int NewSize)
{
    data_.resize(static_cast<std::size_t>(std::max(NewSize, 0)), '\0');
    position_ = std::min(position_, Size());
}

void TMemoryStream::Clear()
{
    data_.clear();
    position_ = 0;
}

// ---- TFileStream ----

TFileStream::TFileStream(const std::string& FileName, unsigned Mode) : fileName_(FileName)
{
    int flags = O_CLOEXEC;
    mode_t permissions = 0666;
    const bool creating = Mode == fmCreate || Mode == fmCreateNew;
    if (Mode == fmCreate) {
        flags |= O_RDWR | O_CREAT | O_TRUNC;
    } else if (Mode == fmCreateNew) {
        flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
        permissions = 0600;
    } else {
        switch (Mode & 0x3) {
        case fmOpenWrite: flags |= O_WRONLY; break;
        case fmOpenReadWrite: flags |= O_RDWR; break;
        default: flags |= O_RDONLY; break;
        }
    }
    do {
        fd_ = ::open(FileName.c_str(), flags, permissions);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
        // Built by appending: GCC 12 warns (-Wrestrict) on a literal put in
        // front of a temporary string.
        AnsiString text = creating ? "Cannot create file \"" : "Cannot open file \"";
        text += codepage::fromUtf8(FileName);
        text += "\". ";
        text += reason(errno);
        if (creating)
            throw EFCreateError(text);
        throw EFOpenError(text);
    }
}

TFileStream::~TFileStream()
{
    if (fd_ >= 0)
        ::close(fd_);
}

int TFileStream::Read(void* Buffer, int Count)
{
    int total = 0;
    auto* dest = static_cast<char*>(Buffer);
    while (total < Count) {
        const ssize_t n = ::read(fd_, dest + total, static_cast<std::size_t>(Count - total));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EReadError("Stream read error: " + reason(errno));
        }
        if (n == 0)
            break;
        total += static_cast<int>(n);
    }
    return total;
}

int TFileStream::Write(const void* Buffer, int Count)
{
    int total = 0;
    const auto* src = static_cast<const char*>(Buffer);
    while (total < Count) {
        const ssize_t n = ::write(fd_, src + total, static_cast<std::size_t>(Count - total));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EWriteError("Stream write error: " + reason(errno));
        }
        total += static_cast<int>(n);
    }
    return total;
}

int TFileStream::Seek(int Offset, int Origin)
{
    int whence;
    switch (Origin) {
    case soFromBeginning: whence = SEEK_SET; break;
    case soFromCurrent: whence = SEEK_CUR; break;
    case soFromEnd: whence = SEEK_END; break;
    default: throw EStreamError("Seek error");
    }
    const off_t pos = ::lseek(fd_, Offset, whence);
    if (pos < 0)
        throw EStreamError("Seek error");
    return checkedPosition(pos);
}

int TFileStream::Size()
{
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
        return TStream::Size();  // what cannot seek says so as before
    return checkedPosition(st.st_size);
}
