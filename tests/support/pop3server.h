#pragma once
// A real POP3 server for tests: dovecot on a loopback address of its own
// (127.x.y.z) and a free port there, with its own configuration, run and state
// folders under a temporary folder, one passwd-file user and a maildir the
// test fills. LAST is on unless turned off (a message stored as seen counts
// as read). Plain
// text login is allowed; the server listens on that loopback address only.
// It runs in the foreground as this process's child and is stopped with it.
//
// As root, dovecot's login and internal processes run as its own accounts
// (dovenull, dovecot) and the mail as nobody; as an ordinary user, all of
// them run as that user.

#include <QProcess>

#include <string>

namespace testenv {

class Pop3Server {
public:
    explicit Pop3Server(std::string user = "pageruser", std::string password = "secret");
    ~Pop3Server();
    Pop3Server(const Pop3Server&) = delete;
    Pop3Server& operator=(const Pop3Server&) = delete;

    // Stores a message in the user's maildir, after those stored before it:
    // as read when Seen, else as new. Works before and after start().
    void addMessage(const std::string& bytes, bool seen);
    // Whether the server answers LAST (pop3_enable_last); set before start().
    void enableLast(bool on) { last_ = on; }
    // Starts the server, on a free port or on the one given (a loopback
    // address of its own makes even a fixed port safe from parallel runs; a
    // port below 1024 needs root). False, with the reason in error(), when it
    // could not.
    bool start(int port = 0);

    const std::string& address() const { return address_; }
    int port() const { return port_; }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }
    const std::string& error() const { return error_; }
    // The server's log so far.
    std::string log() const;

private:
    void writeConfig();

    std::string user_;
    std::string password_;
    std::string folder_;
    std::string maildir_;
    std::string address_;
    int port_ = 0;
    int stored_ = 0;
    unsigned mailUid_ = 0;
    unsigned mailGid_ = 0;
    bool last_ = true;
    QProcess server_;
    std::string error_;
};

}  // namespace testenv
