#pragma once
// TS_BufferStream puts a 32 KiB buffer in front of another stream (its
// Target, not owned, which must outlive it). Reads are served from blocks
// read ahead; writes collect in the buffer and go to Target a full buffer at
// a time, on a seek, a flush, a read, or when the stream is destroyed.
//
// Its position is Target's position plus the bytes pending in the buffer
// (read ahead and not yet consumed: negative; written and not yet passed on:
// positive). Its size counts the bytes waiting to be written.

#include "netcomp/fxs_huge.h"
#include "platform/streams.h"

#include <functional>
#include <memory>

class TS_BufferStream : public TStream {
public:
    using TBufferEvent = std::function<void(TS_BufferStream* Sender)>;
    enum TDirection { sdIdle, sdReading, sdWriting };

    static constexpr int Capacity = 32768;

    explicit TS_BufferStream(TStream& Target);
    // Flushes bytes still waiting to be written.
    ~TS_BufferStream() override;

    int Read(void* Buffer, int Count) override;
    int Write(const void* Buffer, int Count) override;
    // Raises Exception "Invalid seek origin = <n>" for an origin other than
    // 0, 1, 2, and EStreamError "Seek error" when the pending bytes cannot be
    // written.
    int Seek(int Offset, int Origin) override;
    int Size() override;

    // Reads up to Capacity bytes from Target into the buffer; false when
    // Target gave none.
    virtual bool Refill();
    // Steps back one byte of the data read and stores Value there: the next
    // Read returns it. EStreamError "PutBack overflow" when no byte has been
    // read from the buffer.
    virtual void PutBack(unsigned char Value);
    virtual void DoRefilled();
    virtual void DoFlushed();
    // Writes the pending bytes to Target (when reading: puts Target back at
    // this stream's position and drops the read-ahead); true when Target took
    // them all. The stream is idle afterwards.
    virtual bool Flush();

    TStream& Target() const noexcept { return target_; }
    TDirection Direction() const noexcept { return direction_; }

    TBufferEvent OnRefilled;  // after each Refill
    TBufferEvent OnFlushed;   // after each Flush

private:
    int pendingOffset() const noexcept;

    TStream& target_;
    std::unique_ptr<unsigned char[]> bufStart_;
    unsigned char* cursor_ = nullptr;  // nullptr: nothing in the buffer to go on from
    unsigned char* dataEnd_ = nullptr;
    TDirection direction_ = sdIdle;
    int lastFlushed_ = 0;  // bytes Target took at the last Flush
};
