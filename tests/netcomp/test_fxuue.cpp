#include "netcomp/fxuue.h"

#include "netcomp/fxs_stream.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string encode(const std::string& data, UUMethods method)
{
    TMemoryStream in, out;
    in.WriteBuffer(data.data(), static_cast<int>(data.size()));
    TFxUUProcessor p;
    p.Method = method;
    p.InputStream = &in;
    p.OutputStream = &out;
    p.Encode();
    return out.Bytes();
}

// Python's own line encodings, 45 input bytes a line, CR LF line ends. A
// uuencoded line gets no padding characters after its last group, and the
// data ends with the zero-length line.
const char* const PyBase64Lines =
    "import sys, base64\n"
    "d = open(sys.argv[1], \"rb\").read()\n"
    "e = base64.b64encode(d)\n"
    "sys.stdout.buffer.write(b\"\".join(e[i:i+60] + b\"\\r\\n\" for i in range(0, len(e), 60)))\n";
const char* const PyUuLines =
    "import sys, binascii\n"
    "d = open(sys.argv[1], \"rb\").read()\n"
    "out = b\"\"\n"
    "for i in range(0, len(d), 45):\n"
    "    c = d[i:i+45]\n"
    "    line = binascii.b2a_uu(c, backtick=True).rstrip(b\"\\n\")\n"
    "    out += line[:1 + (len(c) * 4 + 2) // 3] + b\"\\r\\n\"\n"
    "sys.stdout.buffer.write(out + b\"`\\r\\n\")\n";

// Python's decoders, fed our output.
const char* const PyBase64Decode =
    "import sys, base64\n"
    "sys.stdout.buffer.write(base64.b64decode(open(sys.argv[1], \"rb\").read()))\n";
const char* const PyUuDecode =
    "import sys, io, uu\n"
    "src = io.BytesIO(b\"begin 644 x\\n\" + open(sys.argv[1], \"rb\").read() + b\"end\\n\")\n"
    "out = io.BytesIO()\n"
    "uu.decode(src, out, quiet=True)\n"
    "sys.stdout.buffer.write(out.getvalue())\n";

// A source that hands out at most Chunk bytes a read and may claim a size
// larger than the data it has.
class TrickleStream : public TStream {
public:
    TrickleStream(std::string data, int chunk, int claimedSize)
        : data_(std::move(data)), chunk_(chunk), claimed_(claimedSize) {}
    int Read(void* Buffer, int Count) override
    {
        const int n = std::max(0, std::min({Count, chunk_, static_cast<int>(data_.size()) - pos_}));
        data_.copy(static_cast<char*>(Buffer), static_cast<std::size_t>(n), static_cast<std::size_t>(pos_));
        pos_ += n;
        return n;
    }
    int Write(const void*, int) override { return 0; }
    int Seek(int Offset, int Origin) override
    {
        pos_ = Origin == soFromBeginning ? Offset : Origin == soFromCurrent ? pos_ + Offset : claimed_ + Offset;
        return pos_;
    }

private:
    std::string data_;
    int chunk_, claimed_, pos_ = 0;
};

// An output that refuses every byte and counts the rewinds asked of it.
class RefusingStream : public TMemoryStream {
public:
    int Write(const void*, int) override { return 0; }
    int Seek(int Offset, int Origin) override
    {
        if (Origin == soFromBeginning && Offset == 0)
            ++rewinds;
        return TMemoryStream::Seek(Offset, Origin);
    }
    int rewinds = 0;
};

}  // namespace

TEST(FxUU, EncodesAsPythonsBase64AndUuModules)
{
    for (int size : {0, 1, 2, 3, 45, 46, 57, 90}) {
        SCOPED_TRACE("size " + std::to_string(size));
        const std::string data = testenv::scrambledBytes(size);

        const std::string mime = encode(data, uuMime);
        EXPECT_EQ(mime, testenv::python(PyBase64Lines, {data}));
        EXPECT_EQ(testenv::python(PyBase64Decode, {mime}), data);

        const std::string uu = encode(data, uuCode);
        EXPECT_EQ(uu, testenv::python(PyUuLines, {data}));
        EXPECT_EQ(testenv::python(PyUuDecode, {uu}), data);
    }
}

TEST(FxUU, LinesAndClosingLine)
{
    EXPECT_EQ(encode("", uuMime), "");
    EXPECT_EQ(encode("", uuCode), "`\r\n");

    const std::string mime = encode(testenv::scrambledBytes(46), uuMime);
    ASSERT_EQ(mime.size(), 60u + 2 + 4 + 2);
    EXPECT_EQ(mime.substr(60, 2), "\r\n");
    EXPECT_EQ(mime.substr(64), "==\r\n");

    const std::string uu = encode(testenv::scrambledBytes(45), uuCode);
    ASSERT_EQ(uu.size(), 61u + 2 + 3);
    EXPECT_EQ(uu[0], 'M');
    EXPECT_EQ(uu.substr(61), "\r\n`\r\n");
    // Value 0 is the grave accent, never a blank.
    EXPECT_EQ(encode(std::string(3, '\0'), uuCode), "#````\r\n`\r\n");
}

TEST(FxUU, ReadsTheWholeInputFromItsStartAndRewindsTheOutput)
{
    TMemoryStream in, out;
    in.WriteBuffer("Hello, world", 12);  // left at its end
    out.WriteBuffer("prefix:", 7);
    TFxUUProcessor p;
    p.InputStream = &in;
    p.OutputStream = &out;
    std::vector<std::string> seen;
    p.OnBeginEncode = [&](TFxUUProcessor* s) {
        EXPECT_EQ(s, &p);
        seen.push_back("begin " + out.Bytes());
    };
    p.OnEndEncode = [&](TFxUUProcessor*) {
        seen.push_back("end " + out.Bytes() + " at " + std::to_string(out.Position()));
    };
    p.Encode();
    EXPECT_EQ(seen, (std::vector<std::string>{"begin prefix:", "end prefix:SGVsbG8sIHdvcmxk\r\n at 0"}));
}

TEST(FxUU, ShortReadsAndASourceThatEndsEarly)
{
    const std::string data = testenv::scrambledBytes(100);
    const std::string expected = encode(data, uuMime);
    struct Case {
        int chunk, claimed;
    };
    // Reads of 7 bytes still make 45-byte lines; a source claiming more than
    // it gives ends the encoding with its last byte.
    for (const Case c : {Case{7, 100}, Case{100, 100}, Case{7, 1000}, Case{100, 1 << 30}}) {
        SCOPED_TRACE(std::to_string(c.chunk) + "/" + std::to_string(c.claimed));
        TrickleStream in(data, c.chunk, c.claimed);
        TMemoryStream out;
        TFxUUProcessor p;
        p.InputStream = &in;
        p.OutputStream = &out;
        p.Encode();
        EXPECT_EQ(out.Bytes(), expected);
    }
}

TEST(FxUU, AFailureStillRewindsAndEnds)
{
    TMemoryStream in;
    in.WriteBuffer("abc", 3);
    RefusingStream out;
    TFxUUProcessor p;
    p.InputStream = &in;
    p.OutputStream = &out;
    int ends = 0;
    p.OnEndEncode = [&](TFxUUProcessor*) { ++ends; };
    EXPECT_THROW(p.Encode(), EWriteError);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(out.rewinds, 1);

    TFxUUProcessor unset;
    EXPECT_THROW(unset.Encode(), Exception);
}

TEST(FxUU, ThroughABufferStreamIntoMemory)
{
    // The attachment path: larger than one buffer, all of it in the memory
    // stream once Encode has rewound its output.
    const std::string data = testenv::scrambledBytes(100000);
    for (UUMethods method : {uuMime, uuCode}) {
        TMemoryStream in, memory;
        in.WriteBuffer(data.data(), static_cast<int>(data.size()));
        TS_BufferStream buffered(memory);
        TFxUUProcessor p;
        p.Method = method;
        p.InputStream = &in;
        p.OutputStream = &buffered;
        p.Encode();
        EXPECT_EQ(memory.Bytes(), encode(data, method));
        EXPECT_EQ(buffered.Position(), 0);
    }
}
