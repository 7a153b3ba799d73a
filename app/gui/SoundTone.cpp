#include "app/gui/SoundTone.hpp"

#include <QApplication>
#include <QMetaObject>
#include <cmath>
#include <numbers>
#include <vector>

#ifdef NUV_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

namespace nuv::gui {
namespace {

constexpr unsigned kRate = 44100;
constexpr unsigned kFadeSamples = kRate / 200;  // 5 ms, against clicks

}  // namespace

SoundTone::SoundTone() : worker_([this] { Run(); }) {}

SoundTone::~SoundTone() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

void SoundTone::Beep(unsigned frequencyHz, unsigned durationMs) {
    {
        const std::lock_guard lock(mutex_);
        next_ = std::pair{frequencyHz, durationMs};
    }
    wake_.notify_one();
}

void SoundTone::Run() {
    for (;;) {
        std::pair<unsigned, unsigned> tone;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || next_.has_value(); });
            if (stop_) return;
            tone = *next_;
            next_.reset();
        }
        if (!Play(tone.first, tone.second)) {
            // No sound device: the window's bell, on the window's thread.
            QMetaObject::invokeMethod(
                qApp, [] { QApplication::beep(); }, Qt::QueuedConnection);
        }
    }
}

bool SoundTone::Play([[maybe_unused]] unsigned frequencyHz, [[maybe_unused]] unsigned durationMs) {
#ifdef NUV_HAVE_ALSA
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return false;
    snd_pcm_nonblock(pcm, 0);
    if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kRate, 1,
                           50'000) < 0) {
        snd_pcm_close(pcm);
        return false;
    }
    const std::size_t samples = static_cast<std::size_t>(kRate) * durationMs / 1000;
    std::vector<std::int16_t> wave(samples);
    for (std::size_t i = 0; i < samples; ++i) {
        const double fade = std::min({1.0, static_cast<double>(i) / kFadeSamples,
                                      static_cast<double>(samples - i) / kFadeSamples});
        wave[i] = static_cast<std::int16_t>(
            12000 * fade *
            std::sin(2 * std::numbers::pi * frequencyHz * static_cast<double>(i) / kRate));
    }
    snd_pcm_sframes_t written = snd_pcm_writei(pcm, wave.data(), wave.size());
    if (written < 0) written = snd_pcm_recover(pcm, static_cast<int>(written), 1);
    snd_pcm_drain(pcm);
    snd_pcm_close(pcm);
    return written >= 0;
#else
    return false;
#endif
}

}  // namespace nuv::gui
