#include "platform/sound/sound.h"

#include "platform/codepage.h"

#include <QCoreApplication>

#include <canberra.h>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace sound {
namespace {

Player* installed = nullptr;

// The desktop's default event sound.
constexpr const char* kDefaultEvent = "bell";
constexpr uint32_t kSoundId = 1;

bool isFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string absolutePath(const char* name)
{
    std::string path = codepage::toUtf8(name);
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    if (!path.empty() && path[0] != '/') {
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd)) path = std::string(cwd) + "/" + path;
    }
    return path;
}

class CanberraPlayer : public Player {
public:
    ~CanberraPlayer() override
    {
        if (ctx_) ca_context_destroy(ctx_);
    }

    bool PlaySound(const char* Name, unsigned Flags) override
    {
        std::unique_lock lk(m_);
        ++generation_;
        looping_ = false;
        if (!open()) return false;
        ca_context_cancel(ctx_, kSoundId);
        if (!Name || !*Name) return true;

        const std::string path = absolutePath(Name);
        if (isFile(path)) {
            file_ = path;
        } else if (Flags & SND_NODEFAULT) {
            return false;
        } else {
            file_.clear();
        }
        const bool async = (Flags & SND_ASYNC) != 0;
        looping_ = async && (Flags & SND_LOOP);
        const uint64_t gen = generation_;
        finished_ = false;
        if (start(gen) != CA_SUCCESS) {
            looping_ = false;
            return false;
        }
        if (!async) done_.wait(lk, [&] { return finished_ || generation_ != gen; });
        return !async ? finishedOk_ || generation_ != gen : true;
    }

private:
    bool open()
    {
        if (ctx_) return true;
        if (failed_) return false;
        if (ca_context_create(&ctx_) != CA_SUCCESS) {
            ctx_ = nullptr;
            failed_ = true;
            return false;
        }
        ca_context_change_props(ctx_, CA_PROP_APPLICATION_NAME, "Orvanta", nullptr);
        return true;
    }

    // Starts the current sound; called with the lock held.
    int start(uint64_t gen)
    {
        ca_proplist* p = nullptr;
        if (ca_proplist_create(&p) != CA_SUCCESS) return CA_ERROR_OOM;
        if (file_.empty()) {
            ca_proplist_sets(p, CA_PROP_EVENT_ID, kDefaultEvent);
        } else {
            ca_proplist_sets(p, CA_PROP_MEDIA_FILENAME, file_.c_str());
        }
        ca_proplist_sets(p, CA_PROP_CANBERRA_CACHE_CONTROL, "never");
        const int r = ca_context_play_full(ctx_, kSoundId, p, &finished, reinterpret_cast<void*>(gen));
        ca_proplist_destroy(p);
        return r;
    }

    // Called by libcanberra on a thread of its own; may not call it back.
    static void finished(ca_context*, uint32_t, int error, void* userdata)
    {
        CanberraPlayer& p = self();
        const auto gen = reinterpret_cast<uintptr_t>(userdata);
        std::lock_guard lk(p.m_);
        if (gen != p.generation_) return;
        p.finished_ = true;
        p.finishedOk_ = error == CA_SUCCESS;
        p.done_.notify_all();
        if (p.looping_ && error == CA_SUCCESS) {
            if (QCoreApplication* app = QCoreApplication::instance()) {
                QMetaObject::invokeMethod(app, [gen] { self().replay(gen); }, Qt::QueuedConnection);
            }
        }
    }

    static CanberraPlayer& self() { return static_cast<CanberraPlayer&>(desktopPlayer()); }

    void replay(uint64_t gen)
    {
        std::lock_guard lk(m_);
        if (gen != generation_ || !looping_ || !ctx_) return;
        if (start(gen) != CA_SUCCESS) looping_ = false;
    }

    // Recursive: libcanberra may call finished() from inside a call made
    // with the lock held.
    std::recursive_mutex m_;
    std::condition_variable_any done_;
    ca_context* ctx_ = nullptr;
    bool failed_ = false;
    std::string file_;  // empty: the default event sound
    uint64_t generation_ = 0;
    bool looping_ = false;
    bool finished_ = false;
    bool finishedOk_ = false;
};

}  // namespace

Player& desktopPlayer()
{
    static CanberraPlayer p;
    return p;
}

Player& player() { return installed ? *installed : desktopPlayer(); }

void setPlayer(Player* P) { installed = P; }

RecordingPlayer::RecordingPlayer() : previous_(installed) { installed = this; }

RecordingPlayer::~RecordingPlayer() { installed = previous_; }

bool RecordingPlayer::PlaySound(const char* Name, unsigned Flags)
{
    Calls.push_back({Name != nullptr, Name ? AnsiString(Name) : AnsiString(), Flags});
    return Result;
}

}  // namespace sound
