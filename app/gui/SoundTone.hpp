#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "model/Tone.hpp"

namespace nuv::gui {

// The instructions' tones: a short sine tone generated and played through the sound system
// (ALSA's default device) on a thread of its own, so that the window never waits for it. Where
// no sound device can be opened, the window's bell sounds instead; a machine without either
// stays silent. A tone asked for while one still plays replaces any that waits behind it.
class SoundTone final : public Tone {
  public:
    SoundTone();
    ~SoundTone() override;
    SoundTone(const SoundTone&) = delete;
    SoundTone& operator=(const SoundTone&) = delete;

    void Beep(unsigned frequencyHz, unsigned durationMs) override;

  private:
    void Run();
    // Plays one tone; false when there is no sound device to play it on.
    static bool Play(unsigned frequencyHz, unsigned durationMs);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<std::pair<unsigned, unsigned>> next_;
    bool stop_ = false;
    std::thread worker_;
};

}  // namespace nuv::gui
