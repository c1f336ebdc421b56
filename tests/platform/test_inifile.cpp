#include "platform/inifile.h"

#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using testenv::cp;

namespace {

std::string iniPath(const std::string& name)
{
    return testenv::makeDir("ini") + "/" + name;
}

}  // namespace

TEST(IniFile, ReadsByTheProfileRules)
{
    const std::string path = iniPath("rules.ini");
    testenv::writeFile(path,
                       "; a comment line\r\n"
                       "orphan=before any section\r\n"
                       "[Main]\r\n"
                       "  Name  =  value with blanks  \r\n"
                       "Quoted=\"in quotes\"\r\n"
                       "Single='x'\r\n"
                       "Half=\"open\r\n"
                       "Number=42\r\n"
                       "Hex=$1F\r\n"
                       "Bad=12abc\r\n"
                       "Name=second wins nothing\r\n"
                       ";Name=commented\r\n"
                       "no equals sign\n"  // LF alone is a line end too
                       "[" + cp("ГРУППА") + "]\n" +
                       cp("Ключ=значение\n") +
                       "[main]\r\n"
                       "Extra=hidden by the first [Main]\r\n");
    const TIniFile f(path);
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"Main", "name", "value with blanks"},
        {"MAIN", "Quoted", "in quotes"},
        {"Main", "Single", "x"},
        {"Main", "Half", "\"open"},
        {"Main", "Number", "42"},
        {"группа", "ключ", "значение"},
        {"Main", "Extra", "default"},
        {"Main", "orphan", "default"},
        {"Main", "no equals sign", "default"},
        {"Missing", "Name", "default"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(f.ReadString(cp(c.section), cp(c.key), "default"), cp(c.expected))
            << c.section << "/" << c.key;
    }
    EXPECT_EQ(f.ReadInteger("Main", "Number", -1), 42);
    EXPECT_EQ(f.ReadInteger("Main", "Hex", -1), 31);
    EXPECT_EQ(f.ReadInteger("Main", "Bad", -1), -1);
    EXPECT_EQ(f.ReadInteger("Main", "Missing", 7), 7);
    EXPECT_TRUE(f.ReadBool("Main", "Number", false));
    EXPECT_EQ(f.ReadSections(), (std::vector<AnsiString>{"Main", cp("ГРУППА")}));
    EXPECT_EQ(f.ReadSection("main"),
              (std::vector<AnsiString>{"Name", "Quoted", "Single", "Half", "Number", "Hex", "Bad"}));
}

// The files are the programs' own: what was written reads back, whatever its
// length (the host's reader stopped at 2047 characters).
TEST(IniFile, LongValuesAreReadWhole)
{
    const std::string path = iniPath("long.ini");
    const std::string value = std::string(2100, 'x') + "\\,end";
    {
        TIniFile f(path);
        f.WriteString("S", "K", value);
        f.UpdateFile();
    }
    const TIniFile f(path);
    EXPECT_EQ(f.ReadString("S", "K", ""), value);
    ASSERT_EQ(f.ReadSectionValues("S").size(), 1u);
    EXPECT_EQ(f.ReadSectionValues("S")[0].second, value);
}

TEST(IniFile, WritingKeepsOrderCommentsAndUnknownKeys)
{
    const std::string path = iniPath("write.ini");
    testenv::writeFile(path,
                       "; keep me\n"
                       "[First]\n"
                       "a=1\n"
                       "Unknown=stays\n"
                       "\n"
                       "[Second]\n"
                       "b=2\n");
    {
        TIniFile f(path);
        f.WriteString("FIRST", "A", "one");    // rewritten in place, its own spelling kept
        f.WriteString("First", "New", "x");    // after the last key of the section
        f.WriteInteger("Third", "c", -3);      // a new section at the end
        f.WriteBool("Second", "flag", true);
        f.UpdateFile();
    }
    EXPECT_EQ(testenv::readFile(path),
              "; keep me\r\n"
              "[First]\r\n"
              "a=one\r\n"
              "Unknown=stays\r\n"
              "New=x\r\n"
              "\r\n"
              "[Second]\r\n"
              "b=2\r\n"
              "flag=1\r\n"
              "\r\n"
              "[Third]\r\n"
              "c=-3\r\n");
}

TEST(IniFile, UntouchedFileIsNotRewrittenAndEraseDeleteClearWork)
{
    const std::string path = iniPath("erase.ini");
    const std::string original = "[A]\nx=1\ny=2\n[B]\nz=3\n";
    testenv::writeFile(path, original);
    {
        TIniFile f(path);
        f.UpdateFile();  // nothing changed: the bytes stay as they are, LF and all
    }
    EXPECT_EQ(testenv::readFile(path), original);

    TIniFile f(path);
    f.DeleteKey("a", "X");
    f.EraseSection("b");
    EXPECT_FALSE(f.SectionExists("B"));
    EXPECT_FALSE(f.ValueExists("A", "x"));
    EXPECT_TRUE(f.ValueExists("A", "y"));
    f.UpdateFile();
    EXPECT_EQ(testenv::readFile(path), "[A]\r\ny=2\r\n");

    f.Clear();
    f.WriteString("Message1", "Text", "t");
    f.UpdateFile();
    EXPECT_EQ(testenv::readFile(path), "[Message1]\r\nText=t\r\n");
}

TEST(IniFile, RefusesNamesAndValuesItCannotStoreFaithfully)
{
    TIniFile f(iniPath("refuse.ini"));
    const char* badKeys[] = {"", "a=b", "line\nbreak", "cr\rkey", "[bracket", ";comment", " blank", "blank "};
    for (const char* k : badKeys) {
        EXPECT_THROW(f.WriteString("S", k, "v"), EIniFileException) << "key '" << k << "'";
    }
    const char* badSections[] = {"", "a]b", "two\nlines", " lead"};
    for (const char* s : badSections) {
        EXPECT_THROW(f.WriteString(s, "k", "v"), EIniFileException) << "section '" << s << "'";
    }
    EXPECT_THROW(f.WriteString("S", "k", "two\r\nlines"), EIniFileException);
    EXPECT_THROW(f.WriteString("S", "k", std::string("nul\0byte", 8)), EIniFileException);
    EXPECT_FALSE(f.Modified());
    EXPECT_NO_THROW(f.WriteString(cp("Группа (1)"), cp("Имя, с запятой"), "a=b;c"));
}

TEST(IniFile, ValuesInQuotesComeBackWithIniValueOf)
{
    const std::string path = iniPath("quotes.ini");
    const char* values[] = {"\"quoted\"", "'single'", "\"", "\"a'", "plain", ""};
    {
        TIniFile f(path);
        int i = 0;
        for (const char* v : values) f.WriteString("S", "k" + std::to_string(i++), IniValueOf(v));
        f.UpdateFile();
    }
    const TIniFile f(path);
    int i = 0;
    for (const char* v : values) EXPECT_EQ(f.ReadString("S", "k" + std::to_string(i++), "?"), v) << v;
}

TEST(IniFile, FailedWriteRaisesAndLeavesTheOldFileWhole)
{
    // A read-only file (protected by the user; refused for root too), a
    // read-only folder, a folder that is missing.
    const std::string dir = testenv::makeDir("readonly");
    const std::string roFile = dir + "/file.ini";
    const std::string roDir = testenv::makeDir("readonly-folder");
    const std::string inRoDir = roDir + "/x.ini";
    const std::string missing = testenv::root() + "/no/such/folder/x.ini";
    for (const std::string& path : {roFile, inRoDir}) testenv::writeFile(path, "[S]\r\nk=old\r\n");
    chmod(roFile.c_str(), 0444);
    chmod(roDir.c_str(), 0555);
    for (const std::string& path : {roFile, inRoDir, missing}) {
        SCOPED_TRACE(path);
        TIniFile f(path);
        f.WriteString("S", "k", "new");
        try {
            f.UpdateFile();
            ADD_FAILURE() << "no exception";
        } catch (const EIniFileException& e) {
            EXPECT_EQ(e.message(), "Unable to write to " + path);
        }
        EXPECT_THROW(TIniFile::DeleteFile(path == missing ? roFile : path), EIniFileException);
    }
    chmod(roDir.c_str(), 0700);
    for (const std::string& path : {roFile, inRoDir}) EXPECT_EQ(testenv::readFile(path), "[S]\r\nk=old\r\n");
    EXPECT_NO_THROW(TIniFile::DeleteFile(missing));  // nothing to delete
}

TEST(IniFile, DeleteKeysAndRenameSectionKeepThePlaceOfTheSection)
{
    const std::string path = iniPath("keys.ini");
    testenv::writeFile(path, "[A]\r\nx=1\r\n[]\r\n; note\r\nk=1\r\nK=2\r\n=no key\r\n\r\n[B]\r\ny=2\r\n");
    TIniFile f(path);
    EXPECT_EQ(f.ReadSections(), (std::vector<AnsiString>{"A", "", "B"}));
    f.DeleteKeys("");
    f.RenameSection("", "New");
    EXPECT_THROW(f.RenameSection("A", "bad]name"), EIniFileException);
    f.WriteString("New", "z", "3");
    f.UpdateFile();
    EXPECT_EQ(testenv::readFile(path), "[A]\r\nx=1\r\n[New]\r\n; note\r\n=no key\r\nz=3\r\n\r\n[B]\r\ny=2\r\n");
}
