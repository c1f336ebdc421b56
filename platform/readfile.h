#pragma once
// How every data file of both programs and the registry file is read: one
// rule for all readers, the counterpart of platform/atomicfile.
//
//  - A read never blocks on what stands in the file's place: the file is
//    opened without waiting (a FIFO or a device opens at once) and only a
//    regular file is read; anything else counts as unreadable.
//  - Memory is bounded: a file larger than MaxSize, far above anything the
//    programs write, is unreadable and nothing of it is read; so is one that
//    grows past it while it is read.
//  - A file is read whole, in one go, and closed again.
//
// An unreadable file is never replaced or removed by atomicfile either: what
// failed to load is kept as it stands.

#include <cstddef>
#include <string>
#include <sys/stat.h>

namespace readfile {

inline constexpr size_t MaxSize = size_t{256} * 1024 * 1024;

enum class ReadResult { Ok, Missing, Failed };

// The whole file into text (empty unless Ok). Missing: no file of that name
// (a dangling link among them). Failed: not a regular file, larger than
// MaxSize, no read access or a read error.
ReadResult readAll(const std::string& path, std::string& text);

// Whether what stands at an existing path, as stat gives it, is a file the
// rule above may read at all: a regular file of at most MaxSize bytes.
bool readable(const struct stat& st) noexcept;

}  // namespace readfile
