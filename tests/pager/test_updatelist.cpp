// The update dialog's data: hosts.dat, update.lst, the names a list may use
// and what each entry does to the program folder.

#include "pager/updatelist.h"

#include "platform/codepage.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <filesystem>

using testenv::cp;

namespace {

const std::string kFixtures = std::string(ORV_FIXTURES) + "/update/";

std::string folderWith(const std::string& name, const std::vector<std::pair<std::string, std::string>>& files)
{
    const std::string folder = testenv::makeDir(name) + "/";
    for (const auto& [f, bytes] : files) testenv::writeFile(folder + f, bytes);
    return folder;
}

}  // namespace

TEST(UpdateList, HostsAreTheUrlOfEverySectionInFileOrder)
{
    EXPECT_EQ(ReadUpdateHosts(kFixtures + "hosts.dat"),
              (std::vector<AnsiString>{"http://www.kestrane.example/pager/update",
                                       "http://mirror.kestrane.example/pager/update/", ""}));
    EXPECT_TRUE(ReadUpdateHosts(kFixtures + "missing.dat").empty());
}

TEST(UpdateList, EntriesOfTheFilesSectionInFileOrder)
{
    const std::vector<TUpdateEntry> entries = ReadUpdateList(kFixtures + "update.lst");
    struct Expected {
        AnsiString name;
        TUpdateAction action;
        int32_t size;
    };
    const std::vector<Expected> expected = {
        {"old.dat", TUpdateAction::Delete, 0},
        {"operators.dat", TUpdateAction::Change, 0},  // the later DELETE of the same key is hidden
        {"pagers.dat", TUpdateAction::Update, 1234},
        {"notes.txt", TUpdateAction::None, 0},
        {"empty.txt", TUpdateAction::None, 0},
        {cp("Операторы.dat"), TUpdateAction::Update, 0},
        {"escaped.dat", TUpdateAction::None, 0},  // an escaped comma splits nothing
    };
    ASSERT_EQ(entries.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(entries[i].Name, expected[i].name);
        EXPECT_EQ(entries[i].Action, expected[i].action);
        EXPECT_EQ(entries[i].Size, expected[i].size);
    }
    EXPECT_TRUE(ReadUpdateList(kFixtures + "missing.lst").empty());
}

TEST(UpdateList, ValuesAreReadWithoutRegardToCase)
{
    struct Case {
        const char* value;
        TUpdateAction action;
        int32_t size;
    };
    const Case cases[] = {
        {"DELETE", TUpdateAction::Delete, 0},
        {"delete,12", TUpdateAction::Delete, 12},
        {"Change", TUpdateAction::Change, 0},
        {"update,1234", TUpdateAction::Update, 1234},
        {"UPDATE, -1", TUpdateAction::Update, -1},
        {"UPDATE,+7", TUpdateAction::Update, 7},
        {"UPDATE,12kb", TUpdateAction::Update, 0},
        {"UPDATE,", TUpdateAction::Update, 0},
        {"UPDATE,99999999999", TUpdateAction::Update, 0},
        {"UPDATE,-2147483648", TUpdateAction::Update, INT32_MIN},
        {"UPDATE,2147483648", TUpdateAction::Update, 0},
        {"UPDATES", TUpdateAction::None, 0},
        {",DELETE", TUpdateAction::None, 0},
        {"", TUpdateAction::None, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        const TUpdateEntry e = ParseUpdateEntry("a.dat", c.value);
        EXPECT_EQ(e.Action, c.action);
        EXPECT_EQ(e.Size, c.size);
    }
}

TEST(UpdateList, OnlyShippedDataFilesInsideTheFolderAreTaken)
{
    const std::pair<AnsiString, bool> cases[] = {
        {"operators.dat", true},
        {"Operators.dat", true},
        {cp("Операторы.dat"), true},
        {"my file.dat", true},
        {"pagers.DAT", true},
        {"hosts.dat", true},
        // The programs, their libraries, the settings and the list itself.
        {"rasapi32.so", false},
        {"tapi32.so", false},
        {"Pager", false},
        {"OrvDialer", false},
        {"pager.ini", false},
        {"update.lst", false},
        {"operators.dat.so", false},
        {"operators.dat~", false},
        {"dat", false},
        // The user's own data, in any letter case.
        {"book.dat", false},
        {"BOOK.DAT", false},
        {"User.dat", false},
        {"messages.dat", false},
        {"wait.Dat", false},
        {"../x.dat", false},
        {"sub/x.dat", false},
        {".dat", false},
        {"../x", false},
        {"..", false},
        {"a..b", false},
        {"/etc/x", false},
        {"a\\b", false},
        {"sub/x", false},
        {"c:x", false},
        {".profile", false},
        {".", false},
        {"", false},
        {"a\tb", false},
        {"a\x7f", false},
    };
    for (const auto& [name, ok] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(IsSafeUpdateName(name), ok);
    }
}

TEST(UpdateList, AnExistingFileIsMatchedWithoutRegardToCase)
{
    const std::string folder = folderWith("update-case", {{"operators.dat", "1"},
                                                          {"PAGERS.DAT", "22"},
                                                          {"Both.dat", "a"},
                                                          {"both.dat", "b"},
                                                          {"Операторы.dat", "333"}});
    std::filesystem::create_directory(folder + "Folder.dat");
    struct Case {
        AnsiString listed;
        std::string local;
        int64_t size;
    };
    const Case cases[] = {
        {"Operators.dat", "operators.dat", 1},
        {"operators.dat", "operators.dat", 1},
        {"pagers.dat", "PAGERS.DAT", 2},
        {"both.dat", "both.dat", 1},  // the exact name first
        {cp("ОПЕРАТОРЫ.DAT"), "Операторы.dat", 3},
        {"new.dat", "new.dat", -1},
        {"folder.dat", "Folder.dat", -1},  // a folder is no file
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.listed);
        const std::string local = LocalUpdateFile(folder, c.listed);
        EXPECT_EQ(local, folder + c.local);
        EXPECT_EQ(LocalFileSize(local), c.size);
    }
}

TEST(UpdateList, WhatNeedsADownload)
{
    struct Case {
        const char* value;
        int64_t localSize;  // -1: no such file
        bool download;
    };
    const Case cases[] = {
        {"CHANGE", -1, true},   {"CHANGE", 5, true},      {"UPDATE,1234", 1234, false},
        {"UPDATE,1234", 1233, true}, {"UPDATE,1234", -1, true}, {"UPDATE", 0, false},
        {"UPDATE", -1, true},   {"UPDATE", 3, true},      {"UPDATE,-1", -1, false},
        {"DELETE", 5, false},   {"OTHER", -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.value) + " " + std::to_string(c.localSize));
        EXPECT_EQ(NeedsDownload(ParseUpdateEntry("a.dat", c.value), c.localSize), c.download);
    }
}

TEST(UpdateList, AddressOfAListedFile)
{
    const std::tuple<AnsiString, AnsiString, AnsiString> cases[] = {
        {"http://www.kestrane.example/pager/update", "update.lst", "http://www.kestrane.example/pager/update/update.lst"},
        {"http://www.kestrane.example/pager/update/", "update.lst", "http://www.kestrane.example/pager/update/update.lst"},
        {"127.0.0.1/u", "my file~1.dat", "127.0.0.1/u/my%20file~1.dat"},
        {"h/u", cp("Ёж.dat"), "h/u/%A8%E6.dat"},
        {"h/u", "a?b#c&d%e+f", "h/u/a%3Fb%23c%26d%25e%2Bf"},
        {"", "x", "/x"},
    };
    for (const auto& [base, name, url] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(UpdateFileUrl(base, name), url);
    }
}
