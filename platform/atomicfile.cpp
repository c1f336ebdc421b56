#include "platform/atomicfile.h"

#include "platform/readfile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace atomicfile {
namespace {

constexpr int kMaxLinks = 40;  // as the kernel allows in one path

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const noexcept { return fd_; }
    void reset(int fd = -1) noexcept
    {
        if (fd_ >= 0) {
            const int saved = errno;
            ::close(fd_);
            errno = saved;
        }
        fd_ = fd;
    }
    int release() noexcept
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string nameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Read-only as the system would treat an ordinary user: no write access, or
// no write permission bit at all (which the super-user's access() ignores).
bool readOnlyEntry(const std::string& path, const struct stat& st)
{
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 ||
           (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// Refuses a save into folder, or of file when it exists (st_file then valid).
bool mayWrite(const std::string& file, const std::string& folder, bool fileExists, const struct stat& fileStat)
{
    struct stat dir {};
    if (::stat(folder.c_str(), &dir) != 0) return false;
    if (!S_ISDIR(dir.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    if (readOnlyEntry(folder, dir) || (fileExists && readOnlyEntry(file, fileStat))) {
        errno = EACCES;
        return false;
    }
    return true;
}

bool writeAll(int fd, std::string_view bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool lockFd(int fd, int how)
{
    while (::flock(fd, how) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

bool isTempOf(std::string_view entry, std::string_view name)
{
    if (entry.size() != name.size() + TempInfix.size() + 6) return false;
    return entry.starts_with(name) && entry.substr(name.size(), TempInfix.size()) == TempInfix;
}

// Removes the temporaries of name in folder that no save holds any more.
void removeStaleTemps(const std::string& folder, const std::string& name)
{
    const int saved = errno;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        errno = saved;
        return;
    }
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view entry = e->d_name;
        if (!isTempOf(entry, name)) continue;
        const std::string path = folder + "/" + std::string(entry);
        Fd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
        if (fd.get() < 0) continue;
        // A save in progress holds its lock until the rename: skip it.
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd.get(), &opened) == 0 && ::lstat(path.c_str(), &named) == 0 &&
            opened.st_dev == named.st_dev && opened.st_ino == named.st_ino && S_ISREG(named.st_mode)) {
            ::unlink(path.c_str());
        }
    }
    ::closedir(dir);
    errno = saved;
}

void syncFolder(const std::string& folder)
{
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
}

// A new temporary of file in its folder, locked; its path in temp.
int makeTemp(const std::string& file, std::string& temp)
{
    for (;;) {
        temp = file + std::string(TempInfix) + "XXXXXX";
        Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
        if (fd.get() < 0) return -1;
        if (!lockFd(fd.get(), LOCK_EX)) {
            ::unlink(temp.c_str());
            return -1;
        }
        // A cleaner of another process may have taken it for stale between
        // its making and the lock: then it is gone, and a new one is made.
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0) {
            ::unlink(temp.c_str());
            return -1;
        }
        if (st.st_nlink > 0) return fd.release();
    }
}

}  // namespace

std::string target(const std::string& path)
{
    std::string p = path;
    for (int i = 0; i < kMaxLinks; ++i) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(p.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size()) return p;
        link.resize(static_cast<size_t>(n));
        p = link.front() == '/' ? link : folderOf(p) + "/" + link;
    }
    errno = ELOOP;
    return {};
}

bool readOnly(const std::string& path)
{
    const std::string file = target(path);
    if (file.empty()) return true;
    struct stat st {};
    const bool exists = ::stat(file.c_str(), &st) == 0;
    return !mayWrite(file, folderOf(file), exists, st);
}

bool replace(const std::string& path, std::string_view bytes, const Options& options)
{
    const std::string file = target(path);
    if (file.empty()) return false;
    const std::string folder = folderOf(file);
    struct stat old {};
    const bool exists = ::stat(file.c_str(), &old) == 0;
    if (exists && !readfile::readable(old)) {
        errno = S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    if (!mayWrite(file, folder, exists, old)) return false;
    removeStaleTemps(folder, nameOf(file));

    std::string temp;
    Fd fd(makeTemp(file, temp));
    if (fd.get() < 0) return false;
    auto fail = [&] {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return false;
    };
    if (!writeAll(fd.get(), bytes)) return fail();
    if (exists) {
        // Somebody else's file stays theirs where this process may keep it so.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
            [[maybe_unused]] const int rc = ::fchown(fd.get(), old.st_uid, old.st_gid);
        }
        if (::fchmod(fd.get(), old.st_mode & 07777) != 0) return fail();
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::fchmod(fd.get(), options.newFileMode & ~mask & 07777) != 0) return fail();
    }
    if (options.durable && ::fsync(fd.get()) != 0) return fail();
    // The lock goes with the descriptor, after the rename: until then no
    // cleaner takes the temporary for stale.
    if (::rename(temp.c_str(), file.c_str()) != 0) return fail();
    fd.reset();
    if (options.durable) syncFolder(folder);
    return true;
}

bool remove(const std::string& path)
{
    const std::string file = target(path);
    if (file.empty()) return false;
    const std::string folder = folderOf(file);
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        if (errno != ENOENT) return false;
        removeStaleTemps(folder, nameOf(file));
        return true;
    }
    if (!readfile::readable(st)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    if (!mayWrite(file, folder, true, st)) return false;
    removeStaleTemps(folder, nameOf(file));
    if (::unlink(file.c_str()) != 0) return errno == ENOENT;
    return true;
}

}  // namespace atomicfile
