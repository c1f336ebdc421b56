#include "netcomp/fxs_stream.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int Cap = TS_BufferStream::Capacity;

std::string pattern(int size, char seed)
{
    std::string s;
    for (int i = 0; i < size; ++i)
        s += static_cast<char>(seed + i % 23);
    return s;
}

void fill(TMemoryStream& m, const std::string& bytes)
{
    m.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
    m.SetPosition(0);
}

std::string readN(TStream& s, int count)
{
    std::string out(static_cast<std::size_t>(count), '\0');
    out.resize(static_cast<std::size_t>(s.Read(out.data(), count)));
    return out;
}

int writeAll(TStream& s, const std::string& bytes)
{
    return s.Write(bytes.data(), static_cast<int>(bytes.size()));
}

// A target that takes no more than Limit bytes in all.
class LimitedStream : public TMemoryStream {
public:
    explicit LimitedStream(int limit) : limit_(limit) {}
    int Write(const void* Buffer, int Count) override
    {
        const int n = std::min(Count, limit_ - Size());
        return n > 0 ? TMemoryStream::Write(Buffer, n) : 0;
    }

private:
    int limit_;
};

}  // namespace

TEST(BufferStream, WriteSeekReadBack)
{
    TMemoryStream target;
    TS_BufferStream s(target);
    const std::string data = pattern(100, 'a');
    EXPECT_EQ(writeAll(s, data), 100);
    EXPECT_EQ(s.Position(), 100);
    EXPECT_EQ(s.Seek(0, soFromBeginning), 0);
    EXPECT_EQ(target.Bytes(), data);
    EXPECT_EQ(readN(s, 100), data);
    EXPECT_EQ(readN(s, 10), "");  // the end of Target ends a read
    EXPECT_EQ(s.Position(), 100);
}

TEST(BufferStream, ReadAfterAWriteThatFilledTheBuffer)
{
    // The write ends exactly on a full buffer; what follows must come from
    // Target, not from the bytes just written.
    for (int written : {Cap, 2 * Cap}) {
        SCOPED_TRACE(written);
        TMemoryStream target;
        const std::string old = pattern(3 * Cap, 'A');
        fill(target, old);
        TS_BufferStream s(target);
        const std::string fresh = pattern(written, 'a');
        ASSERT_EQ(writeAll(s, fresh), written);
        EXPECT_EQ(readN(s, 10), old.substr(static_cast<std::size_t>(written), 10));
        EXPECT_EQ(s.Position(), written + 10);
        EXPECT_EQ(target.Bytes(), fresh + old.substr(static_cast<std::size_t>(written)));
    }
}

TEST(BufferStream, ReadAheadThenWriteAtTheLogicalPosition)
{
    TMemoryStream target;
    const std::string old = pattern(Cap + 500, 'A');
    fill(target, old);
    {
        TS_BufferStream s(target);
        EXPECT_EQ(readN(s, 10), old.substr(0, 10));
        EXPECT_EQ(s.Position(), 10);
        EXPECT_EQ(writeAll(s, "xyz"), 3);
        EXPECT_EQ(s.Position(), 13);
        EXPECT_EQ(readN(s, 5), old.substr(13, 5));  // the write goes out first
    }
    std::string expected = old;
    expected.replace(10, 3, "xyz");
    EXPECT_EQ(target.Bytes(), expected);
}

TEST(BufferStream, SizeAndSeekFromTheEndCountPendingBytes)
{
    TMemoryStream target;
    fill(target, "0123456789");
    TS_BufferStream s(target);
    s.Seek(0, soFromEnd);
    writeAll(s, "ABCDE");
    EXPECT_EQ(s.Size(), 15);
    EXPECT_EQ(s.Position(), 15);
    EXPECT_EQ(s.Seek(-3, soFromEnd), 12);
    EXPECT_EQ(readN(s, 10), "CDE");

    // Overwriting inside the data leaves the size alone.
    s.SetPosition(2);
    writeAll(s, "xx");
    EXPECT_EQ(s.Size(), 15);
    EXPECT_EQ(s.Seek(0, soFromEnd), 15);
    EXPECT_EQ(target.Bytes(), "01xx456789ABCDE");
}

TEST(BufferStream, InvalidOrigin)
{
    TMemoryStream target;
    TS_BufferStream s(target);
    try {
        s.Seek(0, 3);
        FAIL();
    } catch (const EStreamError&) {
        FAIL() << "a plain Exception is expected";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), "Invalid seek origin = 3");
    }
}

TEST(BufferStream, PutBack)
{
    TMemoryStream target;
    fill(target, "abcdef");
    TS_BufferStream s(target);
    EXPECT_THROW(s.PutBack('x'), EStreamError);  // nothing read yet
    EXPECT_EQ(readN(s, 3), "abc");
    s.PutBack('Z');
    EXPECT_EQ(s.Position(), 2);
    EXPECT_EQ(readN(s, 10), "Zdef");

    s.SetPosition(1);
    try {
        s.PutBack('x');  // a seek empties the buffer
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_EQ(e.message(), "PutBack overflow");
    }
    writeAll(s, "q");
    EXPECT_THROW(s.PutBack('x'), EStreamError);  // written bytes are not read data
}

TEST(BufferStream, WriteCountsWhatTargetTook)
{
    struct Case {
        int before;  // bytes already waiting in the buffer
        int expected;
    };
    // Target takes 1000 bytes in all; the buffer overflows during the write.
    for (const Case c : {Case{0, 1000}, Case{500, 500}, Case{1500, 0}}) {
        SCOPED_TRACE(c.before);
        LimitedStream target(1000);
        TS_BufferStream s(target);
        ASSERT_EQ(writeAll(s, pattern(c.before, 'a')), c.before);
        EXPECT_EQ(writeAll(s, pattern(40000, 'b')), c.expected);
        EXPECT_EQ(target.Size(), 1000);
    }

    LimitedStream target(10);
    TS_BufferStream s(target);
    writeAll(s, pattern(20, 'a'));
    EXPECT_THROW(s.Seek(0, soFromBeginning), EStreamError);
    writeAll(s, pattern(20, 'a'));
    EXPECT_THROW(readN(s, 1), EWriteError);
}

TEST(BufferStream, FlushesWhenDestroyedAndTellsItsEvents)
{
    TMemoryStream target;
    std::vector<std::string> events;
    {
        TS_BufferStream s(target);
        s.OnFlushed = [&](TS_BufferStream* sender) {
            events.push_back("flushed " + std::to_string(sender->Target().Size()));
        };
        s.OnRefilled = [&](TS_BufferStream*) { events.push_back("refilled"); };
        writeAll(s, pattern(Cap + 10, 'a'));  // one full buffer goes out
        EXPECT_EQ(target.Size(), Cap);
    }
    EXPECT_EQ(target.Bytes(), pattern(Cap + 10, 'a'));
    EXPECT_EQ(events, (std::vector<std::string>{"flushed " + std::to_string(Cap),
                                                "flushed " + std::to_string(Cap + 10)}));

    target.SetPosition(0);
    events.clear();
    {
        TS_BufferStream s(target);
        s.OnRefilled = [&](TS_BufferStream* sender) {
            events.push_back("refilled " + std::to_string(sender->Target().Position()));
        };
        EXPECT_EQ(readN(s, 2 * Cap).size(), static_cast<std::size_t>(Cap + 10));
    }
    EXPECT_EQ(events, (std::vector<std::string>{"refilled " + std::to_string(Cap),
                                                "refilled " + std::to_string(Cap + 10),
                                                "refilled " + std::to_string(Cap + 10)}));
}
