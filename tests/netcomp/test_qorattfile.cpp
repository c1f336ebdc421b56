#include "netcomp/qorattfile.h"

#include "netcomp/fxuue.h"
#include "netcomp/qor_util.h"
#include "platform/codepage.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTimer>

#include <string>
#include <vector>

namespace {

// The files left in the private temporary folder.
QStringList leftovers()
{
    return QDir(QString::fromStdString(GetTempDir())).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

void setData(TAttachedFile& file, const std::string& bytes)
{
    file.Data.Clear();
    file.Data.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
}

// Real uuencode (sharutils) of the bytes, as lines.
TExStringList uuencoded(const std::string& bytes)
{
    const std::string file = testenv::makeDir("uu") + "/in.bin";
    testenv::writeFile(file, bytes);
    TExStringList lines;
    lines.SetText(testenv::run("/usr/bin/uuencode " + file + " report.bin"));
    return lines;
}

}  // namespace

TEST(AttachedFiles, AddTakesNamePathAndContentType)
{
    TAttachedFiles files;
    TAttachedFile& a = files.Add("/home/u/docs/notes.txt");
    EXPECT_EQ(a.FileName, "notes.txt");
    EXPECT_EQ(a.PathName, "/home/u/docs/notes.txt");
    EXPECT_EQ(a.ContentType, "text/plain");
    TAttachedFile& b = files.Add("C:\\dir\\x.qqqunknown");
    EXPECT_EQ(b.FileName, "x.qqqunknown");
    EXPECT_EQ(b.ContentType, "application/octet-stream");
    ASSERT_EQ(files.Count(), 2);
    EXPECT_EQ(&files.Items(1), &b);
    EXPECT_THROW(files.Items(2), Exception);
    files.Delete(0);
    EXPECT_EQ(&files.Items(0), &b);
    files.Clear();
    EXPECT_EQ(files.Count(), 0);
}

TEST(AttachedFiles, EncodeBase64LineLengths)
{
    struct Case {
        int size;
        std::vector<std::size_t> lengths;
    };
    const std::vector<Case> cases = {
        {45, {60}}, {57, {76}}, {58, {76, 4}}, {1, {4}}, {114, {76, 76}},
    };
    for (const auto& c : cases) {
        TAttachedFile file;
        setData(file, std::string(static_cast<std::size_t>(c.size), 'x'));
        file.EncodeBase64();
        std::vector<std::size_t> lengths;
        for (const auto& line : file.EncodedLines) lengths.push_back(line.size());
        EXPECT_EQ(lengths, c.lengths) << c.size;
        if (c.size == 58) {
            EXPECT_EQ(file.EncodedLines[1].substr(2), "==");
        }
    }
    EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(' ').toStdString();
}

TEST(AttachedFiles, EncodeBase64ReadsTheFileOnlyWhenDataIsEmpty)
{
    const std::string dir = testenv::makeDir("attach");
    const std::string bytes = testenv::scrambledBytes(5000);
    testenv::writeFile(dir + "/photo.jpg", bytes);
    const std::string python =
        "import sys, base64\n"
        "sys.stdout.buffer.write(base64.b64decode(open(sys.argv[1], 'rb').read()))\n";

    TAttachedFiles files;
    TAttachedFile& fromFile = files.Add(codepage::fromUtf8(dir + "/photo.jpg"));
    EXPECT_EQ(fromFile.ContentType, "image/jpeg");
    fromFile.EncodeBase64();
    EXPECT_EQ(fromFile.Data.Bytes(), bytes);
    EXPECT_EQ(testenv::python(python, {fromFile.EncodedLines.Text()}), bytes);

    // Data with bytes: the file is not touched (it does not even exist).
    TAttachedFile& fromData = files.Add("/no/such/file.bin");
    setData(fromData, "held in memory");
    fromData.EncodeBase64();
    EXPECT_EQ(testenv::python(python, {fromData.EncodedLines.Text()}), "held in memory");

    // No data and no file: the file error, and nothing left behind.
    TAttachedFile& missing = files.Add("/no/such/file.bin");
    EXPECT_THROW(missing.EncodeBase64(), EFOpenError);
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST(AttachedFiles, CancelledEncodingChangesNothingAndLeavesNoFile)
{
    const std::string dir = testenv::makeDir("attach-cancel");
    testenv::writeFile(dir + "/big.bin", testenv::scrambledBytes(200000));
    TAttachedFile file;
    file.PathName = codepage::fromUtf8(dir + "/big.bin");
    file.EncodedLines.Add("old line");
    file.Cancel = true;  // cleared when the encoding starts
    // A handler that runs while the encoder lets events through.
    QTimer::singleShot(0, [&] { file.Cancel = true; });
    file.EncodeBase64();
    EXPECT_TRUE(file.Cancel);
    ASSERT_EQ(file.EncodedLines.Count(), 1);
    EXPECT_EQ(file.EncodedLines[0], "old line");
    EXPECT_EQ(file.Data.Size(), 0);
    EXPECT_TRUE(leftovers().isEmpty());

    file.EncodeBase64();  // not cancelled this time
    EXPECT_FALSE(file.Cancel);
    EXPECT_EQ(file.Data.Size(), 200000);
}

TEST(AttachedFiles, DecodeBase64AcrossLinesAndBlanks)
{
    const std::string bytes = testenv::scrambledBytes(1000);
    const std::string text = testenv::python(
        "import sys, base64\n"
        "sys.stdout.buffer.write(base64.b64encode(open(sys.argv[1], 'rb').read()))\n",
        {bytes});
    TAttachedFile file;
    // Lines of odd lengths, so groups span lines, one with trailing blanks.
    for (std::size_t at = 0; at < text.size(); at += 37) file.EncodedLines.Add(text.substr(at, 37));
    file.EncodedLines.Put(3, file.EncodedLines[3] + "   ");
    file.DecodeBase64();
    EXPECT_EQ(file.Data.Bytes(), bytes);
    EXPECT_EQ(file.GetData().Position(), 0);
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST(AttachedFiles, DecodeUUMatchesRealUuencode)
{
    for (int size : {0, 1, 2, 44, 45, 46, 90, 1000, 10007}) {
        const std::string bytes = testenv::scrambledBytes(size);
        TAttachedFile file;
        file.EncodedLines = uuencoded(bytes);
        ASSERT_EQ(file.EncodedLines[0].rfind("begin ", 0), 0u);
        file.DecodeUU();
        EXPECT_EQ(file.Data.Bytes(), bytes) << size;
    }
    // Blanks in place of grave accents, as older encoders wrote them.
    TAttachedFile old;
    old.EncodedLines.SetText("begin 644 x\r\n#86)C\r\n \r\nend\r\n");
    old.DecodeUU();
    EXPECT_EQ(old.Data.Bytes(), "abc");
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST(AttachedFiles, UuencodeRoundTripWithTheRealUudecode)
{
    const std::string dir = testenv::makeDir("uu-round");
    for (int size : {0, 1, 45, 46, 3000}) {
        const std::string bytes = testenv::scrambledBytes(size, 99);
        // Our uuencoder's lines between a begin and an end line.
        TMemoryStream in, out;
        in.WriteBuffer(bytes.data(), size);
        TFxUUProcessor encoder;
        encoder.Method = uuCode;
        encoder.InputStream = &in;
        encoder.OutputStream = &out;
        encoder.Encode();
        const std::string text = "begin 644 back.bin\r\n" + out.Bytes() + "end\r\n";

        testenv::writeFile(dir + "/in.uu", text);
        EXPECT_EQ(testenv::run("/usr/bin/uudecode -o /dev/stdout " + dir + "/in.uu"), bytes) << size;

        TAttachedFile file;
        file.EncodedLines.SetText(text);
        file.DecodeUU();
        EXPECT_EQ(file.Data.Bytes(), bytes) << size;
    }
}

TEST(AttachedFiles, DecodeUURefusesABadByteAndLeavesNoFile)
{
    TAttachedFile file;
    file.Data.WriteBuffer("kept", 4);
    file.EncodedLines.SetText("begin 644 x\r\n#86)C\r\n#86)a\r\n`\r\nend\r\n");
    try {
        file.DecodeUU();
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.message(), "Oops...");
    }
    EXPECT_EQ(file.Data.Bytes(), "kept");
    EXPECT_TRUE(leftovers().isEmpty());

    // After "end" nothing is read, bad or not.
    file.EncodedLines.SetText("begin 644 x\r\n#86)C\r\nend\r\nnot uuencode\r\n");
    file.DecodeUU();
    EXPECT_EQ(file.Data.Bytes(), "abc");
}
