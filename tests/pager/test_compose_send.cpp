// Messages built for every recoding code and sent through the SMTP client to
// a real SMTP server on loopback.

#include "pager/compose.h"

#include "netcomp/fxsmtp.h"
#include "pager/encod.h"
#include "pager/opdb.h"
#include "pager/rungler.h"
#include "platform/codepage.h"
#include "tests/support/smtpsink.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QTimeZone>

using testenv::cp;

namespace {

// The header line of a mail ("" when missing).
std::string header(const std::string& mail, const std::string& name)
{
    const std::string head = "\r\n" + mail.substr(0, mail.find("\r\n\r\n") + 2);
    const size_t at = head.find("\r\n" + name + ": ");
    if (at == std::string::npos) return {};
    const size_t start = at + name.size() + 4;
    return head.substr(start, head.find("\r\n", start) - start);
}

std::string body(const std::string& mail) { return mail.substr(mail.find("\r\n\r\n") + 4); }

// The client connected to the sink as the pager connects.
void connectTo(TFxSMTP& smtp, const testenv::SmtpSink& sink)
{
    smtp.Host = "127.0.0.1";
    smtp.Port = sink.port();
    smtp.UserID = "pager";
    smtp.SetTimeOut(20000);
    smtp.Connect();
}

}  // namespace

TEST(ComposeSend, EveryCodeReachesTheServerPartByPart)
{
    testenv::SmtpSink sink;
    ASSERT_NE(sink.port(), 0);

    TComposeSettings settings;
    settings.FromName = "Your Name";
    settings.FromAddress = "me@example.com";
    settings.MaxSymbols = 60;
    TPagerList pagers;
    TRungler translit;
    const QDateTime now(QDate(2026, 12, 10), QTime(10, 0));
    // Cut into two parts at a bound of 60: 51 characters of text per piece.
    const AnsiString text = cp("Ёлка и ёжик, №7: Щука Жук Цапля Чайка Шило. Yozh Shchuka Zhuk Tsaplya");

    TFxSMTP smtp;
    connectTo(smtp, sink);

    std::vector<TMailPart> sent;
    for (int code = 0; code <= 4; ++code) {
        TBookItem item;
        item.Addr = code == 1 ? "gate@sms.example.com?subject=5550" + std::to_string(code)
                              : "555" + std::to_string(code) + "@pager.example.net";
        item.EMail = "copy@example.org";
        item.Code = code;
        TComposeFlags flags;
        flags.Copy = true;
        for (const TMailPart& part : BuildMessage(text, "N", item, flags, settings, pagers, translit, now)) {
            FillPostMessage(smtp, part, now);
            smtp.SendMail();
            sent.push_back(part);
        }
    }
    smtp.Disconnect();

    const auto mails = sink.mails(sent.size());
    ASSERT_EQ(mails.size(), sent.size());
    ASSERT_EQ(sent.size(), 10u);
    for (size_t i = 0; i < sent.size(); ++i) {
        const TMailPart& part = sent[i];
        const auto& mail = mails[i];
        const bool last = !part.Intermediate;
        EXPECT_EQ(mail.from, "me@example.com");
        // The copy goes with the last part only.
        const std::vector<std::string> recipients =
            last ? std::vector<std::string>{part.To, "copy@example.org"} : std::vector<std::string>{part.To};
        EXPECT_EQ(mail.to, recipients);
        EXPECT_EQ(header(mail.content, "To"), part.To);
        EXPECT_EQ(header(mail.content, "CC"), last ? "copy@example.org" : "");
        EXPECT_EQ(header(mail.content, "Subject"), part.Subject);
        EXPECT_EQ(header(mail.content, "X-Mailer"), last ? "Orvanta Pager 3.6" : "OrvPager 3.6");
        // The body bytes as recoded, 8-bit bytes and all (after the blank line
        // that follows the header).
        EXPECT_EQ(body(mail.content), "\r\n" + part.Body + "\r\n") << "part " << i;
    }
    // "Ё" and "ё" reach a KOI8 handset as KOI8-R's own letters (0xB3, 0xA3):
    // "(1/2) Ёлка и ёжик" on the wire.
    EXPECT_EQ(body(mails[0].content).substr(0, 19), "\r\n(1/2) \xB3\xCC\xCB\xC1 \xC9 \xA3\xD6\xC9\xCB");
    // What each code made of the same first part.
    EXPECT_EQ(sent[0].Body, WinToKoi(sent[2].Body));                 // KOI8 of the cp1251 text
    EXPECT_EQ(sent[2].Body.substr(0, 6), "(1/2) ");
    EXPECT_EQ(sent[4].Subject, "");
    EXPECT_EQ(sent[2].Subject, "55501");
    for (char c : sent[4].Body) EXPECT_LT(byteOf(c), 128);           // RUS->LAT is ASCII
    EXPECT_EQ(sent[8].Body, translit.ConvertAfresh(sent[2].Body, cdLatinToRussian));  // LAT->WIN
    EXPECT_EQ(sent[6].Body, WinToKoi(sent[8].Body));                 // LAT->KOI8
}

// Mails of every code read back by Python's e-mail parser (its modern policy,
// as a gateway or the contact's mail client would read them): each text
// reads as it was meant, in the charset its mail names, and the date parses
// to the moment of the send.
TEST(ComposeSend, AMimeReaderReadsEveryCodesTextAndDate)
{
    testenv::SmtpSink sink;
    ASSERT_NE(sink.port(), 0);
    TComposeSettings settings;
    settings.FromAddress = "me@example.com";
    TPagerList pagers;
    TRungler translit;
    const AnsiString russian = cp("Счёт 5: Ёлка и ёжик, Щука!");
    const AnsiString latin = "Schyot 5: Yolka i yozhik, Shchuka!";
    // The moments of the sends: in local time, and at an offset of its own.
    const QDateTime local(QDate(2026, 3, 5), QTime(9, 7, 30));
    const QDateTime moscow(QDate(2026, 3, 5), QTime(9, 7, 30), QTimeZone(3 * 3600));

    TFxSMTP smtp;
    connectTo(smtp, sink);
    std::vector<std::string> expected;
    for (int code = 0; code <= 4; ++code) {
        TBookItem item;
        item.Addr = "555@pager.example.net";
        item.Code = code;
        const AnsiString typed = code >= 3 ? latin : russian;
        const auto parts = BuildMessage(typed, "N", item, {}, settings, pagers, translit, local);
        ASSERT_EQ(parts.size(), 1u);
        const QDateTime at = code == 1 ? moscow : local;
        FillPostMessage(smtp, parts[0], at);
        smtp.SendMail();
        // What the handset is to show: the typed text, or what the
        // transliteration made of it (in cp1251 before any KOI8 recoding).
        const AnsiString shown = code == 0 || code == 1 ? typed : RecodeText(typed, code == 3 ? 4 : code, translit);
        const char* charset = code == 0 || code == 3 ? "koi8-r" : code == 2 ? "us-ascii" : "windows-1251";
        expected.push_back(std::string(charset) + "\t" + std::to_string(at.toSecsSinceEpoch()) + "\t" +
                           std::to_string(at.offsetFromUtc()) + "\t0\t" + codepage::toUtf8(shown));
    }
    smtp.Disconnect();
    const auto mails = sink.mails(expected.size());
    ASSERT_EQ(mails.size(), expected.size());
    std::vector<std::string> contents;
    for (const auto& m : mails) contents.push_back(m.content);

    const std::string script = R"(
import sys
from email import policy
from email.parser import BytesParser
for path in sys.argv[1:]:
    with open(path, 'rb') as f:
        m = BytesParser(policy=policy.default).parse(f)
    d = m['date'].datetime
    text = m.get_content().strip('\r\n')
    defects = len(m.defects) + len(m['date'].defects)
    line = '%s\t%d\t%d\t%d\t%s\n' % (m.get_content_charset(), d.timestamp(), d.utcoffset().total_seconds(),
                                    defects, text)
    sys.stdout.buffer.write(line.encode('utf-8'))
)";
    const std::string out = testenv::python(script, contents);
    std::vector<std::string> got;
    for (size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
        got.push_back(out.substr(at, end - at));
    EXPECT_EQ(got, expected);
}
