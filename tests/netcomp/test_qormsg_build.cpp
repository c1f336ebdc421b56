#include "netcomp/qormsg.h"

#include "netcomp/qor_util.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using testenv::cp;

namespace {

// A fixed clock and a fixed sequence of random letters for the makers.
class FixedSources : public ::testing::Test {
protected:
    void SetUp() override
    {
        sysclock::setSource([] { return QDateTime(QDate(2024, 3, 5), QTime(10, 0)); });
        SetMailRandomSource([n = 0](int range) mutable { return n++ % range; });
    }
    void TearDown() override
    {
        sysclock::setSource({});
        SetMailRandomSource({});
    }
};

void setData(TAttachedFile& file, const std::string& bytes)
{
    file.Data.Clear();
    file.Data.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
}

// Python's email parser (the modern policy) on the built message: its
// subject, sender, recipients, defects and every leaf part.
QJsonObject parsedByPython(const TQorMsg& m)
{
    const char* const script =
        "import sys, json, email, email.policy\n"
        "m = email.message_from_bytes(open(sys.argv[1], 'rb').read(), policy=email.policy.default)\n"
        "parts = []\n"
        "for p in m.walk():\n"
        "    if p.is_multipart(): continue\n"
        "    parts.append({'type': p.get_content_type(), 'filename': p.get_filename() or '',\n"
        "                  'data': p.get_payload(decode=True).hex()})\n"
        "sender = m['From'].addresses[0]\n"
        "print(json.dumps({'subject': str(m['Subject']), 'fromName': sender.display_name,\n"
        "                  'fromAddress': sender.addr_spec, 'to': str(m['To']),\n"
        "                  'defects': sum(len(p.defects) for p in m.walk()), 'parts': parts}))\n";
    const std::string json = testenv::python(script, {m.RawMail.Text()});
    return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
}

AnsiString text(const QJsonValue& v) { return codepage::fromUnicode(v.toString()); }
std::string bytes(const QJsonValue& v) { return QByteArray::fromHex(v.toString().toLatin1()).toStdString(); }

}  // namespace

using FillRawMail = FixedSources;

TEST_F(FillRawMail, PythonReadsBackSubjectSenderPartsAndAttachments)
{
    const std::string dir = testenv::makeDir("build-attach");
    testenv::writeFile(dir + "/table.csv", "a;b\r\n1;2\r\n");

    for (const TTextEncoding encoding : {te8Bit, teBase64}) {
        SCOPED_TRACE(encoding == te8Bit ? "8bit" : "base64");
        TQorMsg m;
        m.From = "sender@example.com";
        m.UserName = "Pager \"Home\" User";
        m.SendTo = "rcpt@example.com";
        m.TextEncoding = encoding;
        m.CharSet = "windows-1251";
        m.Subject = encoding == te8Bit ? AnsiString("Plain subject")
                                       : cp("Новая почта: длинная тема, которая не помещается в одно слово");
        m.Text.Add(cp("Первая строка"));
        m.Text.Add("second line");
        m.Attachments.Add(codepage::fromUtf8(dir + "/table.csv"));
        setData(m.Attachments.Add("photo.jpg"), testenv::scrambledBytes(3000));
        m.FillRawMail();

        const QJsonObject p = parsedByPython(m);
        EXPECT_EQ(p["defects"].toInt(), 0);
        EXPECT_EQ(text(p["subject"]), m.Subject);
        EXPECT_EQ(text(p["fromName"]), "Pager \"Home\" User");
        EXPECT_EQ(text(p["fromAddress"]), "sender@example.com");
        EXPECT_EQ(text(p["to"]), "rcpt@example.com");
        const QJsonArray parts = p["parts"].toArray();
        ASSERT_EQ(parts.size(), 3);
        EXPECT_EQ(text(parts[0]["type"]), "text/plain");
        // The line end before a delimiter belongs to the delimiter; base64
        // carries the last line end inside.
        const AnsiString body = m.Text.Text();
        EXPECT_EQ(bytes(parts[0]["data"]), encoding == te8Bit ? body.substr(0, body.size() - 2) : body);
        EXPECT_EQ(text(parts[1]["type"]), "text/csv");
        EXPECT_EQ(text(parts[1]["filename"]), "table.csv");
        EXPECT_EQ(bytes(parts[1]["data"]), "a;b\r\n1;2\r\n");
        EXPECT_EQ(text(parts[2]["type"]), "image/jpeg");
        EXPECT_EQ(text(parts[2]["filename"]), "photo.jpg");
        EXPECT_EQ(bytes(parts[2]["data"]), testenv::scrambledBytes(3000));
    }
}

TEST_F(FillRawMail, OurParserReadsItBack)
{
    TQorMsg m;
    m.From = "sender@example.com";
    m.SendTo = "Anna <anna@example.com>";
    m.TextEncoding = teBase64;
    m.CharSet = "windows-1251";
    m.Subject = cp("Тема: ") + std::string(80, 'x');
    m.Text.Add(cp("Текст письма"));
    setData(m.Attachments.Add("data.bin"), testenv::scrambledBytes(500));
    m.FillRawMail();

    TQorMsg back;
    back.SetRawMail(m.RawMail);
    EXPECT_EQ(back.From, "sender@example.com");
    EXPECT_EQ(back.SendTo, "\"Anna\" <anna@example.com>");
    EXPECT_EQ(back.Subject, m.Subject);
    EXPECT_EQ(back.Text.Lines(), std::vector<AnsiString>{cp("Текст письма")});
    ASSERT_EQ(back.Attachments.Count(), 1);
    EXPECT_EQ(back.Attachments.Items(0).FileName, "data.bin");
    EXPECT_EQ(back.Attachments.Items(0).Data.Bytes(), testenv::scrambledBytes(500));
}

TEST_F(FillRawMail, GoldenMessage)
{
    TQorMsg m;
    m.From = "pager@example.com";
    m.UserName = "Pager";
    m.SendTo = "one@example.com";
    m.CC = "two@example.com";
    m.ReplyTo = "reply@example.com";
    m.InReplyTo = "<earlier@example.com>";
    m.Date = "Tue, 05 Mar 2024 10:00:00 +0300";
    m.XMailer = "Orvanta Pager 3.6";
    m.Priority = prHigh;
    m.TextEncoding = teBase64;
    m.CharSet = "windows-1251";
    m.Subject = cp("Свежая почта: 3 новых сообщений; всего 12, и ещё немного текста для второго слова");
    m.Text.Add(cp("Строка один"));
    m.Text.Add(".");
    m.ExtraHeaders.Add("X-Extra: yes");
    setData(m.Attachments.Add("notes.txt"), "note\r\n");
    m.FillRawMail();
    const std::string golden = std::string(ORV_FIXTURES) + "/mail/golden_fillrawmail.eml";
    if (std::getenv("ORV_WRITE_GOLDEN")) testenv::writeFile(golden, m.RawMail.Text());
    EXPECT_EQ(m.RawMail.Text(), testenv::readFile(golden));

    // A second call gives the same text: the subject is never rewritten.
    const AnsiString subject = m.Subject;
    SetMailRandomSource([n = 0](int range) mutable { return n++ % range; });
    m.FillRawMail();
    EXPECT_EQ(m.Subject, subject);
    EXPECT_EQ(m.RawMail.Text(), testenv::readFile(golden));
}

TEST_F(FillRawMail, LayoutOfThePlainAndTheMultipartMessage)
{
    TQorMsg m;
    m.From = "a@b.c";
    m.Text.Add(".");
    m.Text.Add(".hidden");
    m.Text.Add("plain");
    m.FillRawMail();
    const std::vector<AnsiString> want = {
        "Message-Id: <QOR.2024.03.05.abcdefghijklmnop@q.o.r>",
        "Date: ",
        "X-Priority: 3",
        "From: a@b.c",
        "X-Mailer: ",
        "To: ",
        "MIME-Version: 1.0",
        "Subject: ",
        "Content-Type: text/plain; charset=ISO-8859-1",
        "Content-Transfer-Encoding: 8Bit",
        "",
        "..",
        "..hidden",
        "plain",
    };
    EXPECT_EQ(m.RawMail.Lines(), want);

    m.TextEncoding = teBase64;
    setData(m.Attachments.Add("x.bin"), "x");
    m.FillRawMail();
    int delimiters = 0;
    AnsiString boundaryLine;
    for (const auto& line : m.RawMail) {
        if (line.rfind("----_QOR_bound_", 0) == 0) ++delimiters;
        if (line.rfind("Content-Type: multipart/mixed; boundary=\"--_QOR_bound_", 0) == 0) boundaryLine = line;
    }
    EXPECT_EQ(delimiters, 3);  // text, attachment, closing: four hyphens each
    EXPECT_FALSE(boundaryLine.empty());
    // The body's "." stays inside the base64 text.
    for (const auto& line : m.RawMail) EXPECT_NE(line, "..");
}

TEST_F(FillRawMail, LongSubjectsAreFoldedIntoEncodedWords)
{
    for (const char* charset : {"windows-1251", "UTF-8", "a-very-long-charset-name-that-leaves-little-room-x"}) {
        TQorMsg m;
        m.From = "a@b.c";
        m.TextEncoding = teBase64;
        m.CharSet = charset;
        const bool utf8 = std::string(charset) == "UTF-8";
        m.Subject = AnsiString(200, 'y');
        if (utf8) {
            m.Subject.clear();
            for (int i = 0; i < 100; ++i) m.Subject += "\xD0\x96";  // a two-byte letter
        }
        m.FillRawMail();
        const auto& lines = m.RawMail.Lines();
        auto at = std::find_if(lines.begin(), lines.end(), [](const AnsiString& l) { return l.rfind("Subject: ", 0) == 0; });
        ASSERT_NE(at, lines.end());
        std::vector<AnsiString> words = {at->substr(9)};
        for (++at; at != lines.end() && !at->empty() && (*at)[0] == ' '; ++at) words.push_back(at->substr(1));
        EXPECT_GT(words.size(), 1u) << charset;
        AnsiString decoded;
        for (const auto& w : words) {
            EXPECT_LE(w.size(), 75u) << w;
            EXPECT_EQ(w.rfind("=?" + std::string(charset) + "?B?", 0), 0u) << w;
            TQorMsg one;
            one.SetRawMail([&] {
                TExStringList l;
                l.Add("Subject: =?x-none?B?" + w.substr(w.find("?B?") + 3));
                return l;
            }());
            if (utf8) {
                EXPECT_EQ(one.Subject.size() % 2, 0u) << "a letter split between words";
            }
            decoded += one.Subject;
        }
        EXPECT_EQ(decoded, m.Subject) << charset;
    }
}

TEST_F(FillRawMail, RefusesBadFieldsBeforeStoringAnything)
{
    struct Case {
        const char* what;
        std::function<void(TQorMsg&)> spoil;
        AnsiString message;
    };
    const AnsiString noFrom = "\"From\" address not complete.";
    auto lineBreak = [](const char* field) {
        return codepage::fromUtf8("Поле \"") + field + codepage::fromUtf8("\" письма содержит перевод строки.");
    };
    const std::vector<Case> cases = {
        {"empty From", [](TQorMsg& m) { m.From.clear(); }, noFrom},
        {"From without @", [](TQorMsg& m) { m.From = "nobody"; }, noFrom},
        {"Subject with LF", [](TQorMsg& m) { m.Subject = "a\nBcc: victim@example.com"; }, lineBreak("Subject")},
        {"SendTo with CR", [](TQorMsg& m) { m.SendTo = "a@b\rc"; }, lineBreak("SendTo")},
        {"UserName with CR LF", [](TQorMsg& m) { m.UserName = "x\r\n"; }, lineBreak("UserName")},
        {"extra header", [](TQorMsg& m) { m.ExtraHeaders.Add("X-A: 1\r\nX-B: 2"); }, lineBreak("ExtraHeaders")},
        {"file name", [](TQorMsg& m) { setData(m.Attachments.Add("a\nb.txt"), "x"); }, lineBreak("FileName")},
    };
    for (const auto& c : cases) {
        TQorMsg m;
        m.From = "a@b.c";
        m.RawMail.Add("left from before");
        c.spoil(m);
        try {
            m.FillRawMail();
            ADD_FAILURE() << c.what;
        } catch (const Exception& e) {
            EXPECT_EQ(e.message(), c.message) << c.what;
        }
        EXPECT_EQ(m.RawMail.Count(), 0) << c.what;
    }
}

TEST_F(FillRawMail, AttachmentErrorsAndCancel)
{
    TQorMsg m;
    m.From = "a@b.c";
    m.Attachments.Add("/no/such/file.txt");
    EXPECT_THROW(m.FillRawMail(), EFOpenError);
    EXPECT_EQ(m.RawMail.Count(), 0);

    // A handler cancels the encoding: no half message.
    TQorMsg c;
    c.From = "a@b.c";
    TAttachedFile& file = c.Attachments.Add("big.bin");
    setData(file, testenv::scrambledBytes(100000));
    QTimer::singleShot(0, [&] { file.Cancel = true; });
    EXPECT_THROW(c.FillRawMail(), Exception);
    EXPECT_EQ(c.RawMail.Count(), 0);
    EXPECT_TRUE(QDir(QString::fromStdString(GetTempDir())).entryList(QDir::Files).isEmpty());
}
