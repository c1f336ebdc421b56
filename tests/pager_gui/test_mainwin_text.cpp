// The main window's message box with the selected contact's greeting and
// signature shown grey around the typed text, and the parameters group that
// follows the selected contact.

#include "pager/main/mainwin.h"

#include "pager/compose.h"
#include "pager/ini.h"
#include "pager/program.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/registry.h"
#include "tests/pager_gui/test_mainwin_peers.h"
#include "tests/support/testenv.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using testenv::cp;


QString u(const char* s) { return QString::fromUtf8(s); }

enum class Act { Type, TypeThenSwitch, PasteIntoHeader, BackspaceIntoHeader, DeleteIntoSignature, FullTextOff, Deselect };

struct TextCase {
    const char* name;
    bool fullText;
    bool globalTexts;   // IsHeader/IsSignature on with "Добрый день" / "Вася"
    const char* contact;
    Act act;
    const char* box;    // the box afterwards
    const char* body;   // BodyText afterwards
};

const TextCase kCases[] = {
    {"OwnTexts", true, true, "Пётр", Act::Type, "Привет abc. Пока.", "abc."},
    {"GlobalTexts", true, true, "Иван", Act::Type, "Добрый день abc. Вася.", "abc."},
    {"NoTexts", true, false, "Иван", Act::Type, "abc", "abc"},
    {"FullTextOffShowsNothing", false, true, "Пётр", Act::Type, "abc", "abc"},
    {"SwitchContact", true, true, "Пётр", Act::TypeThenSwitch, "Добрый день abc. Вася.", "abc."},
    {"PasteIntoHeaderLandsAfterIt", true, true, "Пётр", Act::PasteIntoHeader, "Привет XYZ. Пока.", "XYZ."},
    {"BackspaceIntoHeaderRefused", true, true, "Пётр", Act::BackspaceIntoHeader, "Привет . Пока.", "."},
    {"DeleteIntoSignatureRefused", true, true, "Пётр", Act::DeleteIntoSignature, "Привет ab. Пока.", "ab."},
    {"FullTextSwitchedOff", true, true, "Пётр", Act::FullTextOff, "abc.", "abc."},
    {"DeselectRemovesTexts", true, true, "Пётр", Act::Deselect, "abc.", "abc."},
};

class MainWinText : public ::testing::TestWithParam<TextCase> {
protected:
    void SetUp() override
    {
        folder = mwtest::makeInstall("mainwin-text");
    }
    void TearDown() override { w.reset(); }

    void make(bool fullText, bool global)
    {
        const std::string g = global ? "1" : "0";
        testenv::writeFile(folder + "/pager.ini",
                           "[Connect]\r\nHost=127.0.0.1\r\nPort=25\r\nFromAddress=me@example.com\r\nFromName=Me\r\n"
                           "UseOrvDialer=0\r\n\r\n[Message]\r\nCutLongMessage=1\r\nMaxSymbols=240\r\nFullText=" +
                               std::string(fullText ? "1" : "0") + "\r\n\r\n[Main]\r\nBookIndex=0\r\nIsHeader=" + g +
                               "\r\nHeader=" + cp("Добрый день") + "\r\nIsSignature=" + g +
                               "\r\nSignature=" + cp("Вася") + "\r\nIconDblClick=1\r\n");
        w = std::make_unique<TMainWin>();
        w->ShowMessage = [](const QString&) {};
        w->OnClosed = [] {};
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    TBookRow* row(const char* name) const
    {
        for (int i = 0; i < w->Book->Count(); ++i)
            if (w->Book->Row(i)->Name == cp(name)) return w->Book->Row(i);
        return nullptr;
    }
    void select(const char* name) { w->Book->lvAddr->setCurrentItem(row(name)); }
    void caretAt(int pos)
    {
        QTextCursor c = w->mText->textCursor();
        c.setPosition(pos);
        w->mText->setTextCursor(c);
    }
    int caret() const { return w->mText->textCursor().position(); }
    QString box() const { return w->mText->toPlainText(); }
    // What goes out to the contact, built as a send builds it.
    AnsiString sent(const char* name, bool own) const
    {
        TComposeFlags f;
        f.OwnHeader = f.OwnSignature = own;
        f.AutoHeader = w->AutoTexts->cbAutoHeader->checkState() == Qt::Checked;
        f.AutoSignat = w->AutoTexts->cbAutoSignat->checkState() == Qt::Checked;
        const TBookRow* r = row(name);
        return ComposeText(w->BodyText, r->Name, r->Item, f, CurrentComposeSettings(), sysclock::now());
    }

    std::string folder;
    std::unique_ptr<TMainWin> w;
};

TEST_P(MainWinText, BoxAndBody)
{
    const TextCase& t = GetParam();
    make(t.fullText, t.globalTexts);
    select(t.contact);
    w->mText->setFocus();
    const char* sentTo = t.contact;
    switch (t.act) {
    case Act::Type: QTest::keyClicks(w->mText, "abc"); break;
    case Act::TypeThenSwitch:
        QTest::keyClicks(w->mText, "abc");
        select("Иван");
        sentTo = "Иван";
        break;
    case Act::PasteIntoHeader:
        caretAt(2);
        EXPECT_EQ(caret(), 7);  // moved out of the header
        QApplication::clipboard()->setText("XYZ");
        QTest::keyClick(w->mText, Qt::Key_V, Qt::ControlModifier);
        break;
    case Act::BackspaceIntoHeader:
        QTest::keyClick(w->mText, Qt::Key_Backspace);
        QTest::keyClick(w->mText, Qt::Key_Backspace);
        break;
    case Act::DeleteIntoSignature:
        QTest::keyClicks(w->mText, "ab");
        QTest::keyClick(w->mText, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(w->mText, Qt::Key_Delete);
        QTest::keyClick(w->mText, Qt::Key_Delete);
        QTest::keyClick(w->mText, Qt::Key_Delete);
        break;
    case Act::FullTextOff:
        QTest::keyClicks(w->mText, "abc");
        w->ShowOptionsDialog = [] {
            Ini.Message.FullText = false;
            TOptiResult r;
            r.Ok = true;
            r.ViewChanged = true;
            return r;
        };
        w->bOptionsClick();
        break;
    case Act::Deselect:
        QTest::keyClicks(w->mText, "abc");
        w->Book->lvAddr->clearSelection();
        break;
    }
    EXPECT_EQ(box(), u(t.box));
    EXPECT_EQ(codepage::toUtf8(w->BodyText), t.body);
    if (t.fullText && t.act != Act::FullTextOff && t.act != Act::Deselect) {
        // The text that goes out is the one the box shows.
        const bool own = std::string(sentTo) == "Пётр";
        EXPECT_EQ(codepage::toUtf8(sent(sentTo, own)), t.box);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, MainWinText, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWinText, ContactParamsGreyAndSettingsUntouched)
{
    make(true, true);
    select("Пётр");
    EXPECT_EQ(w->AutoTexts->cbAutoHeader->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(w->AutoTexts->eHeader->text(), u("Привет"));
    EXPECT_FALSE(w->AutoTexts->eHeader->isEnabled());
    EXPECT_EQ(codepage::toUtf8(Ini.Main.Header), "Добрый день");
    EXPECT_EQ(codepage::toUtf8(Ini.Main.Signature), "Вася");
    EXPECT_TRUE(Ini.Main.IsHeader);
    // A click never gives the grey state.
    QTest::mouseClick(w->AutoTexts->cbAutoHeader, Qt::LeftButton);
    EXPECT_EQ(w->AutoTexts->cbAutoHeader->checkState(), Qt::Checked);
    EXPECT_EQ(box(), u("Добрый день . Пока."));
    // Apply to all: the global texts for every contact.
    QTest::mouseClick(w->cbUseThisParam, Qt::LeftButton);
    EXPECT_EQ(box(), u("Добрый день . Вася."));
    select("Иван");
    select("Пётр");
    EXPECT_EQ(w->AutoTexts->cbAutoSignat->checkState(), Qt::Checked);
    EXPECT_EQ(box(), u("Добрый день . Вася."));
}

}  // namespace
