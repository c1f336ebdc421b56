// The build's rule for the default data files beside the programs, run with
// the real cmake as the build runs it at every link of Pager: a default goes
// where the program folder has no such file yet; a file there (one the update
// received or the user edited, a link put in its place) stays as it is.

#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>

#include <filesystem>
#include <functional>
#include <unistd.h>

namespace {

bool copyIfAbsent(const std::string& from, const std::string& to)
{
    const QString cmake = QStandardPaths::findExecutable("cmake");
    if (cmake.isEmpty()) return false;
    QProcess p;
    p.start(cmake, {QString::fromStdString("-DFROM=" + from), QString::fromStdString("-DTO=" + to), "-P",
                    QString::fromStdString(std::string(ORV_SOURCE_DIR) + "/scripts/copy-if-absent.cmake")});
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

}  // namespace

TEST(DataDefaults, ADefaultGoesOnlyWhereTheProgramFolderHasNone)
{
    if (QStandardPaths::findExecutable("cmake").isEmpty()) GTEST_SKIP() << "no cmake";
    const std::string folder = testenv::makeDir("data-defaults");
    const std::string shipped = folder + "/shipped-operators.dat";
    testenv::writeFile(shipped, "[Shipped (City)]\r\nMailGate=###@shipped.example\r\n");
    const std::string target = folder + "/operators.dat";
    struct Case {
        const char* what;
        std::function<void()> make;
        std::string expected;  // what the target reads after the build
    };
    const Case cases[] = {
        {"absent: the default goes there", [] {}, testenv::readFile(shipped)},
        {"received by the update", [&] { testenv::writeFile(target, "[New (City)]\r\nMailGate=###@new.example\r\n"); },
         "[New (City)]\r\nMailGate=###@new.example\r\n"},
        {"edited to be empty", [&] { testenv::writeFile(target, ""); }, ""},
        {"a link to the user's own copy",
         [&] {
             testenv::writeFile(folder + "/mine.dat", "mine");
             ASSERT_EQ(::symlink("mine.dat", target.c_str()), 0);
         },
         "mine"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(target);
        c.make();
        // Twice: every later build finds what the first left.
        ASSERT_TRUE(copyIfAbsent(shipped, target));
        ASSERT_TRUE(copyIfAbsent(shipped, target));
        EXPECT_EQ(testenv::readFile(target), c.expected);
    }
    // A link to nowhere is the user's too: it is not replaced or followed.
    std::filesystem::remove(target);
    ASSERT_EQ(::symlink("gone.dat", target.c_str()), 0);
    ASSERT_TRUE(copyIfAbsent(shipped, target));
    EXPECT_TRUE(std::filesystem::is_symlink(target));
    EXPECT_FALSE(std::filesystem::exists(folder + "/gone.dat"));
}
