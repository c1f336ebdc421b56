#pragma once
// Private helper of the registry and the atom table: a small file that several
// processes share, always read whole and replaced whole. A change is made under
// an exclusive flock on a separate lock file and saved by the rules of
// platform/atomicfile (a temporary file renamed into place), so a reader needs
// no lock and never sees half a file. A file that cannot be read (platform/
// readfile) is never changed.

#include "platform/atomicfile.h"
#include "platform/readfile.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace lockedfile {

using readfile::ReadResult;

// The whole file into text ("" when it is missing), by the rules of
// platform/readfile: what is no regular file of a sensible size fails.
inline ReadResult readAll(const std::string& path, std::string& text) { return readfile::readAll(path, text); }

namespace detail {

struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace detail

// Runs work() under the exclusive lock of lockPath (made when missing, mode
// 0600); false when the lock cannot be had, else what work returns.
template <class Work>
bool locked(const std::string& lockPath, Work&& work)
{
    detail::Fd lock{::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)};
    if (lock.fd < 0) return false;
    while (::flock(lock.fd, LOCK_EX) != 0) {
        if (errno != EINTR) return false;
    }
    return work();
}

// Runs change(text) under the lock, with the file's current text ("" when it
// is missing). change returns false to give up: nothing is written and update
// returns false. When the text comes back unchanged nothing is written either.
// Otherwise the new text replaces the file (a new file gets mode 0600);
// durable also syncs the file and its folder to disk. False when the file
// cannot be read or written (a read-only file among them); the old file then
// stays as it was.
// written() runs after the new text has replaced the file, still under the lock.
template <class Change, class Written>
bool update(const std::string& path, const std::string& lockPath, bool durable, Change&& change, Written&& written)
{
    return locked(lockPath, [&] {
        std::string text;
        if (readAll(path, text) == ReadResult::Failed) return false;
        const std::string old = text;
        if (!change(text)) return false;
        if (text == old) return true;
        if (!atomicfile::replace(path, text, {0600, durable})) return false;
        written();
        return true;
    });
}

template <class Change>
bool update(const std::string& path, const std::string& lockPath, bool durable, Change&& change)
{
    return update(path, lockPath, durable, std::forward<Change>(change), [] {});
}

}  // namespace lockedfile
