#include "netcomp/httpfetch.h"

#include "platform/app.h"
#include "platform/codepage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QPointer>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <memory>
#include <fcntl.h>
#include <mutex>
#include <dirent.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace wininet;

namespace {

constexpr int kBlockSize = 1025;            // bytes asked of each read
constexpr DWORD kLengthBufferSize = 1024;  // room for the Content-Length text
constexpr const char* kProtocol = "HTTP/1.0";
constexpr const char* kPostHeader = "Content-Type: application/x-www-form-urlencoded";
// How long the worker waits on the CPU for its progress event to run before
// it sleeps.
constexpr std::chrono::microseconds kSyncSpin{200};
// The longest the loop goes without a whole turn while the worker's calls
// follow each other closely.
constexpr qint64 kFullTurnMs = 10;

// Waits on the CPU, up to kSyncSpin, until done() holds; whether it did.
template <class Done>
bool spinFor(Done&& done)
{
    const auto until = std::chrono::steady_clock::now() + kSyncSpin;
    for (unsigned spins = 1; !done(); ++spins) {
        if (spins % 32 == 0 && std::chrono::steady_clock::now() >= until) return false;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    return true;
}

// A decimal 32-bit length: digits only, blanks around them allowed.
bool lengthValue(std::string_view text, int32_t& value)
{
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return false;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
        if (v > INT32_MAX) return false;
    }
    value = static_cast<int32_t>(v);
    return true;
}

// The body on its way to the target: a new file beside the target, renamed
// over it only by Commit; removed when it is not committed.
class TPartFile {
public:
    explicit TPartFile(std::string Target) : target_(std::move(Target)) {}
    ~TPartFile()
    {
        if (fd_ >= 0) ::close(fd_);
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TPartFile(const TPartFile&) = delete;
    TPartFile& operator=(const TPartFile&) = delete;

    bool Create()
    {
        const size_t slash = target_.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
        const std::string name = target_.substr(slash == std::string::npos ? 0 : slash + 1);
        if (name.empty()) return false;
        RemoveStale(folder);
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string path = folder + "." + name + kPartMark + std::to_string(random() % 1000000);
            // Mode as for any new file, under the user's umask.
            fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (fd_ < 0) {
                if (errno != EEXIST) return false;
                continue;
            }
            // Held while the file is written, so that another download's
            // sweep leaves it alone; one that swept it away just before the
            // lock was taken makes us start over under a new name.
            struct stat st {};
            if (::flock(fd_, LOCK_EX) == 0 && ::fstat(fd_, &st) == 0 && st.st_nlink > 0) {
                path_ = path;
                return true;
            }
            ::close(fd_);
            fd_ = -1;
        }
        return false;
    }
    // Collects the blocks, written out a few dozen at a time.
    bool Write(const char* data, size_t size)
    {
        buffer_.append(data, size);
        return buffer_.size() < kWriteBytes || Flush();
    }
    bool Commit()
    {
        const bool written = Flush();
        const int fd = fd_;
        fd_ = -1;
        if (!written || ::fsync(fd) != 0) {
            ::close(fd);
            return false;
        }
        if (::close(fd) != 0 || ::rename(path_.c_str(), target_.c_str()) != 0) return false;
        path_.clear();
        return true;
    }

private:
    static constexpr const char* kPartMark = ".part-";
    static constexpr size_t kWriteBytes = 64 * 1024;

    bool Flush()
    {
        const char* data = buffer_.data();
        size_t size = buffer_.size();
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            data += n;
            size -= static_cast<size_t>(n);
        }
        buffer_.clear();
        return true;
    }

    // A name this class gives: ".", the target's name, ".part-", 1 to 6 digits.
    static bool IsPartName(std::string_view name)
    {
        const size_t mark = name.rfind(kPartMark);
        if (name.size() < 2 || name.front() != '.' || mark == std::string_view::npos || mark < 2) return false;
        const std::string_view digits = name.substr(mark + std::string_view(kPartMark).size());
        if (digits.empty() || digits.size() > 6) return false;
        for (char c : digits)
            if (c < '0' || c > '9') return false;
        return true;
    }

    // Removes the part files of Folder that no download is writing: those a
    // killed or crashed run left behind (a running one holds its lock).
    static void RemoveStale(const std::string& folder)
    {
        const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()), ::closedir);
        if (!dir) return;
        while (const dirent* e = ::readdir(dir.get())) {
            if (!IsPartName(e->d_name)) continue;
            const std::string path = folder + e->d_name;
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
            const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0) continue;
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(path.c_str());
            ::close(fd);
        }
    }

    std::string target_;
    std::string path_;
    std::string buffer_;  // written blocks not yet in the file
    int fd_ = -1;
};

}  // namespace

bool ParseURL(const AnsiString& URL, AnsiString& Host, AnsiString& Path)
{
    std::string_view rest = URL;
    if (rest.size() >= 7 && codepage::sameText(rest.substr(0, 7), "http://")) rest.remove_prefix(7);
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos) {
        Host.clear();
        Path = AnsiString(rest);
    } else {
        Host = AnsiString(rest.substr(0, slash));
        Path = AnsiString(rest.substr(slash));
    }
    return !Host.empty();
}

// ---- THttpFetchThread -------------------------------------------------------------

// What the worker and the main thread share, under one lock.
struct THttpFetchThread::Link {
    std::mutex mutex;
    std::condition_variable changed;
    bool terminated = false;  // asked to stop
    bool committed = false;   // the file is in place: a stop comes too late
    bool result = false;
    bool ownerGone = false;   // nothing more is posted
    uint64_t syncPosted = 0;  // progress calls posted, and run
    uint64_t syncRun = 0;
    // The same two, read without the lock by the short waits on the CPU.
    std::atomic<uint64_t> syncPostedSeen{0};
    std::atomic<uint64_t> syncRunSeen{0};
    HINTERNET session;        // closed by Terminate to wake the worker
};

THttpFetchThread::THttpFetchThread(THttpFetch& Owner, TParams Params)
    : owner_(Owner), params_(std::move(Params)), link_(std::make_shared<Link>())
{
}

THttpFetchThread::~THttpFetchThread()
{
    Detach();
    Terminate();
    Join();
}

void THttpFetchThread::Start() { thread_ = std::thread([this] { Execute(); }); }

void THttpFetchThread::Terminate()
{
    std::lock_guard lock(link_->mutex);
    if (link_->committed) return;
    link_->terminated = true;
    link_->result = false;
    if (link_->session) InternetCloseHandle(link_->session);
    link_->session.reset();
}

void THttpFetchThread::Detach()
{
    std::lock_guard lock(link_->mutex);
    link_->ownerGone = true;
    link_->changed.notify_all();
}

void THttpFetchThread::Join()
{
    if (thread_.joinable()) thread_.join();
}

bool THttpFetchThread::Result() const
{
    std::lock_guard lock(link_->mutex);
    return link_->result;
}

bool THttpFetchThread::Terminated() const
{
    std::lock_guard lock(link_->mutex);
    return link_->terminated;
}

void THttpFetchThread::Execute()
{
    // Whatever goes wrong in here counts as a failed download.
    bool ok = false;
    try {
        ok = Download();
    } catch (...) {
        ok = false;
    }
    CloseHandles();
    std::lock_guard lock(link_->mutex);
    if (!ok) link_->result = false;
    if (link_->ownerGone) return;
    THttpFetch* owner = &owner_;
    QMetaObject::invokeMethod(owner, [owner] { owner->ThreadDone(); }, Qt::QueuedConnection);
}

void THttpFetchThread::CloseHandles()
{
    if (request_) InternetCloseHandle(request_);
    if (connect_) InternetCloseHandle(connect_);
    request_.reset();
    connect_.reset();
    std::lock_guard lock(link_->mutex);
    if (link_->session) InternetCloseHandle(link_->session);
    link_->session.reset();
}

bool THttpFetchThread::Download()
{
    AnsiString host, path;
    if (!ParseURL(params_.URL, host, path)) return false;
    if (Terminated()) return false;

    HINTERNET session = InternetOpen(params_.Agent, INTERNET_OPEN_TYPE_PRECONFIG, 0);
    if (!session) return false;
    {
        std::lock_guard lock(link_->mutex);
        if (link_->terminated) {
            InternetCloseHandle(session);
            return false;
        }
        link_->session = session;
    }
    connect_ = InternetConnect(session, host, INTERNET_DEFAULT_HTTP_PORT, params_.UserName, params_.Password,
                               INTERNET_SERVICE_HTTP, 0);
    if (!connect_) return false;
    const bool post = !params_.PostQuery.empty();
    request_ = HttpOpenRequest(connect_, post ? "POST" : "GET", path, kProtocol, params_.Referer,
                               {params_.AcceptTypes}, params_.UseCache ? DWORD(0) : DWORD(INTERNET_FLAG_RELOAD));
    if (!request_) return false;
    // An unreachable host or a broken answer is a failure, never an empty file.
    if (!HttpSendRequest(request_, post ? kPostHeader : "", post ? params_.PostQuery : "")) return false;
    if (Terminated()) return false;

    // Only the resource itself is wanted: an error page is not a file.
    char status[16];
    DWORD statusLength = sizeof status;
    if (!HttpQueryInfo(request_, HTTP_QUERY_STATUS_CODE, status, statusLength) ||
        std::string_view(status, statusLength) != "200")
        return false;

    char length[kLengthBufferSize];
    DWORD lengthSize = sizeof length;
    const bool hasLength = HttpQueryInfo(request_, HTTP_QUERY_CONTENT_LENGTH, length, lengthSize);
    if (Terminated()) return false;
    if (!hasLength && params_.BinaryData) return false;
    if (hasLength && !lengthValue(std::string_view(length, lengthSize), fileSize_)) return false;
    // No file of ours is that large: a server does not get to fill the disk.
    if (hasLength && fileSize_ > HttpFetchMaxFileSize) return false;
    readed_ = 0;

    TPartFile file(params_.FileName);
    if (!file.Create()) return false;
    char block[kBlockSize];
    for (;;) {
        if (Terminated()) return false;
        DWORD got = 0;
        // A read that fails (reset, time-out, stop) ends the download as a failure.
        if (!InternetReadFile(request_, block, sizeof block, got)) return false;
        if (got == 0) break;
        if (readed_ > HttpFetchMaxFileSize - static_cast<int32_t>(got)) return false;
        if (!file.Write(block, got)) return false;
        readed_ += static_cast<int32_t>(got);
        if (params_.OnProgress) Synchronize();
    }
    // Complete: all of the announced length, or the whole body up to the
    // close when no length was announced.
    if (hasLength && readed_ != fileSize_) return false;
    if (!hasLength) fileSize_ = readed_;

    std::lock_guard lock(link_->mutex);
    if (link_->terminated || !file.Commit()) return false;
    link_->committed = true;
    link_->result = true;
    return true;
}

void THttpFetchThread::Synchronize()
{
    std::unique_lock lock(link_->mutex);
    if (link_->ownerGone) return;
    const uint64_t ticket = ++link_->syncPosted;
    std::shared_ptr<Link> link = link_;
    THttpFetch* owner = &owner_;
    // Runs only while the owner lives; the owner frees this worker only
    // after it has ended, or after Detach, which ends this wait.
    QMetaObject::invokeMethod(
        owner,
        [this, link, ticket] {
            app::guard([this] { DoProgress(); });
            std::lock_guard done(link->mutex);
            link->syncRun = std::max(link->syncRun, ticket);
            link->syncRunSeen.store(link->syncRun, std::memory_order_release);
            link->changed.notify_all();
        },
        Qt::QueuedConnection);
    link_->syncPostedSeen.store(ticket, std::memory_order_release);
    // The main thread mostly runs the event at once: a short wait on the
    // CPU spares both threads a sleep and a wake-up per block.
    lock.unlock();
    spinFor([&] { return link_->syncRunSeen.load(std::memory_order_acquire) >= ticket; });
    lock.lock();
    link_->changed.wait(lock, [&] { return link_->syncRun >= ticket || link_->ownerGone; });
}

bool THttpFetchThread::AwaitPosted(uint64_t& Seen) const
{
    uint64_t posted = Seen;
    if (!spinFor([&] { return (posted = link_->syncPostedSeen.load(std::memory_order_acquire)) != Seen; }))
        return false;
    Seen = posted;
    return true;
}

void THttpFetchThread::DoProgress()
{
    const TProgressEvent event = params_.OnProgress;
    if (event) event(this, fileSize_, readed_);
}

// ---- THttpFetch ------------------------------------------------------------------

THttpFetch::THttpFetch(QObject* Owner) : QObject(Owner) {}

THttpFetch::~THttpFetch()
{
    // A running worker stops and is waited for; its end is not reported.
    if (thread_) thread_.reset();
}

void THttpFetch::GetFile()
{
    if (thread_) return;
    THttpFetchThread::TParams p;
    p.AcceptTypes = AcceptTypes;
    p.Agent = Agent;
    p.URL = URL;
    p.FileName = FileName;
    p.UserName = UserName;
    p.Password = Password;
    p.PostQuery = PostQuery;
    p.Referer = Referer;
    p.BinaryData = BinaryData;
    p.UseCache = UseCache;
    p.OnProgress = OnProgress;
    const uint64_t ended = ended_;
    // Its end is bound to ThreadDone before it runs: it posts there.
    thread_ = std::make_unique<THttpFetchThread>(*this, std::move(p));
    try {
        thread_->Start();
    } catch (...) {
        // No worker could be made: the download failed.
        thread_.reset();
        result_ = false;
        ++ended_;
        if (OnError) OnError(this);
        return;
    }
    if (!WaitThread) return;
    QPointer<THttpFetch> self(this);
    // While the worker's progress events follow each other closely, the next
    // one is awaited on the CPU rather than in a sleep.
    // The worker's calls alone are run between whole turns of the loop, which
    // still come at least every kFullTurnMs for input, painting and timers.
    uint64_t seen = 0;
    QElapsedTimer sinceFullTurn;
    sinceFullTurn.start();
    while (self && self->ended_ == ended) {
        const bool posted = self->thread_ && self->thread_->AwaitPosted(seen);
        if (posted && sinceFullTurn.elapsed() < kFullTurnMs) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
            continue;
        }
        QCoreApplication::processEvents(posted ? QEventLoop::AllEvents : QEventLoop::WaitForMoreEvents);
        sinceFullTurn.restart();
    }
}

void THttpFetch::Abort()
{
    if (thread_) thread_->Terminate();
}

void THttpFetch::ThreadDone()
{
    if (!thread_) return;
    thread_->Join();
    result_ = thread_->Result();
    const std::string fileName = thread_->FileName();
    const int32_t fileSize = thread_->FileSize();
    QPointer<THttpFetch> self(this);
    app::guard([&] {
        if (result_) {
            if (OnDoneFile) OnDoneFile(this, fileName, fileSize);
        } else if (OnError) {
            OnError(this);
        }
    });
    if (!self) return;  // a handler freed the component
    thread_.reset();
    ++ended_;
}
