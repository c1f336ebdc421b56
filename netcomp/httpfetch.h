#pragma once
// The HTTP downloader: fetches one resource into a local file on a worker
// thread (THttpFetchThread) through the wininet stand-in, reports the
// progress and the end on the main thread, in the order they happened.
//
// - One download at a time: GetFile while one runs does nothing. With
//   WaitThread, GetFile returns only after the download has ended and its
//   event has run, pumping the event loop meanwhile, so a stop button stays
//   usable.
// - Only an answer with the status 200 counts; any other status is a failure.
//   With BinaryData an answer without a Content-Length fails; without it the
//   body read until the server closes is the file.
// - An answer larger than HttpFetchMaxFileSize fails: at once when its
//   Content-Length says so, else as soon as the body grows past it. An
//   answer framed by a transfer coding (chunked...) fails too: HTTP/1.0
//   asks for none and its body would not be the file.
// - The body goes to a temporary file in the target's folder, renamed over
//   the target only once it is complete (all of the announced length), so a
//   failed, short or stopped download leaves the old file whole. Such a
//   file that a killed run left behind is removed by the next download
//   into that folder.
// - Abort ends a running download at once, also in the middle of a blocked
//   read; its end comes through OnError. Destroying the component stops a
//   running download and waits for its worker, which then reports nothing.
// - Port 80, the only one a URL can name here: "http://" (in any letter case)
//   is taken off the front, the host is what stands before the first "/",
//   the path is the rest from that "/" on.
// - The worker's calls are bounded by the wininet stand-in's time-outs.
//
// The component and its events belong to the main thread, which must run a
// Qt event loop.

#include "platform/ansistring.h"
#include "platform/wininet.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class THttpFetch;

// The largest file a download takes, far above any data file the programs
// fetch (64 MiB).
inline constexpr int32_t HttpFetchMaxFileSize = 64 * 1024 * 1024;

// Splits URL into Host and Path as the downloader does; false when the URL
// names no host (nothing before the first "/", or no "/" at all).
bool ParseURL(const AnsiString& URL, AnsiString& Host, AnsiString& Path);

// The worker of one download. It works on copies of the component's
// properties taken when the download starts.
class THttpFetchThread {
public:
    using TProgressEvent = std::function<void(THttpFetchThread* Sender, int32_t TotalSize, int32_t Readed)>;

    // Copies of the component's properties.
    struct TParams {
        AnsiString AcceptTypes;
        AnsiString Agent;
        AnsiString URL;
        std::string FileName;
        AnsiString UserName;
        AnsiString Password;
        AnsiString PostQuery;
        AnsiString Referer;
        bool BinaryData = false;
        bool UseCache = false;
        TProgressEvent OnProgress;
    };

    THttpFetchThread(THttpFetch& Owner, TParams Params);
    ~THttpFetchThread();  // stops and waits for the worker; it reports nothing more
    THttpFetchThread(const THttpFetchThread&) = delete;
    THttpFetchThread& operator=(const THttpFetchThread&) = delete;

    // Starts the worker; its end is posted to the owner's ThreadDone.
    void Start();
    // Asks the worker to stop (main thread); wakes a blocked call. Unless
    // the file is already in place, the result is a failure.
    void Terminate();
    // The owner is going: nothing more is posted to it.
    void Detach();
    // Waits for the worker to end (main thread, once its end was posted).
    void Join();

    // Read on the main thread, by the progress event and after the end.
    const std::string& FileName() const noexcept { return params_.FileName; }
    int32_t FileSize() const noexcept { return fileSize_; }
    int32_t Readed() const noexcept { return readed_; }
    bool Result() const;
    // Main thread: waits briefly on the CPU for a progress event posted
    // after the Seen-th; true (Seen updated) when one was.
    bool AwaitPosted(uint64_t& Seen) const;

private:
    struct Link;

    void Execute();
    bool Download();
    // Runs DoProgress on the main thread and waits for it.
    void Synchronize();
    void DoProgress();
    void CloseHandles();
    bool Terminated() const;

    THttpFetch& owner_;
    TParams params_;
    std::shared_ptr<Link> link_;
    std::thread thread_;
    int32_t fileSize_ = 0;
    int32_t readed_ = 0;
    wininet::HINTERNET request_;
    wininet::HINTERNET connect_;
};

class THttpFetch : public QObject {
    Q_OBJECT
public:
    using TProgressEvent = THttpFetchThread::TProgressEvent;
    using TDoneFileEvent = std::function<void(THttpFetch* Sender, const std::string& FileName, int32_t FileSize)>;
    using TNotifyEvent = std::function<void(THttpFetch* Sender)>;

    explicit THttpFetch(QObject* Owner = nullptr);
    ~THttpFetch() override;

    AnsiString AcceptTypes = "*/*";      // the request's accept list
    AnsiString Agent = "Halcyra HttpFetch";  // User-Agent; empty sends none
    bool BinaryData = false;             // an answer without a Content-Length fails
    AnsiString URL;                      // with or without "http://"
    bool UseCache = false;               // there is no cache: every request reaches the server
    std::string FileName;                // the local file, a path as the file system takes it
    AnsiString UserName;                 // sent as Basic credentials when not empty
    AnsiString Password;
    AnsiString PostQuery;                // not empty: a POST with this form-encoded body
    AnsiString Referer;                  // sent when not empty
    bool WaitThread = false;             // GetFile returns once the download has ended

    TProgressEvent OnProgress;  // after every block; the worker is the Sender
    TDoneFileEvent OnDoneFile;  // the file is in place
    TNotifyEvent OnError;       // the download failed or was stopped

    void GetFile();
    void Abort();
    bool Busy() const noexcept { return thread_ != nullptr; }
    // The result of the last download that ended.
    bool LastResult() const noexcept { return result_; }

private:
    friend class THttpFetchThread;
    // The worker has ended (main thread).
    void ThreadDone();

    std::unique_ptr<THttpFetchThread> thread_;
    bool result_ = false;
    uint64_t ended_ = 0;  // downloads that have ended, for GetFile's wait
};
