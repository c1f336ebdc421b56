// The options dialog's controls as loaded from the settings record and stored
// back into it.

#include "pager/optionsform.h"

#include "pager/opdb.h"
#include "platform/codepage.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

namespace {

using testenv::cp;

const std::string kFixtures = ORV_FIXTURES "/dialogs/";

TIni defaults()
{
    TIni ini;
    LoadOptions(ini, testenv::makeDir("optionsform-empty") + "/pager.ini");
    return ini;
}

TEST(OptionsForm, SecondColumn)
{
    TOpList ops;
    struct Case {
        int column2;
        bool checked;
        int index;
    } cases[] = {{-1, false, 0}, {0, true, 0}, {1, true, 1}, {2, true, 2}, {-7, false, 0}};
    for (const Case& c : cases) {
        TIni ini = defaults();
        ini.View.Column2 = c.column2;
        TOptionsForm f = OptionsFormOf(ini, ops);
        EXPECT_EQ(f.Column2, c.checked) << c.column2;
        EXPECT_EQ(f.Columns, c.index) << c.column2;
        ApplyOptionsForm(f, false, ops, ini);
        EXPECT_EQ(ini.View.Column2, c.checked ? c.column2 : -1) << c.column2;
    }
    TIni ini = defaults();
    TOptionsForm f = OptionsFormOf(ini, ops);
    f.Column2 = false;
    f.Columns = 2;
    ApplyOptionsForm(f, false, ops, ini);
    EXPECT_EQ(ini.View.Column2, -1);
}

TEST(OptionsForm, UpDownsClampToTheirRanges)
{
    TOpList ops;
    TIni ini = defaults();
    ini.Message.CountLogMsg = 12345;
    ini.Message.MaxSymbols = -5;
    ini.Connect.Port = 25;
    ini.Connect.PollingInterval = 0;
    ini.CheckEmail.CheckEvery = 10000;
    const TOptionsForm f = OptionsFormOf(ini, ops);
    EXPECT_EQ(f.CountLog, 9999);
    EXPECT_EQ(f.MaxSymbols, 0);
    EXPECT_EQ(f.Port, 25);
    EXPECT_EQ(f.SendLater, 1);
    EXPECT_EQ(f.CheckMail, 9999);
}

TEST(OptionsForm, TextsAreTrimmedOrKeptAndCut)
{
    TOpList ops;
    TIni ini = defaults();
    TOptionsForm f = OptionsFormOf(ini, ops);
    f.FromName = cp("  Иван Петров ");
    f.FromAddress = " ivan@example.com\t";
    f.SMTP = " 127.0.0.1 ";
    f.UserID = " me ";
    f.POPHost = " pop.example.com ";
    f.POPUserID = " user ";
    f.POPPassword = " secret ";
    f.NotifText = std::string(300, 'x') + "\r\n" + "y";
    f.FromName += std::string(300, 'n');
    ApplyOptionsForm(f, false, ops, ini);
    EXPECT_EQ(ini.Connect.FromName.size(), 255u);
    EXPECT_EQ(ini.Connect.FromName.substr(0, 10), cp("Иван Петро"));
    EXPECT_EQ(ini.Connect.FromAddress, "ivan@example.com");
    EXPECT_EQ(ini.Connect.Host, "127.0.0.1");
    EXPECT_EQ(ini.Connect.UserID, "me");
    EXPECT_EQ(ini.CheckEmail.Host, " pop.example.com ");
    EXPECT_EQ(ini.CheckEmail.UserID, " user ");
    EXPECT_EQ(ini.CheckEmail.Password, " secret ");
    EXPECT_EQ(ini.CheckEmail.Text.size(), 303u);  // the notice text is not cut
}

TEST(OptionsForm, NoticeRecipient)
{
    TOpList ops;
    LoadOperators(ops, kFixtures + "operators.dat");
    const int mobil = GetOpIndex(ops, "79160000000@sms.example.org");
    ASSERT_GE(mobil, 0);

    TIni ini = defaults();
    ini.CheckEmail.To = "79161234567@sms.example.org";
    TOptionsForm f = OptionsFormOf(ini, ops);
    EXPECT_EQ(f.ToOperator, mobil);
    EXPECT_EQ(f.ToNum, "79161234567");

    // Untouched: kept exactly, even where no template matches it.
    for (const char* to : {"79161234567@sms.example.org", "Someone@Unknown.example", ""}) {
        TIni kept = defaults();
        kept.CheckEmail.To = to;
        ApplyOptionsForm(OptionsFormOf(kept, ops), false, ops, kept);
        EXPECT_EQ(kept.CheckEmail.To, to);
    }

    // Changed: the template with the number; no operator chosen gives an empty address.
    f.ToNum = "111";
    ApplyOptionsForm(f, true, ops, ini);
    EXPECT_EQ(ini.CheckEmail.To, "111@sms.example.org");
    f.ToOperator = -1;
    ApplyOptionsForm(f, true, ops, ini);
    EXPECT_EQ(ini.CheckEmail.To, "");
    // With the main list empty nothing can be chosen.
    TOpList none;
    f.ToOperator = mobil;
    ApplyOptionsForm(f, true, none, ini);
    EXPECT_EQ(ini.CheckEmail.To, "");
}

TEST(OptionsForm, EveryOptionRoundTrips)
{
    TOpList ops;
    TIni ini = defaults();
    ini.Run = {true, true, false};
    ini.Message = {false, true, false, false, 100, 3};
    ini.Connect.UseOrvDialer = true;
    ini.Connect.AlwaysOn = true;
    ini.Connect.Port = 2525;
    ini.View.IconsInBook = false;
    ini.Main.IconDblClick = false;
    ini.CheckEmail.Active = true;
    ini.CheckEmail.Code = 3;
    ini.CheckEmail.CheckEvery = 7;
    ini.CheckEmail.Text = "a\r\nb";
    TIni back = defaults();
    ApplyOptionsForm(OptionsFormOf(ini, ops), false, ops, back);
    EXPECT_EQ(back.Run.AutoRun, true);
    EXPECT_EQ(back.Run.HideOnRun, true);
    EXPECT_EQ(back.Run.RunOneCopy, false);
    EXPECT_EQ(back.Message.CutLongMessage, false);
    EXPECT_EQ(back.Message.HideOnSuccess, true);
    EXPECT_EQ(back.Message.MaxSymbols, 100);
    EXPECT_EQ(back.Message.CountLogMsg, 3);
    EXPECT_EQ(back.Connect.UseOrvDialer, true);
    EXPECT_EQ(back.Connect.AlwaysOn, true);
    EXPECT_EQ(back.Connect.Port, 2525);
    EXPECT_EQ(back.View.IconsInBook, false);
    EXPECT_EQ(back.Main.IconDblClick, false);
    EXPECT_EQ(back.CheckEmail.Active, true);
    EXPECT_EQ(back.CheckEmail.Code, 3);
    EXPECT_EQ(back.CheckEmail.CheckEvery, 7);

    // The two-line notice is saved as "a|b".
    const std::string file = testenv::makeDir("optionsform-save") + "/pager.ini";
    SaveOptions(back, file);
    EXPECT_NE(testenv::readFile(file).find("\r\nText=a|b\r\n"), std::string::npos);
}

}  // namespace
