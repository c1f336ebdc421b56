// ThreadSanitizer builds of the widget tests only: races between Qt's own
// accesses that involve a thread of Qt's global pool are not reported.
//
// Qt Gui's raster painting hands the parts of a large fill to the global
// QThreadPool ("Thread (pooled)") and waits for them on a QSemaphore, from a
// window's first show on. Qt is not built for the sanitizer: the hand-over
// through its futex-based QMutex and QSemaphore is not seen, so the jobs'
// functors (allocated by the painting thread, freed by a pooled one), the
// pool's queue and the painted rows all look raced. The functions involved
// are internal to the stripped Qt libraries and have no name in the reports,
// so tests/tsan.supp cannot name them; this filter takes a race only when
// - every access of it was made by Qt's code: the first frame of each access
//   outside the sanitizer's own runtime lies in a Qt library (an older
//   access whose stack the sanitizer no longer has is judged by the other),
// - and one of them on a pool thread that Qt started itself.
// A race with an access made by our code (window, service, test) is still
// reported, and so is any race between our threads.
#include <dlfcn.h>

#include <cstdint>
#include <cstring>

namespace __tsan {
struct ReportDesc;
bool OnReport(const ReportDesc* rep, bool suppressed);
}

extern "C" {
int __tsan_get_report_data(void* report, const char** description, int* count, int* stack_count,
                           int* mop_count, int* loc_count, int* mutex_count, int* thread_count,
                           int* unique_tid_count, void** sleep_trace, unsigned long trace_size);
int __tsan_get_report_mop(void* report, unsigned long idx, int* tid, void** addr, int* size,
                          int* write, int* atomic, void** trace, unsigned long trace_size);
int __tsan_get_report_thread(void* report, unsigned long idx, int* tid, std::uint64_t* os_id,
                             int* running, const char** name, int* parent_tid, void** trace,
                             unsigned long trace_size);
}

namespace {

constexpr unsigned long kFrames = 64;

// The file name of the module holding pc, without its folder ("" if none).
const char* moduleOf(void* pc)
{
    Dl_info info{};
    if (!pc || !dladdr(pc, &info) || !info.dli_fname) return "";
    const char* slash = std::strrchr(info.dli_fname, '/');
    return slash ? slash + 1 : info.dli_fname;
}

bool inQt(void* pc) { return std::strncmp(moduleOf(pc), "libQt6", 6) == 0; }
bool inSanitizer(void* pc) { return std::strncmp(moduleOf(pc), "libtsan", 7) == 0; }

// The access was made by Qt: its first frame past the sanitizer's
// interceptors is Qt's.
bool madeByQt(void* const* trace)
{
    for (unsigned long i = 0; i < kFrames && trace[i]; ++i) {
        if (!inSanitizer(trace[i])) return inQt(trace[i]);
    }
    return false;
}

bool startedByQt(void* const* trace)
{
    for (unsigned long i = 0; i < kFrames && trace[i]; ++i) {
        if (inQt(trace[i])) return true;
    }
    return false;
}

bool qtPoolRace(void* rep)
{
    const char* description = nullptr;
    int count = 0, stacks = 0, mops = 0, locs = 0, mutexes = 0, threads = 0, tids = 0;
    void* sleep[1] = {};
    if (!__tsan_get_report_data(rep, &description, &count, &stacks, &mops, &locs, &mutexes,
                                &threads, &tids, sleep, 1))
        return false;
    if (!description || std::strcmp(description, "data-race") != 0 || mops == 0) return false;

    // The report's pool threads that Qt started, by their ids.
    constexpr int kMaxPool = 8;
    int pool[kMaxPool];
    int pools = 0;
    for (int i = 0; i < threads && pools < kMaxPool; ++i) {
        int tid = 0, running = 0, parent = 0;
        std::uint64_t os = 0;
        const char* name = nullptr;
        void* trace[kFrames] = {};
        if (!__tsan_get_report_thread(rep, i, &tid, &os, &running, &name, &parent, trace,
                                      kFrames))
            return false;
        if (name && std::strcmp(name, "Thread (pooled)") == 0 && startedByQt(trace))
            pool[pools++] = tid;
    }

    bool poolAccess = false;
    for (int i = 0; i < mops; ++i) {
        int tid = 0, size = 0, write = 0, atomic = 0;
        void* addr = nullptr;
        void* trace[kFrames] = {};
        if (!__tsan_get_report_mop(rep, i, &tid, &addr, &size, &write, &atomic, trace, kFrames))
            return false;
        // The sanitizer keeps the stacks of older accesses for a while only;
        // one it lost is left to the access that has one.
        if (!trace[0]) continue;
        if (!madeByQt(trace)) return false;
        for (int k = 0; k < pools; ++k) poolAccess = poolAccess || pool[k] == tid;
    }
    return poolAccess;
}

}  // namespace

bool __tsan::OnReport(const ReportDesc* rep, bool suppressed)
{
    return suppressed || qtPoolRace(const_cast<ReportDesc*>(rep));
}
