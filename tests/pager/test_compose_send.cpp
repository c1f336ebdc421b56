// Messages built for every recoding code and sent through the SMTP client to
// a real SMTP server on loopback.

#include "pager/compose.h"

#include "netcomp/fxsmtp.h"
#include "pager/encod.h"
#include "pager/opdb.h"
#include "pager/rungler.h"
#include "tests/support/smtpsink.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

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
    smtp.Host = "127.0.0.1";
    smtp.Port = sink.port();
    smtp.UserID = "pager";
    smtp.SetTimeOut(20000);
    smtp.Connect();

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
            FillPostMessage(smtp.PostMsg, part);
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
