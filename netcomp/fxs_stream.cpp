#include "netcomp/fxs_stream.h"

#include <algorithm>
#include <climits>
#include <string>

TS_BufferStream::TS_BufferStream(TStream& Target)
    : target_(Target), bufStart_(std::make_unique<unsigned char[]>(Capacity))
{
}

TS_BufferStream::~TS_BufferStream()
{
    if (direction_ != sdWriting)
        return;
    try {
        Flush();
    } catch (...) {
        // Nobody is left to tell; the bytes Target refused are lost.
    }
}

int TS_BufferStream::pendingOffset() const noexcept
{
    switch (direction_) {
    case sdReading: return static_cast<int>(cursor_ - dataEnd_);
    case sdWriting: return static_cast<int>(cursor_ - bufStart_.get());
    case sdIdle: break;
    }
    return 0;
}

bool TS_BufferStream::Refill()
{
    if (direction_ == sdWriting && !Flush())
        throw EWriteError("Stream write error");
    const int n = std::max(target_.Read(bufStart_.get(), Capacity), 0);
    cursor_ = bufStart_.get();
    dataEnd_ = static_cast<unsigned char*>(OffsetPointer(bufStart_.get(), n));
    direction_ = n > 0 ? sdReading : sdIdle;
    DoRefilled();
    return n > 0;
}

bool TS_BufferStream::Flush()
{
    bool complete = true;
    lastFlushed_ = 0;
    if (direction_ == sdWriting) {
        const int pending = static_cast<int>(cursor_ - bufStart_.get());
        lastFlushed_ = std::max(target_.Write(bufStart_.get(), pending), 0);
        complete = lastFlushed_ == pending;
    } else if (direction_ == sdReading) {
        // Give back the read-ahead: Target goes back to where this stream is.
        target_.Seek(pendingOffset(), soFromCurrent);
    }
    cursor_ = bufStart_.get();
    dataEnd_ = cursor_;
    direction_ = sdIdle;
    DoFlushed();
    return complete;
}

int TS_BufferStream::Read(void* Buffer, int Count)
{
    if (direction_ == sdWriting && !Flush())
        throw EWriteError("Stream write error");
    int total = 0;
    while (Count > 0) {
        // Only read-ahead counts as data: an idle buffer holds nothing to read,
        // whatever a full write left in it.
        int left = direction_ == sdReading ? static_cast<int>(dataEnd_ - cursor_) : 0;
        if (left == 0) {
            if (!Refill())
                break;
            left = static_cast<int>(dataEnd_ - cursor_);
        }
        const int n = std::min(left, Count);
        MoveBytes(OffsetPointer(Buffer, total), cursor_, n);
        cursor_ += n;
        total += n;
        Count -= n;
    }
    return total;
}

int TS_BufferStream::Write(const void* Buffer, int Count)
{
    if (Count <= 0)
        return 0;
    if (direction_ == sdReading) {
        target_.Seek(pendingOffset(), soFromCurrent);
        cursor_ = nullptr;
        direction_ = sdIdle;
    }
    if (direction_ != sdWriting) {
        cursor_ = bufStart_.get();
        dataEnd_ = static_cast<unsigned char*>(OffsetPointer(bufStart_.get(), Capacity));
    }
    int taken = 0;
    while (Count > 0) {
        const int before = static_cast<int>(cursor_ - bufStart_.get());
        const int n = std::min(static_cast<int>(dataEnd_ - cursor_), Count);
        MoveBytes(cursor_, OffsetPointer(Buffer, taken), n);
        cursor_ += n;
        direction_ = sdWriting;
        if (cursor_ == dataEnd_ && !Flush()) {
            // Count only what of this call's bytes Target took.
            taken += std::clamp(lastFlushed_ - before, 0, n);
            return taken;
        }
        if (direction_ == sdIdle)  // flushed: the buffer starts again
            dataEnd_ = static_cast<unsigned char*>(OffsetPointer(bufStart_.get(), Capacity));
        taken += n;
        Count -= n;
    }
    if (cursor_ == bufStart_.get())
        direction_ = sdIdle;
    return taken;
}

int TS_BufferStream::Size()
{
    const int size = target_.Size();
    if (direction_ != sdWriting)
        return size;
    const long long end = static_cast<long long>(target_.Position()) + pendingOffset();
    return static_cast<int>(std::min<long long>(std::max<long long>(size, end), INT_MAX));
}

int TS_BufferStream::Seek(int Offset, int Origin)
{
    const long long current = static_cast<long long>(target_.Position()) + pendingOffset();
    long long pos;
    switch (Origin) {
    case soFromBeginning: pos = Offset; break;
    case soFromCurrent: pos = current + Offset; break;
    case soFromEnd: pos = static_cast<long long>(Size()) + Offset; break;
    default: throw Exception("Invalid seek origin = " + std::to_string(Origin));
    }
    if (pos < INT_MIN || pos > INT_MAX)
        throw EStreamError("Seek error");
    if (pos == current)
        return static_cast<int>(pos);
    if (direction_ == sdWriting && !Flush())
        throw EStreamError("Seek error");
    const int result = target_.Seek(static_cast<int>(pos), soFromBeginning);
    cursor_ = nullptr;
    dataEnd_ = nullptr;
    direction_ = sdIdle;
    return result;
}

void TS_BufferStream::PutBack(unsigned char Value)
{
    if (direction_ != sdReading || cursor_ == bufStart_.get())
        throw EStreamError("PutBack overflow");
    --cursor_;
    *cursor_ = Value;
}

void TS_BufferStream::DoRefilled()
{
    if (OnRefilled)
        OnRefilled(this);
}

void TS_BufferStream::DoFlushed()
{
    if (OnFlushed)
        OnFlushed(this);
}
