#include "platform/atoms.h"

#include "platform/userdirs.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using atoms::ATOM;
using testenv::cp;

namespace {

class Atoms : public ::testing::Test {
protected:
    void SetUp() override { ::unlink((userdirs::runtimeDir() + "/atoms").c_str()); }
};

// Runs body in a child process; its result is the child's exit code.
int inChild(int (*body)())
{
    const pid_t pid = fork();
    if (pid == 0) _exit(body());  // no destructors, no clean-up: as if it crashed
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace

TEST_F(Atoms, AddCountsReferencesAndDeleteDropsThem)
{
    const AnsiString title = "Orvanta Pager 3.6";
    EXPECT_EQ(atoms::globalFindAtom(title), 0);
    const ATOM atom = atoms::globalAddAtom(title);
    EXPECT_GE(atom, 0xC000);
    EXPECT_EQ(atoms::globalAddAtom(title), atom);
    EXPECT_EQ(atoms::globalFindAtom(title), atom);

    EXPECT_EQ(atoms::globalDeleteAtom(atom), 0);
    EXPECT_EQ(atoms::globalFindAtom(title), atom);  // one reference left
    EXPECT_EQ(atoms::globalDeleteAtom(atom), 0);
    EXPECT_EQ(atoms::globalFindAtom(title), 0);
    EXPECT_EQ(atoms::globalDeleteAtom(atom), atom);  // nothing left to delete
    EXPECT_EQ(atoms::globalDeleteAtom(0x1234), 0x1234);
}

TEST_F(Atoms, NamesIgnoreLetterCaseCyrillicToo)
{
    struct Case {
        const char* added;
        const char* found;
    };
    const Case cases[] = {
        {"Orvanta Pager", "ORVANTA pager"},
        {"Пейджер Ёё", "пЕЙДЖЕР ёЁ"},
        {"Ђ Ѓ Є", "ђ ѓ є"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.added);
        const ATOM atom = atoms::globalAddAtom(cp(c.added));
        ASSERT_NE(atom, 0);
        EXPECT_EQ(atoms::globalFindAtom(cp(c.found)), atom);
        EXPECT_EQ(atoms::globalAddAtom(cp(c.found)), atom);
    }
    EXPECT_NE(atoms::globalFindAtom("Orvanta Pager"), atoms::globalFindAtom(cp("Пейджер Ёё")));
}

TEST_F(Atoms, NamesMustHoldOneTo255Characters)
{
    EXPECT_EQ(atoms::globalAddAtom(""), 0);
    EXPECT_EQ(atoms::globalAddAtom(AnsiString(256, 'x')), 0);
    EXPECT_NE(atoms::globalAddAtom(AnsiString(255, 'x')), 0);
    const AnsiString odd = "line\nbreak \x01 and \xFF";
    EXPECT_EQ(atoms::globalFindAtom(odd), 0);
    const ATOM atom = atoms::globalAddAtom(odd);
    EXPECT_NE(atom, 0);
    EXPECT_EQ(atoms::globalFindAtom(odd), atom);
}

TEST_F(Atoms, OutliveTheProcessThatAddedThem)
{
    // The child adds an atom and ends without deleting it.
    const int low = inChild([] { return atoms::globalAddAtom("Left behind") & 0xFF; });
    const ATOM atom = atoms::globalFindAtom("Left behind");
    ASSERT_NE(atom, 0);
    EXPECT_EQ(atom & 0xFF, low);

    // Another process sees this one's atoms and can delete them.
    EXPECT_EQ(inChild([] { return atoms::globalDeleteAtom(atoms::globalFindAtom("LEFT BEHIND")) == 0 ? 0 : 1; }), 0);
    EXPECT_EQ(atoms::globalFindAtom("Left behind"), 0);
}
