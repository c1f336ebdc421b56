#pragma once
// How every data file of both programs and the registry file is written:
// one rule for all writers.
//
//  - A file is replaced whole and atomically: the new text goes to a
//    temporary file in the same folder, is flushed, and is renamed over the
//    old one; a reader never sees half a file and a failed save leaves the old
//    file whole.
//  - A file the user protected stays as it is: a file (or folder) that is
//    read-only is refused, as the system would refuse an ordinary user. The
//    test reads the permission bits themselves, so the rule holds for every
//    user, the super-user too: a file without any write permission bit is
//    read-only.
//  - A symbolic link is followed: its target is replaced, atomically, in the
//    target's own folder, and the link stays.
//  - A save that was killed leaves its temporary file behind; the next save
//    of the same file removes such stale temporaries. A temporary that a save
//    in progress (of any process) still writes is left alone: each save holds
//    a lock on its temporary until it has renamed it.
//  - What stands in a file's place and is no regular file of a size the
//    readers take (platform/readfile: a FIFO, a device, a folder, a file far
//    too large) is never replaced or deleted: it failed to load, and is kept.
//  - The replaced file keeps its permission bits (and, where the process may,
//    its owner); a new file gets the mode given.
//
// The functions report failure by their result, with errno set; callers turn
// it into their own error ("Unable to write to <file>").

#include <string>
#include <string_view>
#include <sys/types.h>

namespace atomicfile {

struct Options {
    // Permission bits of a new file; the process's umask applies.
    mode_t newFileMode = 0666;
    // Also sync the file and its folder to disk before returning.
    bool durable = true;
};

// Replaces the file named by path (or by the link path is) with bytes.
bool replace(const std::string& path, std::string_view bytes, const Options& options = {});

// Deletes the file (a link's target, the link staying). A missing file is no
// failure; a read-only file, or one in a read-only folder, is refused.
bool remove(const std::string& path);

// The file a path stands for: the path with every symbolic link at its end
// followed (relative link texts are read from the link's own folder). The
// path itself when it is no link or does not exist; empty on a loop.
std::string target(const std::string& path);

// Whether a save would be refused by the read-only rule: the file (when it
// exists) or its folder is read-only for this process.
bool readOnly(const std::string& path);

// The name pattern of this file's temporaries: "<name>.saving-" and six
// more characters, in the file's folder.
inline constexpr std::string_view TempInfix = ".saving-";

}  // namespace atomicfile
