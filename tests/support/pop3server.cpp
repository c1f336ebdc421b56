#include "tests/support/pop3server.h"

#include "tests/support/testenv.h"

#include <QDir>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <grp.h>
#include <pwd.h>
#include <random>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace testenv {

namespace {

const char* const kDovecot = "/usr/sbin/dovecot";

std::string accountName(uid_t uid)
{
    const passwd* pw = getpwuid(uid);
    return pw ? pw->pw_name : std::to_string(uid);
}

std::string groupName(gid_t gid)
{
    const group* gr = getgrgid(gid);
    return gr ? gr->gr_name : std::to_string(gid);
}

bool accepts(const std::string& address, int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

Pop3Server::Pop3Server(std::string user, std::string password)
    : user_(std::move(user)), password_(std::move(password))
{
    // A folder of its own under the system's temporary folder (the test's
    // root folder is private to its user, which the server's accounts are not).
    std::string pattern = QDir::tempPath().toStdString() + "/orvpop3-XXXXXX";
    if (!mkdtemp(pattern.data())) return;
    folder_ = pattern;
    chmod(folder_.c_str(), 0755);
    maildir_ = folder_ + "/home/" + user_ + "/Maildir";
    for (const char* sub : {"/cur", "/new", "/tmp"}) QDir().mkpath(QString::fromStdString(maildir_ + sub));

    mailUid_ = getuid();
    mailGid_ = getgid();
    if (geteuid() == 0) {
        // Dovecot serves no mail as root.
        const passwd* nobody = getpwnam("nobody");
        mailUid_ = nobody ? nobody->pw_uid : 65534;
        mailGid_ = nobody ? nobody->pw_gid : 65534;
        std::string home = folder_ + "/home";
        run("chown -R " + std::to_string(mailUid_) + ":" + std::to_string(mailGid_) + " '" + home + "'");
    }
}

Pop3Server::~Pop3Server()
{
    if (server_.state() != QProcess::NotRunning) {
        server_.terminate();
        if (!server_.waitForFinished(10000)) {
            server_.kill();
            server_.waitForFinished(5000);
        }
    }
    if (!folder_.empty()) QDir(QString::fromStdString(folder_)).removeRecursively();
}

void Pop3Server::addMessage(const std::string& bytes, bool seen)
{
    // Names that sort in the order of storing, so the server numbers the
    // messages that way.
    ++stored_;
    char base[64];
    std::snprintf(base, sizeof base, "%010d.M%dP%d.orvtest", 1000000000 + stored_, stored_, getpid());
    const std::string tmp = maildir_ + "/tmp/" + base;
    writeFile(tmp, bytes);
    if (geteuid() == 0 && chown(tmp.c_str(), mailUid_, mailGid_) != 0) error_ = "chown failed";
    const std::string final = seen ? maildir_ + "/cur/" + base + ":2,S" : maildir_ + "/new/" + base;
    std::rename(tmp.c_str(), final.c_str());
}

void Pop3Server::writeConfig()
{
    const bool root = geteuid() == 0;
    const std::string me = accountName(getuid());
    const std::string login = root ? "dovenull" : me;
    const std::string internal = root ? "dovecot" : me;
    const std::string group = root ? "dovecot" : groupName(getgid());
    writeFile(folder_ + "/passwd", user_ + ":{PLAIN}" + password_ + "::::\n");
    QDir().mkpath(QString::fromStdString(folder_ + "/run"));
    QDir().mkpath(QString::fromStdString(folder_ + "/state"));
    writeFile(folder_ + "/dovecot.conf",
              "base_dir = " + folder_ + "/run\n"
              "state_dir = " + folder_ + "/state\n"
              "instance_name = " + folder_.substr(folder_.rfind('/') + 1) + "\n"
              "log_path = " + folder_ + "/dovecot.log\n"
              "protocols = pop3\n"
              "listen = " + address_ + "\n"
              "ssl = no\n"
              "disable_plaintext_auth = no\n"
              "auth_mechanisms = plain\n"
              "default_login_user = " + login + "\n"
              "default_internal_user = " + internal + "\n"
              "default_internal_group = " + group + "\n"
              "first_valid_uid = " + std::to_string(mailUid_) + "\n"
              "mail_location = maildir:" + folder_ + "/home/%u/Maildir\n"
              "pop3_enable_last = " + (last_ ? "yes" : "no") + "\n"
              "passdb {\n"
              "  driver = passwd-file\n"
              "  args = scheme=PLAIN username_format=%u " + folder_ + "/passwd\n"
              "}\n"
              "userdb {\n"
              "  driver = static\n"
              "  args = uid=" + std::to_string(mailUid_) + " gid=" + std::to_string(mailGid_) +
              " home=" + folder_ + "/home/%u\n"
              "}\n"
              "service pop3-login {\n"
              "  chroot =\n"
              "  inet_listener pop3 {\n"
              "    address = " + address_ + "\n"
              "    port = " + std::to_string(port_) + "\n"
              "  }\n"
              "}\n"
              "service anvil {\n"
              "  chroot =\n"
              "}\n");
}

bool Pop3Server::start(int port)
{
    if (folder_.empty()) {
        error_ = "no temporary folder";
        return false;
    }
    if (access(kDovecot, X_OK) != 0) {
        error_ = "dovecot is not installed (scripts/install-deps)";
        return false;
    }
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<int> part(1, 254);
    // A loopback address of its own makes a clash with a parallel run
    // unlikely; a clash all the same only costs another try.
    for (int attempt = 0; attempt < 5; ++attempt) {
        address_ = "127." + std::to_string(part(random)) + "." + std::to_string(part(random)) + "." +
                   std::to_string(part(random));
        port_ = port != 0 ? port : freePort(address_);
        if (port_ == 0) continue;
        writeConfig();
        server_.setStandardOutputFile(QString::fromStdString(folder_ + "/dovecot.out"));
        server_.setStandardErrorFile(QString::fromStdString(folder_ + "/dovecot.out"), QIODevice::Append);
        server_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        server_.start(kDovecot, {"-F", "-c", QString::fromStdString(folder_ + "/dovecot.conf")});
        if (!server_.waitForStarted(10000)) {
            error_ = "dovecot did not start";
            return false;
        }
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 30000 && server_.state() == QProcess::Running) {
            if (accepts(address_, port_)) return true;
            server_.waitForFinished(50);  // a server that gave up ends the wait
        }
        if (server_.state() == QProcess::Running) {
            server_.kill();
            server_.waitForFinished(5000);
        }
        error_ = "dovecot did not listen: " + log();
    }
    return false;
}

std::string Pop3Server::log() const
{
    return readFile(folder_ + "/dovecot.out") + readFile(folder_ + "/dovecot.log");
}

}  // namespace testenv
