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

class CanberraPlayer final : public ServerPlayer {
public:
    ~CanberraPlayer() override
    {
        if (ctx_) ca_context_destroy(ctx_);
    }

protected:
    bool ServerOpen() override
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

    void ServerCancel() override
    {
        if (ctx_) ca_context_cancel(ctx_, kSoundId);
    }

    bool ServerPlay(const std::string& File, uint64_t Sound) override
    {
        if (!ctx_) return false;
        ca_proplist* p = nullptr;
        if (ca_proplist_create(&p) != CA_SUCCESS) return false;
        if (File.empty()) {
            ca_proplist_sets(p, CA_PROP_EVENT_ID, kDefaultEvent);
        } else {
            ca_proplist_sets(p, CA_PROP_MEDIA_FILENAME, File.c_str());
        }
        ca_proplist_sets(p, CA_PROP_CANBERRA_CACHE_CONTROL, "never");
        const int r = ca_context_play_full(ctx_, kSoundId, p, &finished,
                                           reinterpret_cast<void*>(static_cast<uintptr_t>(Sound)));
        ca_proplist_destroy(p);
        return r == CA_SUCCESS;
    }

private:
    // Called by libcanberra, on the sound server's thread or inside one of
    // the calls above.
    static void finished(ca_context*, uint32_t, int error, void* userdata)
    {
        self().Finished(reinterpret_cast<uintptr_t>(userdata), error == CA_SUCCESS);
    }

    static CanberraPlayer& self() { return static_cast<CanberraPlayer&>(desktopPlayer()); }

    // Touched only by the calls above, which the player makes one at a time.
    ca_context* ctx_ = nullptr;
    bool failed_ = false;
};

}  // namespace

Player& desktopPlayer()
{
    static CanberraPlayer p;
    return p;
}

Player& player() { return installed ? *installed : desktopPlayer(); }

// ---- the player between its caller and the sound server

struct ServerPlayer::State {
    // One call into the server at a time; the server's reports never take it.
    std::mutex calls;
    // What the reports change; never held while the server is called.
    std::mutex m;
    std::condition_variable done;
    uint64_t generation = 0;  // the sound last started (or stopped)
    std::string file;         // its file; empty: the default event sound
    bool looping = false;
    uint64_t ended = 0;       // the last sound reported to have ended
    bool endedOk = false;
};

ServerPlayer::ServerPlayer() : state_(std::make_shared<State>()) {}

ServerPlayer::~ServerPlayer() = default;

bool ServerPlayer::PlaySound(const char* Name, unsigned Flags)
{
    State& s = *state_;
    std::unique_lock calls(s.calls);
    uint64_t sound = 0;
    {
        std::lock_guard lk(s.m);
        sound = ++s.generation;
        s.looping = false;
    }
    if (!ServerOpen()) return false;
    ServerCancel();
    if (!Name || !*Name) return true;

    std::string file = absolutePath(Name);
    if (!isFile(file)) {
        if (Flags & SND_NODEFAULT) return false;
        file.clear();
    }
    const bool async = (Flags & SND_ASYNC) != 0;
    {
        std::lock_guard lk(s.m);
        s.file = file;
        s.looping = async && (Flags & SND_LOOP);
    }
    if (!ServerPlay(file, sound)) {
        std::lock_guard lk(s.m);
        if (s.generation == sound) s.looping = false;
        return false;
    }
    calls.unlock();
    if (async) return true;
    std::unique_lock lk(s.m);
    s.done.wait(lk, [&] { return s.ended == sound || s.generation != sound; });
    return s.generation != sound || s.endedOk;
}

void ServerPlayer::Finished(uint64_t Sound, bool Ok)
{
    State& s = *state_;
    std::lock_guard lk(s.m);
    if (Sound != s.generation) return;
    s.ended = Sound;
    s.endedOk = Ok;
    s.done.notify_all();
    if (s.looping && Ok) {
        // Played again from the main thread, never from the server's.
        if (QCoreApplication* app = QCoreApplication::instance()) {
            std::weak_ptr<State> alive = state_;
            QMetaObject::invokeMethod(
                app,
                [this, alive, Sound] {
                    if (alive.lock()) replay(Sound);
                },
                Qt::QueuedConnection);
        }
    }
}

void ServerPlayer::replay(uint64_t Sound)
{
    State& s = *state_;
    std::lock_guard calls(s.calls);
    std::string file;
    {
        std::lock_guard lk(s.m);
        if (Sound != s.generation || !s.looping) return;
        file = s.file;
    }
    if (!ServerPlay(file, Sound)) {
        std::lock_guard lk(s.m);
        if (s.generation == Sound) s.looping = false;
    }
}

void setPlayer(Player* P) { installed = P; }

RecordingPlayer::RecordingPlayer() : previous_(installed) { installed = this; }

RecordingPlayer::~RecordingPlayer() { installed = previous_; }

bool RecordingPlayer::PlaySound(const char* Name, unsigned Flags)
{
    Calls.push_back({Name != nullptr, Name ? AnsiString(Name) : AnsiString(), Flags});
    return Result;
}

}  // namespace sound
