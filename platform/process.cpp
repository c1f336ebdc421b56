#include "platform/process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <iterator>
#include <mutex>
#include <spawn.h>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

namespace process {
namespace {

// Programs that run() stopped waiting for, to be reaped by a later run().
// Plain data with nothing to destroy: a run() at the end of the process may
// still use them after static objects are gone. Past its room a program is
// not remembered and is reaped when this process ends.
std::mutex leftoverMutex;
pid_t leftovers[64];
size_t leftoverCount = 0;

// Reaps those of them that have ended.
void reapLeftovers()
{
    std::lock_guard lk(leftoverMutex);
    size_t kept = 0;
    for (size_t i = 0; i < leftoverCount; ++i) {
        int status = 0;
        const pid_t r = waitpid(leftovers[i], &status, WNOHANG);
        if (r == 0 || (r < 0 && errno == EINTR)) leftovers[kept++] = leftovers[i];
    }
    leftoverCount = kept;
}

}  // namespace

bool start(const std::string& program, const std::string& folder)
{
    if (program.empty()) return false;
    // The grandchild reports a failed exec through the pipe; a successful
    // exec closes it (O_CLOEXEC) without a word.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return false;

    const pid_t child = fork();
    if (child < 0) {
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (child == 0) {
        // The middle process ends at once, so the program is adopted by init.
        setsid();
        const pid_t grandchild = fork();
        if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
        int err = 0;
        if (!folder.empty() && chdir(folder.c_str()) != 0) {
            err = errno;
        } else {
            char* const argv[] = {const_cast<char*>(program.c_str()), nullptr};
            execv(program.c_str(), argv);
            err = errno;
        }
        [[maybe_unused]] const ssize_t n = write(report[1], &err, sizeof err);
        _exit(127);
    }
    close(report[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t n;
    do {
        n = read(report[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    close(report[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && n == 0;
}

int run(const std::vector<std::string>& Argv, int TimeoutMs, const std::atomic<bool>* GiveUp)
{
    reapLeftovers();
    if (Argv.empty() || Argv[0].empty()) return -1;
    std::vector<char*> args;
    for (const std::string& a : Argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (r < 0 && errno != EINTR) return -1;
        if (std::chrono::steady_clock::now() >= deadline) break;
        if (GiveUp && GiveUp->load()) break;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    // Still running: leave it be; a later run reaps it.
    std::lock_guard lk(leftoverMutex);
    if (leftoverCount < std::size(leftovers)) leftovers[leftoverCount++] = pid;
    return -1;
}

}  // namespace process
