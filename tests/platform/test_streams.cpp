#include "platform/streams.h"

#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

TEST(Streams, MemoryStreamGrowsAndSeeks)
{
    TMemoryStream m;
    m.WriteBuffer("abc", 3);
    EXPECT_EQ(m.Seek(2, soFromCurrent), 5);
    m.WriteBuffer("z", 1);  // the gap reads as zero bytes
    EXPECT_EQ(m.Bytes(), std::string("abc\0\0z", 6));
    EXPECT_EQ(m.Seek(-2, soFromEnd), 4);

    char buf[8] = {};
    EXPECT_EQ(m.Read(buf, 8), 2);
    EXPECT_EQ(m.Read(buf, 8), 0);

    m.Seek(-10, soFromBeginning);  // a negative position moves nothing
    EXPECT_EQ(m.Read(buf, 1), 0);
    EXPECT_EQ(m.Write("q", 1), 0);
    EXPECT_THROW(m.ReadBuffer(buf, 1), EReadError);
    EXPECT_EQ(m.Size(), 6);
}

TEST(Streams, FileStreamModesAndErrors)
{
    const std::string dir = testenv::makeDir("streams");
    const std::string path = dir + "/data.bin";
    {
        TFileStream f(path, fmCreate);
        f.WriteBuffer("hello world", 11);
        EXPECT_EQ(f.Size(), 11);
        f.SetPosition(5);
        EXPECT_EQ(f.Size(), 11);  // asking leaves the position
        EXPECT_EQ(f.Position(), 5);
    }
    {
        // What cannot seek has no size.
        const std::string fifo = dir + "/fifo";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        TFileStream f(fifo, fmOpenReadWrite);
        EXPECT_THROW(f.Size(), EStreamError);
    }
    {
        TFileStream f(path, fmOpenRead | fmShareDenyWrite);
        f.SetPosition(6);
        char buf[16] = {};
        EXPECT_EQ(f.Read(buf, 16), 5);
        EXPECT_EQ(std::string(buf), "world");
        EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);
        EXPECT_THROW(f.Seek(-1, soFromBeginning), EStreamError);
    }
    {
        TFileStream f(path, fmOpenReadWrite);
        f.Seek(0, soFromEnd);
        f.WriteBuffer("!", 1);
    }
    EXPECT_EQ(testenv::readFile(path), "hello world!");

    try {
        TFileStream f(dir + "/missing.bin", fmOpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.message().rfind("Cannot open file \"" + dir + "/missing.bin\". ", 0), 0u) << e.message();
    }
    EXPECT_THROW(TFileStream(dir + "/no/such/dir.bin", fmCreate), EFCreateError);
}

TEST(Streams, CreateNewRefusesAnExistingFileOrLink)
{
    const std::string dir = testenv::makeDir("streams-new");
    const std::string path = dir + "/qor.$$$";
    {
        TFileStream f(path, fmCreateNew);
        f.WriteBuffer("ab", 2);
    }
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_THROW(TFileStream(path, fmCreateNew), EFCreateError);
    EXPECT_EQ(testenv::readFile(path), "ab");

    // A link planted under the name is neither followed nor replaced.
    const std::string target = dir + "/target";
    const std::string link = dir + "/link.$$$";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    EXPECT_THROW(TFileStream(link, fmCreateNew), EFCreateError);
    EXPECT_FALSE(testenv::fileExists(target));
}

TEST(Streams, CopyFromWholeSourceOrPart)
{
    TMemoryStream src, dst;
    src.WriteBuffer("0123456789", 10);  // left at its end
    dst.WriteBuffer(">", 1);
    EXPECT_EQ(dst.CopyFrom(src, 0), 10);  // 0: all of it, from its start
    EXPECT_EQ(dst.Bytes(), ">0123456789");

    src.SetPosition(4);
    EXPECT_EQ(dst.CopyFrom(src, 3), 3);
    EXPECT_EQ(dst.Bytes(), ">0123456789456");
    EXPECT_THROW(dst.CopyFrom(src, 10), EReadError);
}
