#include "netcomp/qormsg.h"

#include "netcomp/qor_util.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTimer>

#include <string>
#include <vector>

using testenv::cp;

namespace {

TExStringList linesOf(const std::string& text)
{
    TExStringList lines;
    lines.SetText(text);
    return lines;
}

std::string fixture(const std::string& name) { return testenv::readFile(std::string(ORV_FIXTURES) + "/mail/" + name); }

struct Attachment {
    AnsiString name, contentType;
    std::string data;
};

std::vector<Attachment> attachmentsOf(const TQorMsg& m)
{
    std::vector<Attachment> out;
    for (int i = 0; i < m.Attachments.Count(); ++i) {
        const TAttachedFile& a = m.Attachments.Items(i);
        out.push_back({a.FileName, a.ContentType, a.Data.Bytes()});
    }
    return out;
}

bool operator==(const Attachment& a, const Attachment& b)
{
    return a.name == b.name && a.contentType == b.contentType && a.data == b.data;
}

void PrintTo(const Attachment& a, std::ostream* os) { *os << a.name << " (" << a.contentType << ", " << a.data.size() << " bytes)"; }

QStringList leftovers()
{
    return QDir(QString::fromStdString(GetTempDir())).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

std::string jpegBytes()
{
    std::string s = "\xff\xd8";
    for (int b = 0; b < 256; ++b) s += static_cast<char>(b);
    return s + "\xff\xd9";
}

AnsiString repeated(const AnsiString& s, int n)
{
    AnsiString out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

}  // namespace

// Mail written by Python's email package (tests/fixtures/mail/make_fixtures.py).
TEST(QorMsgParse, PythonWrittenMail)
{
    struct Case {
        std::string file;
        AnsiString from, sendTo, subject, contentType, encoding;
        std::vector<AnsiString> text;
        std::vector<Attachment> attachments;
    };
    const std::vector<Case> cases = {
        {"no_content_type.eml", "sender@example.com", "\"rcpt@example.com\" <rcpt@example.com>",
         "No content type", "TEXT/PLAIN", "7BIT", {"First line", "Second line"}, {}},
        {"folded_subject.eml", "sender@example.com", "",
         "A rather long subject line that the generator has to fold onto a continuation line", "TEXT/PLAIN",
         "7BIT", {"Body"}, {}},
        {"semicolon_subject.eml", "Sender Name <sender@example.com>",
         "\"Anna Smith\" <anna@example.com>, \"Bob\" <bob@example.com>", "Part one; part two", "TEXT/PLAIN",
         "7BIT", {"Body"}, {}},
        {"mbox_from.eml", "someone@example.com Mon Jan  1 00:00:00 2024", "", "From the mbox", "TEXT/PLAIN",
         "7BIT", {"Text"}, {}},
        {"mixed_alternative.eml", "sender@example.com", "", "Report", "MULTIPART/MIXED", "7BIT",
         {"Plain version", ""},
         {{"Report.html", "text/html", "<p>HTML version</p>\r\n"}, {"data.csv", "text/csv", "a,b\r\n1,2\r\n"}}},
        {"nameless_jpeg.eml", "sender@example.com", "", "Photo", "MULTIPART/MIXED", "7BIT",
         {"See the picture", ""}, {{"Photo.jpeg", "image/jpeg", jpegBytes()}}},
        {"qp_text.eml", "sender@example.com", "", "QP", "TEXT/PLAIN", "QUOTED-PRINTABLE",
         {"a_b = c", repeated(cp("Длинная строка, "), 8) + cp("конец")}, {}},
        {"lowercase_boundary.eml", "sender@example.com", "", "Lower boundary", "MULTIPART/MIXED", "7BIT",
         {"Inside", ""}, {{"x.bin", "application/octet-stream", std::string("\0\1\2", 3)}}},
        {"utf8_subject.eml", cp("Иван Петров <ivan@example.com>"), "",
         cp("Привет из почты: новое письмо с длинной темой, которую почтовик режет на куски"), "TEXT/PLAIN", "8BIT",
         {"Текст"} /* the body keeps its UTF-8 bytes */, {}},
        {"koi8_subject.eml", "sender@example.com", "", cp("Проверка связи"), "TEXT/PLAIN", "7BIT", {"Text"}, {}},
        {"prose_begin.eml", "sender@example.com", "", "Directions", "TEXT/PLAIN", "7BIT",
         {"Begin 100 metres past the bridge, then turn left.", "After that keep going straight.", "end"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        TQorMsg m;
        m.SetRawMail(linesOf(fixture(c.file)));
        EXPECT_EQ(m.From, c.from);
        EXPECT_EQ(m.SendTo, c.sendTo);
        EXPECT_EQ(m.Subject, c.subject);
        EXPECT_EQ(m.ContentType, c.contentType);
        EXPECT_EQ(m.ContentTransferEncoding, c.encoding);
        EXPECT_EQ(m.Text.Lines(), c.text);
        EXPECT_EQ(attachmentsOf(m), c.attachments);
        EXPECT_EQ(m.RawMail.Count(), 0);
    }
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST(QorMsgParse, HeaderFields)
{
    TQorMsg m;
    m.SetRawMail(linesOf("Return-Path: <bounce@example.com>\r\n"
                         "Message-ID: <id1@example.com>\r\n"
                         "In-Reply-To: <id0@example.com>\r\n"
                         "Date: Tue, 5 Mar 2024 10:00:00 +0300\r\n"
                         "From: a@example.com\r\n"
                         "Sender: List <list@example.com>\r\n"
                         "Reply-To: Helper <help@example.com>\r\n"
                         "To: x@example.com\r\n"
                         "cc: One <one@example.com>,\r\n"
                         "  Two <two@example.com>\r\n"
                         "Subject: Hi\r\n"
                         "\r\n"
                         "Body\r\n"));
    EXPECT_EQ(m.ReturnPath, "<bounce@example.com>");
    EXPECT_EQ(m.MessageId, "<id1@example.com>");
    EXPECT_EQ(m.InReplyTo, "<id0@example.com>");
    EXPECT_EQ(m.Date, "Tue, 5 Mar 2024 10:00:00 +0300");
    EXPECT_EQ(m.Sender, "\"List\" <list@example.com>");
    EXPECT_EQ(m.ReplyTo, "\"Helper\" <help@example.com>");
    EXPECT_EQ(m.CC, "\"One\" <one@example.com>, \"Two\" <two@example.com>");
    EXPECT_EQ(m.Headers.Count(), 11);
    EXPECT_EQ(m.Text.Lines(), std::vector<AnsiString>{"Body"});
}

TEST(QorMsgParse, UuencodedBlocksInText)
{
    const std::string dir = testenv::makeDir("msg-uu");
    std::string bytes;
    for (int i = 0; i < 300; ++i) bytes += static_cast<char>(i * 7);
    testenv::writeFile(dir + "/in.bin", bytes);
    const std::string uu = testenv::run("/usr/bin/uuencode " + dir + "/in.bin report.bin");

    TQorMsg m;
    m.Subject = "ignored";
    m.SetRawMail(linesOf("Subject: Files\r\n\r\nHere it is:\r\n" + uu + "Bye\r\n"));
    ASSERT_EQ(m.Attachments.Count(), 1);
    EXPECT_EQ(m.Attachments.Items(0).FileName, "report.bin");
    EXPECT_EQ(m.Attachments.Items(0).Data.Bytes(), bytes);
    EXPECT_EQ(m.Text.Lines(), (std::vector<AnsiString>{"Here it is:", "end", "Bye"}));

    struct Case {
        std::string mode;
        bool lifted;
    };
    for (const auto& c : std::vector<Case>{{"776", true}, {"777", false}, {"000", false}, {"64x", false}}) {
        TQorMsg n;
        n.SetRawMail(linesOf("Subject: S\r\n\r\nbegin " + c.mode + " f.txt\r\n#86)C\r\n`\r\nend\r\n"));
        EXPECT_EQ(n.Attachments.Count(), c.lifted ? 1 : 0) << c.mode;
        EXPECT_EQ(n.Text.Count(), c.lifted ? 1 : 4) << c.mode;
    }
}

TEST(QorMsgParse, AttachmentNamesFromTheSubject)
{
    struct Case {
        std::string type;
        AnsiString subject, name;
    };
    const std::vector<Case> cases = {
        {"text/html", "Re: news/today", "Re newstoday.html"},
        {"image/gif", "a*b?c", "abc.gif"},
        {"image/jpeg", "<pic>|\"x\"", "picx.jpeg"},
        {"application/pdf", "Report: v1.2", "Report v1.2"},  // other types keep the subject
    };
    for (const auto& c : cases) {
        TQorMsg m;
        m.SetRawMail(linesOf("Subject: " + c.subject + "\r\nContent-Type: " + c.type +
                             "\r\nContent-Transfer-Encoding: base64\r\n\r\nQUJD\r\n"));
        ASSERT_EQ(m.Attachments.Count(), 1) << c.type;
        EXPECT_EQ(m.Attachments.Items(0).FileName, c.name);
        EXPECT_EQ(m.Attachments.Items(0).Data.Bytes(), "ABC");
    }
}

TEST(QorMsgParse, PartsOfEveryKind)
{
    const std::string mail =
        "Subject: Kinds\r\n"
        "Content-Type: multipart/mixed; boundary=\"b1\"\r\n"
        "\r\n"
        "preamble\r\n"
        "--b1\r\n"
        "Content-Type: text/plain\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "\r\n"
        "bGluZSBvbmUNCmxpbmUgdHdvDQo=\r\n"
        "--b1\r\n"
        "Content-Type: application/octet-stream; name=\"q.txt\"\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n"
        "\r\n"
        "x=3Dy_z=\r\n"
        "w\r\n"
        "--b1\r\n"
        "Content-Type: application/x-data; name=broken.uu\r\n"
        "Content-Transfer-Encoding: x-uuencode\r\n"
        "\r\n"
        "begin 644 broken.uu\r\n"
        "#86)a\r\n"
        "end\r\n"
        "--b1\r\n"
        "Content-Type: message/rfc822\r\n"
        "\r\n"
        "Subject: Inner\r\n"
        "Content-Type: text/plain\r\n"
        "\r\n"
        "inner text\r\n"
        "--b1\r\n"
        "Content-Type: application/json\r\n"
        "\r\n"
        "{\"plain\": 1}\r\n"
        "--b1--\r\n"
        "epilogue\r\n";
    TQorMsg m;
    m.SetRawMail(linesOf(mail));
    EXPECT_EQ(m.Subject, "Kinds");  // the enclosed message's fields are not taken
    EXPECT_EQ(m.Text.Lines(), (std::vector<AnsiString>{"line one", "line two", "inner text", "{\"plain\": 1}"}));
    const std::vector<Attachment> want = {
        {"q.txt", "text/plain", "x=y_zw"},
        // A named x-uuencode part that does not decode keeps its text.
        {"broken.uu", "application/octet-stream", "begin 644 broken.uu\r\n#86)a\r\nend"},
    };
    EXPECT_EQ(attachmentsOf(m), want);
}

TEST(QorMsgParse, DamagedStructureNeverLosesTheText)
{
    struct Case {
        const char* what;
        std::string mail;
        std::vector<AnsiString> text;
    };
    const std::vector<Case> cases = {
        {"no boundary parameter",
         "Content-Type: multipart/mixed\r\n\r\nfirst\r\n\r\nsecond\r\n",
         {"first", "", "second"}},
        {"no delimiter line",
         "Content-Type: multipart/mixed; boundary=zz\r\n\r\nonly text\r\n",
         {"only text"}},
        {"delimiter with trailing blanks",
         "Content-Type: multipart/mixed; boundary=zz\r\n\r\n--zz  \r\nText\r\n--zz--\r\n",
         {"--zz  ", "Text", "--zz--"}},
        {"empty body", "Subject: x\r\n\r\n", {}},
    };
    for (const auto& c : cases) {
        TQorMsg m;
        m.SetRawMail(linesOf(c.mail));
        EXPECT_EQ(m.Text.Lines(), c.text) << c.what;
        EXPECT_EQ(m.Attachments.Count(), 0) << c.what;
    }
}

TEST(QorMsgParse, DeepNestingIsTakenAsText)
{
    std::string mail = "Subject: deep\r\nContent-Type: multipart/mixed; boundary=\"b0\"\r\n\r\n";
    std::string tail;
    const int depth = 200;
    for (int i = 1; i <= depth; ++i) {
        mail += "--b" + std::to_string(i - 1) + "\r\nContent-Type: multipart/mixed; boundary=\"b" + std::to_string(i) +
                "\"\r\n\r\n";
        tail = "--b" + std::to_string(i - 1) + "--\r\n" + tail;
    }
    mail += "--b" + std::to_string(depth) + "\r\n\r\ndeepest\r\n--b" + std::to_string(depth) + "--\r\n" + tail;
    TQorMsg m;
    m.SetRawMail(linesOf(mail));
    ASSERT_FALSE(m.Text.Lines().empty());
    EXPECT_EQ(m.Text.Lines().front(), "--b" + std::to_string(TQorMsg::MaxDepth));
    EXPECT_NE(std::find(m.Text.Lines().begin(), m.Text.Lines().end(), "deepest"), m.Text.Lines().end());

    // Enclosed messages nest the same way.
    std::string nested;
    for (int i = 0; i < depth; ++i) nested += "Content-Type: message/rfc822\r\n\r\n";
    nested += "Subject: in\r\n\r\ncore\r\n";
    TQorMsg n;
    n.SetRawMail(linesOf(nested));
    EXPECT_FALSE(n.Text.Lines().empty());
}

TEST(QorMsgParse, ReparsingAppendsAndRawMailCanBeKept)
{
    TQorMsg m;
    m.ClearRawMailAfterParse = false;
    const TExStringList raw = linesOf("Subject: one\r\n\r\ntext\r\n");
    m.SetRawMail(raw);
    EXPECT_EQ(m.RawMail.Lines(), raw.Lines());
    m.SetRawMail(raw);
    EXPECT_EQ(m.Headers.Count(), 2);
    EXPECT_EQ(m.Text.Lines(), (std::vector<AnsiString>{"text", "text"}));

    TQorMsg empty;
    empty.SetRawMail(TExStringList());
    EXPECT_EQ(empty.ContentType, "");
    TQorMsg headless;
    headless.SetRawMail(linesOf("\r\nbody\r\n"));
    EXPECT_EQ(headless.Headers.Count(), 0);
    EXPECT_EQ(headless.Text.Lines(), std::vector<AnsiString>{"body"});
}

// ---- the list ----

namespace {
int alive = 0;
class CountedMsg : public TQorMsg {
public:
    explicit CountedMsg(QObject* owner = nullptr) : TQorMsg(owner) { ++alive; }
    ~CountedMsg() override { --alive; }
};
}  // namespace

TEST(QorMsgList, OwnershipRule)
{
    alive = 0;
    {
        TQorMsgList list;
        for (int i = 0; i < 4; ++i) list.Add(new CountedMsg);
        EXPECT_EQ(alive, 4);
        list.Delete(1);
        EXPECT_EQ(alive, 3);
        EXPECT_EQ(list.Count(), 3);
        EXPECT_THROW(list.GetItem(3), Exception);
        list.Clear();
        EXPECT_EQ(alive, 0);
        EXPECT_EQ(list.Count(), 0);
        list.Add(new CountedMsg);
    }
    EXPECT_EQ(alive, 0);  // a message without owner goes with the list

    auto* owner = new QObject;
    {
        TQorMsgList list;
        list.Add(new CountedMsg(owner));
        list.Add(new CountedMsg(owner));
    }
    EXPECT_EQ(alive, 2);  // left to their owner
    {
        TQorMsgList list;
        auto* msg = new CountedMsg(owner);
        list.Add(msg);
        delete owner;  // the owner goes first
        EXPECT_EQ(alive, 0);
        EXPECT_EQ(list.Count(), 1);
        EXPECT_EQ(list.GetItem(0), nullptr);
        list.Clear();
    }
}
