#include "platform/readfile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace readfile {

bool readable(const struct stat& st) noexcept
{
    return S_ISREG(st.st_mode) && st.st_size >= 0 && static_cast<unsigned long long>(st.st_size) <= MaxSize;
}

ReadResult readAll(const std::string& path, std::string& text)
{
    text.clear();
    // O_NONBLOCK: a FIFO (or a device) in the file's place opens at once
    // instead of waiting for a writer; it is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !readable(st)) return ReadResult::Failed;
    text.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            if (text.size() + static_cast<size_t>(n) > MaxSize) break;
            text.append(buf, static_cast<size_t>(n));
        } else if (n == 0) {
            return ReadResult::Ok;
        } else if (errno != EINTR) {
            break;
        }
    }
    text.clear();
    return ReadResult::Failed;
}

}  // namespace readfile
