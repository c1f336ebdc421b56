#include "pager/program.h"

#include "platform/registry.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

using testenv::cp;

TEST(ProgramStart, ProgramFolderEndsWithOneSlash)
{
    EXPECT_EQ(ProgramFolder("/opt/orvanta/Pager"), "/opt/orvanta/");
    EXPECT_EQ(ProgramFolder("/Pager"), "/");
    EXPECT_EQ(ProgramFolder("/home/u/My Programs/Pager"), "/home/u/My Programs/");
}

TEST(ProgramStart, StartWord)
{
    struct Case {
        const char* arg;
        const char* word;
    } cases[] = {
        {"", ""},
        {"t", "T"},
        {"-t", "T"},
        {"/T", "T"},
        {"minimized", "MINIMIZED"},
        {"-Minimized", "MINIMIZED"},
        {"/MINIMIZED", "MINIMIZED"},
        {"--minimized", "-MINIMIZED"},
        {"//minimized", "/MINIMIZED"},
        {"minimized2", "MINIMIZED2"},
        {"-свернуть", "СВЕРНУТЬ"},  // UTF-8 argument, cp1251 upper-casing
    };
    for (const Case& c : cases) EXPECT_EQ(StartWord(c.arg), cp(c.word)) << c.arg;
    EXPECT_EQ(StartWord(nullptr), "");
    EXPECT_EQ(StartWord(std::string(300, 'x').c_str()).size(), 255u);
    EXPECT_EQ(StartWord(("-" + std::string(300, 'x')).c_str()).size(), 254u);
}

TEST(ProgramStart, ReadRunOneCopyDefaultsToFalse)
{
    ProgramPath = testenv::makeDir("onecopy") + "/";
    EXPECT_FALSE(ReadRunOneCopy());
    testenv::writeFile(ProgramPath + "pager.ini", "[Run]\r\nAutoRun=1\r\n");
    EXPECT_FALSE(ReadRunOneCopy());
    testenv::writeFile(ProgramPath + "pager.ini", "[run]\r\nRUNONECOPY=2\r\n");
    EXPECT_TRUE(ReadRunOneCopy());
}

TEST(ProgramStart, AppHandleIsReadAsItsLow16Bits)
{
    EXPECT_EQ(ReadAppHandle(), 0);  // no key yet
    WriteAppHandle(0x12340000);
    EXPECT_EQ(ReadAppHandle(), 0);  // low bits 0: no running copy
    WriteAppHandle(0x1234ABCD);
    EXPECT_EQ(ReadAppHandle(), 0xABCD);
    EXPECT_EQ(registry::readDword(PagerKey, "Handle"), 0x1234ABCDu);
    WriteAppHandle(0);
    EXPECT_EQ(ReadAppHandle(), 0);
    EXPECT_TRUE(registry::valueExists(PagerKey, "Handle"));  // set to 0, never deleted
    registry::writeString(PagerKey, "Handle", "1234");
    EXPECT_EQ(ReadAppHandle(), 0);  // a text value is no handle
}
