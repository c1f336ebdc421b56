#pragma once
// Playing wave files (the host's PlaySound).
//
// The desktop's player goes through libcanberra: the file is played by the
// desktop's sound server or straight on the sound card; a file that cannot be
// found plays the desktop's default event sound instead (unless
// SND_NODEFAULT). Without a sound device nothing is heard and PlaySound
// answers false. Tests install a RecordingPlayer instead.

#include "platform/ansistring.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sound {

enum : unsigned {
    SND_SYNC = 0x0000,       // return when the sound has ended
    SND_ASYNC = 0x0001,      // return at once
    SND_NODEFAULT = 0x0002,  // a missing file plays nothing
    SND_LOOP = 0x0008,       // play again and again until stopped (with SND_ASYNC)
    SND_FILENAME = 0x20000,  // Name is a file name
};

class Player {
public:
    virtual ~Player() = default;
    // Name: a file name in Windows-1251, "\" or "/" between folders, relative
    // to the current folder; nullptr or "" stops the sound playing. Whatever
    // played before stops first. True when the sound was started (SND_ASYNC)
    // or played to its end.
    virtual bool PlaySound(const char* Name, unsigned Flags) = 0;
};

// The player in use: the one installed by setPlayer, else the desktop's.
Player& player();
// Installs a player for the whole process (tests); nullptr puts the
// desktop's back.
void setPlayer(Player* P);

inline bool PlaySound(const char* Name, unsigned Flags) { return player().PlaySound(Name, Flags); }

// The desktop's player, for use without installing it.
Player& desktopPlayer();

// What the desktop's player does between its caller and the sound server
// (libcanberra); the server's three calls are left to a subclass, so tests
// can put a server of their own in its place. The server may report that a
// sound ended on a thread of its own, also while the call that started or
// stopped it is still running: the player never calls the server while it
// holds the lock that the report takes, and the report holds that lock only
// for a moment (it never waits for a call to end).
class ServerPlayer : public Player {
public:
    ServerPlayer();
    ~ServerPlayer() override;

    bool PlaySound(const char* Name, unsigned Flags) override;

protected:
    // The server's calls, made one at a time, never with the report's lock held.
    virtual bool ServerOpen() = 0;
    virtual void ServerCancel() = 0;
    // Starts a file (empty: the desktop's default event sound); its end is
    // reported with Finished(Sound, ...).
    virtual bool ServerPlay(const std::string& File, uint64_t Sound) = 0;
    // The server's report that a sound ended (Ok: it played to its end).
    // Any thread.
    void Finished(uint64_t Sound, bool Ok);

private:
    struct State;
    void replay(uint64_t Sound);
    std::shared_ptr<State> state_;
};

// A player for tests: installs itself on construction and puts the previous
// one back on destruction. Records every call and answers Result.
class RecordingPlayer : public Player {
public:
    struct Call {
        bool HasName;  // false for nullptr
        AnsiString Name;
        unsigned Flags;
    };

    RecordingPlayer();
    ~RecordingPlayer() override;
    RecordingPlayer(const RecordingPlayer&) = delete;
    RecordingPlayer& operator=(const RecordingPlayer&) = delete;

    bool PlaySound(const char* Name, unsigned Flags) override;

    std::vector<Call> Calls;
    bool Result = true;

private:
    Player* previous_ = nullptr;
};

}  // namespace sound
