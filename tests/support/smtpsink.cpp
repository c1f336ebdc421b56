#include "tests/support/smtpsink.h"

#include "tests/support/testenv.h"

#include <QElapsedTimer>
#include <QThread>

#include <sstream>

namespace testenv {

SmtpSink::SmtpSink()
{
    static int counter = 0;
    folder_ = makeDir("smtp-sink-" + std::to_string(++counter));
    server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server_.start("/usr/bin/python3", {ORV_SOURCE_DIR "/tests/support/smtp_sink.py", QString::fromStdString(folder_)});
    if (!server_.waitForStarted(5000)) return;
    QElapsedTimer t;
    t.start();
    QByteArray out;
    while (t.elapsed() < 15000 && !out.contains('\n')) {
        server_.waitForReadyRead(200);
        out += server_.readAllStandardOutput();
    }
    port_ = out.trimmed().toInt();
}

SmtpSink::~SmtpSink()
{
    server_.closeWriteChannel();
    if (!server_.waitForFinished(3000)) {
        server_.kill();
        server_.waitForFinished(3000);
    }
}

std::vector<ReceivedMail> SmtpSink::mails(size_t count, int timeoutMs) const
{
    QElapsedTimer t;
    t.start();
    std::vector<ReceivedMail> out;
    for (;;) {
        out.clear();
        for (int n = 1;; ++n) {
            const std::string base = folder_ + "/" + std::to_string(n);
            if (!fileExists(base + ".eml")) break;
            ReceivedMail m;
            std::istringstream env(readFile(base + ".env"));
            std::getline(env, m.from);
            for (std::string line; std::getline(env, line);) m.to.push_back(line);
            m.content = readFile(base + ".eml");
            out.push_back(std::move(m));
        }
        if (out.size() >= count || t.elapsed() > timeoutMs) return out;
        QThread::msleep(50);
    }
}

}  // namespace testenv
