#pragma once
// A scripted SMTP peer for tests: python3-aiosmtpd through
// tests/e2e/pager_smtp_server.py, which accepts, stalls or refuses, counts
// connections and records the HELO name; or, in its scripted modes, gives
// the replies a real server would not give and records what it was sent.

#include "tests/support/testenv.h"

#include <QProcess>
#include <QtCore/qtestsupport_core.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace mwtest {

constexpr int kWait = 20000;  // ms a peer gets to answer; never a measure of speed

// A loopback port that nothing listens on (bound, then released).
inline int freePort() { return testenv::freePort(); }

struct Mail {
    std::vector<std::string> envelope;  // sender, then the recipients
    std::string content;                // as received
    std::string header() const { return content.substr(0, content.find("\r\n\r\n") + 2); }
    // The text after the header's end; the SMTP client puts one empty line
    // before the text of every message.
    std::string body() const
    {
        const size_t at = content.find("\r\n\r\n");
        return at == std::string::npos ? std::string() : content.substr(at + 4);
    }
};

class SmtpServer {
public:
    // Mode as the script takes it; a port of 0 is a free one; host is a
    // loopback address.
    explicit SmtpServer(const std::string& mode = "accept", int port = 0, const std::string& host = "127.0.0.1")
        : host_(host)
    {
        static int n = 0;
        folder_ = testenv::makeDir("smtp-" + std::to_string(++n));
        QStringList args{QString::fromStdString(std::string(ORV_SOURCE_DIR) + "/tests/e2e/pager_smtp_server.py"),
                         QString::fromStdString(folder_), "--mode", QString::fromStdString(mode)};
        if (port) args << "--port" << QString::number(port);
        args << "--host" << QString::fromStdString(host);
        process_.start("/usr/bin/python3", args);
        if (!process_.waitForStarted(kWait)) return;
        while (port_ == 0 && process_.waitForReadyRead(kWait)) {
            while (process_.canReadLine()) {
                const QByteArray line = process_.readLine().trimmed();
                if (line.startsWith("PORT ")) port_ = line.mid(5).toInt();
            }
        }
    }
    ~SmtpServer()
    {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    int port() const { return port_; }
    const std::string& host() const { return host_; }
    const std::string& folder() const { return folder_; }

    std::vector<Mail> mails() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder_)) {
            const std::string name = e.path().filename().string();
            if (name.ends_with(".eml")) names.push_back(name.substr(0, name.size() - 4));
        }
        std::sort(names.begin(), names.end());
        std::vector<Mail> out;
        for (const std::string& n : names) {
            Mail m;
            const std::string env = testenv::readFile(folder_ + "/" + n + ".env");
            size_t from = 0;
            for (size_t at; (at = env.find('\n', from)) != std::string::npos; from = at + 1)
                m.envelope.push_back(env.substr(from, at - from));
            m.content = testenv::readFile(folder_ + "/" + n + ".eml");
            out.push_back(m);
        }
        return out;
    }
    int connections() const { return lines("connections"); }
    // Scripted modes: every byte the client sent, and how many milliseconds
    // each connection lasted until it was closed.
    std::string transcript() const { return fileText("transcript"); }
    std::vector<long> closedAfterMs() const
    {
        std::vector<long> out;
        const std::string t = fileText("closed");
        size_t from = 0;
        for (size_t at; (at = t.find('\n', from)) != std::string::npos; from = at + 1)
            out.push_back(std::stol(t.substr(from, at - from)));
        return out;
    }
    std::string lastHelo() const
    {
        std::string all = fileText("helo");
        if (all.empty()) return {};
        all.pop_back();
        return all.substr(all.rfind('\n') == std::string::npos ? 0 : all.rfind('\n') + 1);
    }
    // Pumps the caller's events until the server has this many connections.
    bool waitForConnections(int count) const
    {
        return QTest::qWaitFor([&] { return connections() >= count; }, kWait);
    }

private:
    std::string fileText(const char* name) const
    {
        const std::string path = folder_ + "/" + name;
        return testenv::fileExists(path) ? testenv::readFile(path) : std::string();
    }
    int lines(const char* name) const
    {
        const std::string t = fileText(name);
        return static_cast<int>(std::count(t.begin(), t.end(), '\n'));
    }

    QProcess process_;
    std::string host_;
    std::string folder_;
    int port_ = 0;
};

}  // namespace mwtest
