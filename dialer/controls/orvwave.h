#pragma once
// TOrvWavePlayer: plays a wave file through the system's player
// (platform/sound): the connect and disconnect sounds of the dialer.

#include "platform/ansistring.h"

#include <QObject>

#include <functional>

class TOrvWavePlayer : public QObject {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TOrvWavePlayer* Sender)>;

    explicit TOrvWavePlayer(QObject* Owner = nullptr) : QObject(Owner) {}

    // Play returns at once and the sound plays on. False also ends Loop.
    bool Async() const noexcept { return async_; }
    void SetAsync(bool Value);
    // The sound plays again and again until stopped; only while Async.
    bool Loop() const noexcept { return loop_; }
    void SetLoop(bool Value);
    // A file missing plays the desktop's default sound.
    AnsiString WaveFile;
    TNotifyEvent BeforePlay;
    TNotifyEvent AfterPlay;

    // Whether the sound was played (or, with Async, started).
    bool Play();
    // Stops the sound playing.
    void Stop();

private:
    bool async_ = false;
    bool loop_ = false;
};
