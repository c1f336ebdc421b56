#pragma once
// Private helper of the registry and the atom table: a small file that several
// processes share, always read whole and replaced whole. A change is made under
// an exclusive flock on a separate lock file and saved by the rules of
// platform/atomicfile (a temporary file renamed into place), so a reader needs
// no lock and never sees half a file.

#include "platform/atomicfile.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>

namespace lockedfile {

enum class ReadResult { Ok, Missing, Failed };

// The whole file into text ("" when it is missing).
inline ReadResult readAll(const std::string& path, std::string& text)
{
    text.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            text.append(buf, static_cast<size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            ::close(fd);
            return ReadResult::Failed;
        }
    }
    ::close(fd);
    return ReadResult::Ok;
}

namespace detail {

struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace detail

// Runs change(text) under the lock, with the file's current text ("" when it
// is missing). change returns false to give up: nothing is written and update
// returns false. When the text comes back unchanged nothing is written either.
// Otherwise the new text replaces the file (a new file gets mode 0600);
// durable also syncs the file and its folder to disk. False when the file
// cannot be read or written (a read-only file among them); the old file then
// stays as it was.
template <class Change>
bool update(const std::string& path, const std::string& lockPath, bool durable, Change&& change)
{
    detail::Fd lock{::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)};
    if (lock.fd < 0) return false;
    while (::flock(lock.fd, LOCK_EX) != 0) {
        if (errno != EINTR) return false;
    }
    std::string text;
    if (readAll(path, text) == ReadResult::Failed) return false;
    const std::string old = text;
    if (!change(text)) return false;
    if (text == old) return true;
    return atomicfile::replace(path, text, {0600, durable});
}

}  // namespace lockedfile
