#pragma once

namespace nuv {

// A plain beep of a frequency and a length, as the segregation procedure sounds with its
// instructions. Injected: the window plays it through the sound system, tests record it.
class Tone {
  public:
    virtual ~Tone() = default;
    // Starts the tone and returns at once; it never holds the caller for its length.
    virtual void Beep(unsigned frequencyHz, unsigned durationMs) = 0;
};

// A machine without sound, and programs without a window: nothing is heard.
class SilentTone final : public Tone {
  public:
    void Beep(unsigned, unsigned) override {}
};

}  // namespace nuv
