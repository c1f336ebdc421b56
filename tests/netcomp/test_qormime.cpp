#include "netcomp/qormime.h"

#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string crlf(std::string text)
{
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
        text.replace(at, 1, "\r\n");
    return text;
}

std::string withoutFinalBreak(std::string text)
{
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) text.resize(text.size() - 2);
    return text;
}

// coreutils' base64 in lines of 76, with CR LF line ends. The stream ends a
// line after every 76th character of whole groups; the padded last group
// that Finish writes gets no line end.
std::string coreutilsBase64(const std::string& data)
{
    const std::string file = testenv::makeDir("b64") + "/data.bin";
    testenv::writeFile(file, data);
    const std::string text = crlf(testenv::run("/usr/bin/base64 -w76 " + file));
    return data.size() % 57 == 0 ? text : withoutFinalBreak(text);
}

// What a coding stream writes for Input written in pieces cut at the given
// offsets, then finished.
template <class CodingStream>
std::string throughInPieces(const std::string& input, const std::vector<std::size_t>& cuts)
{
    TMemoryStream out;
    CodingStream stream(out);
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        stream.Write(input.data() + from, static_cast<int>(cut - from));
        from = cut;
    }
    stream.Write(input.data() + from, static_cast<int>(input.size() - from));
    stream.Finish();
    return out.Bytes();
}

std::string encodeInPieces(const std::string& data, const std::vector<std::size_t>& cuts)
{
    return throughInPieces<TBase64EncodingStream>(data, cuts);
}

std::string decodeInPieces(const std::string& text, const std::vector<std::size_t>& cuts)
{
    return throughInPieces<TBase64DecodingStream>(text, cuts);
}

const char* const PyDecode =
    "import sys, base64\n"
    "sys.stdout.buffer.write(base64.b64decode(open(sys.argv[1], 'rb').read()))\n";
// Python's MIME encoder (76 characters a line, LF ends).
const char* const PyEncodeLines =
    "import sys, base64\n"
    "sys.stdout.buffer.write(base64.encodebytes(open(sys.argv[1], 'rb').read()))\n";

// A target that refuses every byte, as a full disk would.
class FullStream : public TMemoryStream {
public:
    int Write(const void*, int) override { return 0; }
};

}  // namespace

TEST(Base64Encoding, MatchesCoreutilsAndPythonForEveryLength)
{
    for (int size : {0, 1, 2, 3, 4, 44, 45, 56, 57, 58, 59, 113, 114, 115, 171, 1000, 4097}) {
        const std::string data = testenv::scrambledBytes(size);
        const std::string ours = encodeInPieces(data, {});
        EXPECT_EQ(ours, coreutilsBase64(data)) << size;
        EXPECT_EQ(testenv::python(PyDecode, {ours}), data) << size;
    }
}

TEST(Base64Encoding, WritesSplitAtEveryOffsetGiveTheSameText)
{
    const std::string data = testenv::scrambledBytes(180);
    const std::string whole = coreutilsBase64(data);
    for (std::size_t cut = 0; cut <= data.size(); ++cut)
        ASSERT_EQ(encodeInPieces(data, {cut}), whole) << cut;
    std::vector<std::size_t> everyByte;
    for (std::size_t i = 1; i < data.size(); ++i) everyByte.push_back(i);
    EXPECT_EQ(encodeInPieces(data, everyByte), whole);
}

TEST(Base64Encoding, LinesPaddingAndFinish)
{
    struct Case {
        int size;
        std::string beforeFinish;  // what the writes alone leave
        std::string whole;
    };
    const std::string line = [] {
        std::string l;
        for (int i = 0; i < 19; ++i) l += "YWFh";
        return l + "\r\n";
    }();
    const std::vector<Case> cases = {
        {3, "YWFh", "YWFh"},
        {4, "YWFh", "YWFhYQ=="},  // the last byte waits for Finish
        {5, "YWFh", "YWFhYWE="},
        {57, line, line},         // one full line and its CR LF
        {58, line, line + "YQ=="},
    };
    const std::string a(58, 'a');
    for (const auto& c : cases) {
        TMemoryStream out;
        TBase64EncodingStream encoder(out);
        encoder.Write(a.data(), c.size);
        EXPECT_EQ(out.Bytes(), c.beforeFinish) << c.size;
        encoder.Finish();
        EXPECT_EQ(out.Bytes(), c.whole) << c.size;
    }

    // An unfinished stream writes nothing when it goes.
    TMemoryStream out;
    {
        TBase64EncodingStream encoder(out);
        encoder.Write("a", 1);
    }
    EXPECT_EQ(out.Size(), 0);
}

TEST(Base64Encoding, WriteErrorsOfTheTargetReachTheCaller)
{
    const std::string data = testenv::scrambledBytes(1024);
    FullStream full;
    TBase64EncodingStream encoder(full);
    EXPECT_THROW(encoder.Write(data.data(), static_cast<int>(data.size())), EWriteError);
    EXPECT_THROW(encoder.Finish(), EWriteError);  // one byte was pending

    // A real full device.
    TFileStream device("/dev/full", fmOpenWrite);
    TBase64EncodingStream onDevice(device);
    EXPECT_THROW(onDevice.Write(data.data(), static_cast<int>(data.size())), EWriteError);
}

TEST(Base64Streams, AnswerOnlyPositionQueries)
{
    TMemoryStream out;
    TBase64EncodingStream encoder(out);
    encoder.Write("abcdef", 6);
    EXPECT_EQ(encoder.Seek(0, soFromCurrent), 8);
    EXPECT_EQ(encoder.Seek(0, soFromEnd), 8);
    EXPECT_EQ(encoder.Seek(8, soFromBeginning), 8);
    EXPECT_EQ(encoder.Size(), 8);
    char buf[4];
    for (auto seek : {std::pair{1, soFromCurrent}, {0, soFromBeginning}, {-1, soFromEnd}}) {
        try {
            encoder.Seek(seek.first, seek.second);
            ADD_FAILURE() << seek.first;
        } catch (const EStreamError& e) {
            EXPECT_EQ(e.message(), "Invalid stream operation");
        }
    }
    EXPECT_THROW(encoder.Read(buf, 1), EStreamError);
    encoder.Finish();
    EXPECT_THROW(encoder.Write("x", 1), EStreamError);

    TBase64DecodingStream decoder(out);
    EXPECT_THROW(decoder.Read(buf, 1), EStreamError);
    EXPECT_THROW(decoder.Seek(0, soFromCurrent), EStreamError);
}

TEST(Base64Decoding, SkipsEverythingOutsideTheAlphabet)
{
    struct Case {
        std::string text;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"QUJD", "ABC"},
        {"QUI=", "AB"},
        {"QQ==", "A"},
        {"QUJD   \r\nREVG", "ABCDEF"},        // a line with trailing blanks
        {" Q U\tJ D\r\n", "ABC"},             // blanks and tabs inside a group
        {"QU!J*D", "ABC"},                    // any other stray character
        {"QQ==QUJD", "AABC"},                 // a padded group, then more
        {"QUJ", "AB"},                        // unpadded end, decoded by Finish
        {"QQ", "A"},
        {"Q", ""},                            // a lone character means nothing
        {"", ""},
        {"====", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(decodeInPieces(c.text, {}), c.bytes) << c.text;
}

TEST(Base64Decoding, MatchesPythonWithWritesSplitAtEveryOffset)
{
    const std::string data = testenv::scrambledBytes(300);
    std::string text = crlf(testenv::python(PyEncodeLines, {data}));
    // Trailing blanks on one line and a tab inside another, as mail gateways leave them.
    text.insert(text.find("\r\n"), "   ");
    text.insert(100, "\t");
    for (std::size_t cut = 0; cut <= text.size(); ++cut)
        ASSERT_EQ(decodeInPieces(text, {cut}), data) << cut;
    EXPECT_EQ(decodeInPieces(text, {2, 3, 5, 7, 11, 13, 17, 19, 23}), data);
}

TEST(Base64Decoding, WriteErrorsOfTheTargetReachTheCaller)
{
    FullStream full;
    TBase64DecodingStream decoder(full);
    EXPECT_THROW(decoder.Write("QUJD", 4), EWriteError);
}

TEST(QPDecode, Table)
{
    struct Case {
        std::string text;
        bool word;
        std::string want;
    };
    const std::vector<Case> cases = {
        {"a=3Db", false, "a=b"},
        {"a=3db", false, "a=b"},                 // lower-case hexadecimal digits
        {"=C0=E1", false, "\xC0\xE1"},
        {"a=XYb", false, "a@b"},                 // not hexadecimal
        {"a_b", false, "a_b"},                   // "_" stays in bodies
        {"a_b", true, "a b"},                    // and is a blank in an encoded word
        {"soft=\r\nbreak\r\n", false, "softbreak\r\n"},
        {"soft=  \r\nbreak", false, "softbreak"},  // blanks a mailer left after the "="
        {"soft=\nbreak", false, "softbreak"},    // a lone LF does not eat a character
        {"end=4", false, "end"},                 // fewer than two characters after "="
        {"end=", false, "end"},
        {"end=  ", false, "end"},
        {"plain text", false, "plain text"},
        {"", false, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(QPDecode(c.text, c.word), c.want) << c.text;
}

TEST(MimeType, ByExtensionWithoutRegardToCase)
{
    struct Case {
        std::string name;
        std::string type;
    };
    const std::vector<Case> cases = {
        {"notes.txt", "text/plain"},
        {"NOTES.TXT", "text/plain"},
        {"/home/u/photo.JPG", "image/jpeg"},
        {"C:\\Docs\\report.pdf", "application/pdf"},
        {"page.html", "text/html"},
        {"picture.gif", "image/gif"},
        {"archive.tar.gz", "application/gzip"},
        {"noextension", "application/octet-stream"},
        {"folder.d/noextension", "application/octet-stream"},
        {"file.", "application/octet-stream"},
        {"data.qqqunknown", "application/octet-stream"},
        {"", "application/octet-stream"},
    };
    for (const auto& c : cases) EXPECT_EQ(GetMimeType(c.name), c.type) << c.name;
}

TEST(FileNames, ExtensionNameAndChange)
{
    EXPECT_EQ(ExtractFileExt("a/b.c/name.txt"), ".txt");
    EXPECT_EQ(ExtractFileExt("a/b.c/name"), "");
    EXPECT_EQ(ExtractFileName("C:\\dir\\name.txt"), "name.txt");
    EXPECT_EQ(ExtractFileName("/tmp/x/name.txt"), "name.txt");
    EXPECT_EQ(ExtractFileName("c:name.txt"), "name.txt");
    EXPECT_EQ(ChangeFileExt("Re: report.doc", ".html"), "Re: report.html");
    EXPECT_EQ(ChangeFileExt("Photo", ".jpeg"), "Photo.jpeg");
    EXPECT_EQ(ChangeFileExt("", ".html"), ".html");
    EXPECT_EQ(ChangeFileExt("dir.d/name", ".gif"), "dir.d/name.gif");
}
