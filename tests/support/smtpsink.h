#pragma once
// A real SMTP server for tests (python3-aiosmtpd on 127.0.0.1, a free port),
// storing what it accepts so a test can read it back byte for byte.

#include <QProcess>

#include <string>
#include <vector>

namespace testenv {

struct ReceivedMail {
    std::string from;
    std::vector<std::string> to;
    std::string content;  // the message as the server took it (after dot-unstuffing)
};

class SmtpSink {
public:
    SmtpSink();  // port() is 0 when the server could not start
    ~SmtpSink();
    int port() const { return port_; }
    // The messages accepted so far, in order; waits up to timeoutMs for at
    // least `count` of them.
    std::vector<ReceivedMail> mails(size_t count = 0, int timeoutMs = 10000) const;

private:
    QProcess server_;
    std::string folder_;
    int port_ = 0;
};

}  // namespace testenv
