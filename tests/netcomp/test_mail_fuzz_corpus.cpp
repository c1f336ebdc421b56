// Every input the mail fuzz target keeps (its seeds, the mail fixtures and
// any input that once failed) runs through the target's body in each test
// run, plain and under the sanitizers.
#include "tests/netcomp/fuzz/mail_fuzz.h"

#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QDir>

TEST(MailFuzzCorpus, EveryKeptInputRunsCleanly)
{
    int inputs = 0;
    for (const QString& folder : {QStringLiteral(ORV_SOURCE_DIR "/tests/netcomp/fuzz/corpus"),
                                 QStringLiteral(ORV_FIXTURES "/mail")}) {
        const QDir dir(folder);
        for (const QString& name : dir.entryList(QDir::Files)) {
            SCOPED_TRACE(name.toStdString());
            const std::string bytes = testenv::readFile(dir.filePath(name).toStdString());
            FuzzMailInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ++inputs;
        }
    }
    EXPECT_GE(inputs, 14);
    EXPECT_TRUE(QDir(QString::fromStdString(GetTempDir())).entryList(QDir::Files).isEmpty());
}
