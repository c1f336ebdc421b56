#include "dialer/controls/orvwave.h"

#include "platform/sound/sound.h"

void TOrvWavePlayer::SetAsync(bool Value)
{
    async_ = Value;
    if (!Value) loop_ = false;
}

void TOrvWavePlayer::SetLoop(bool Value)
{
    if (async_) loop_ = Value;
}

bool TOrvWavePlayer::Play()
{
    if (BeforePlay) BeforePlay(this);
    unsigned flags = sound::SND_FILENAME;
    if (loop_) flags |= sound::SND_LOOP;
    if (async_) flags |= sound::SND_ASYNC;
    const bool played = sound::PlaySound(WaveFile.c_str(), flags);
    if (AfterPlay) AfterPlay(this);
    return played;
}

void TOrvWavePlayer::Stop() { sound::PlaySound(nullptr, sound::SND_FILENAME); }
