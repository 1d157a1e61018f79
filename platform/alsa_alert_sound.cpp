// The alert's sound on ALSA (libasound), spoken by espeak-ng in the process.
// Everything of both libraries stays in this file and on the sound thread.
#include <alsa/asoundlib.h>
#include <espeak-ng/speak_lib.h>

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/alert_sound.h"

namespace platform {

namespace {

// The device's buffer: long enough to ride out a busy moment, short enough
// that the gong starts at once.
constexpr unsigned kDeviceLatencyMicros = 200000;
// Silence after the gong and between two readings.
constexpr double kPauseAfterGongSeconds = 0.3;
constexpr double kPauseBetweenReadingsSeconds = 0.8;

// ALSA writes its own errors to stderr; the kiosk logs what it needs itself.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

std::string Latin1ToUtf8(const std::string& text) {
  std::string utf8;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      utf8 += c;
    } else {
      utf8 += static_cast<char>(0xC0 | (b >> 6));
      utf8 += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return utf8;
}

// espeak-ng is started once for the process and never ended: its
// espeak_Terminate waits for ever in the synchronous mode (libespeak-ng 1.51).
// Only one sound thread uses it at a time. Its sample rate, or 0 when it
// could not start.
int SpeechSampleRate() {
  static const int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, 0);
  return rate > 0 ? rate : 0;
}

class AlsaAlertSound final : public AlertSound {
 public:
  explicit AlsaAlertSound(AlsaSoundOptions options) : options_(std::move(options)) {
    snd_lib_error_set_handler(&QuietAlsa);
    thread_ = std::thread([this] { Run(); });
  }

  ~AlsaAlertSound() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

  void Play(SoundAlert alert) override {
    ++pending_;
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(alert));
    }
    wake_.notify_one();
  }

  std::size_t Pending() const override { return pending_.load(); }

  DeviceProblems TakeProblems() override {
    std::lock_guard lock(mutex_);
    return std::exchange(problems_, {});
  }

 private:
  void Problem(const std::string& text) {
    std::lock_guard lock(mutex_);
    problems_.text = text;
    ++problems_.count;
  }

  bool Stopping() {
    std::lock_guard lock(mutex_);
    return stopping_;
  }

  void Run() {
    sampleRate_ = SpeechSampleRate();
    if (sampleRate_ <= 0) {
      Problem("espeak-ng could not start (its data missing?): pages are not read out");
    } else {
      espeak_SetSynthCallback(&AlsaAlertSound::SynthCallback);
      if (espeak_SetVoiceByName(options_.voice.c_str()) != EE_OK) {
        Problem("espeak-ng has no voice \"" + options_.voice + "\": the default voice reads");
        espeak_SetVoiceByName("en");
      }
      espeak_SetParameter(espeakRATE, options_.rate, 0);
      espeak_SetParameter(espeakVOLUME, options_.volume, 0);
    }
    const int rate = sampleRate_ > 0 ? sampleRate_ : 22050;
    gong_ = MakeGong(rate);
    for (;;) {
      SoundAlert alert;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) break;
        alert = std::move(queue_.front());
        queue_.pop_front();
      }
      // The device stays open while alerts follow one another.
      if (pcm_ || OpenDevice(rate)) Sound(alert, rate);
      bool more = false;
      {
        std::lock_guard lock(mutex_);
        more = !queue_.empty() && !stopping_;
      }
      if (!more || failed_) CloseDevice();
      --pending_;
    }
    CloseDevice();
  }

  // Opens the device for a run of alerts; false when it is missing or busy.
  bool OpenDevice(int rate) {
    snd_pcm_t* pcm = nullptr;
    // Opened without waiting: a device that another program holds is busy, not awaited.
    int err = snd_pcm_open(&pcm, options_.device.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (err < 0) {
      Problem("ALSA device \"" + options_.device + "\" cannot be opened: " + snd_strerror(err));
      return false;
    }
    err = snd_pcm_nonblock(pcm, 0);
    if (err >= 0)
      err = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                               static_cast<unsigned>(rate), 1, kDeviceLatencyMicros);
    if (err < 0) {
      Problem("ALSA device \"" + options_.device + "\" does not take 16-bit mono at " + std::to_string(rate) +
              " Hz: " + snd_strerror(err));
      snd_pcm_close(pcm);
      return false;
    }
    pcm_ = pcm;
    failed_ = false;
    return true;
  }

  // Lets what was handed over play out (or drops it when stopping), and closes.
  void CloseDevice() {
    if (!pcm_) return;
    if (Stopping() || failed_)
      snd_pcm_drop(pcm_);
    else
      snd_pcm_drain(pcm_);
    snd_pcm_close(pcm_);
    pcm_ = nullptr;
  }

  void Sound(const SoundAlert& alert, int rate) {
    if (alert.gong) {
      part_ = AlsaSoundOptions::Part::Gong;
      partStarted_ = false;
      Write(gong_.data(), gong_.size());
    }
    if (!alert.speech.empty() && sampleRate_ > 0) {
      const std::string text = Latin1ToUtf8(alert.speech);
      for (int i = 0; i < alert.repeats && !failed_ && !Stopping(); ++i) {
        Silence(i == 0 ? (alert.gong ? kPauseAfterGongSeconds : 0) : kPauseBetweenReadingsSeconds, rate);
        part_ = AlsaSoundOptions::Part::Speech;
        partStarted_ = i > 0;
        espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, this);
      }
    }
    Silence(kPauseBetweenReadingsSeconds, rate);  // before the next alert of a run
  }

  void Silence(double seconds, int rate) {
    const std::vector<std::int16_t> zeros(static_cast<std::size_t>(seconds * rate), 0);
    Write(zeros.data(), zeros.size());
  }

  // Hands samples to the device; a device that fails is given up for the rest of the alert.
  void Write(const std::int16_t* samples, std::size_t count) {
    while (count > 0 && !failed_) {
      snd_pcm_sframes_t written = snd_pcm_writei(pcm_, samples, count);
      if (written < 0) written = snd_pcm_recover(pcm_, static_cast<int>(written), 1);
      if (written < 0) {
        Problem("ALSA device \"" + options_.device + "\" failed while playing: " +
                snd_strerror(static_cast<int>(written)));
        failed_ = true;
        return;
      }
      if (written > 0 && !partStarted_) {
        partStarted_ = true;
        if (options_.onFirstSamples) options_.onFirstSamples(part_);
      }
      samples += written;
      count -= static_cast<std::size_t>(written);
    }
  }

  static int SynthCallback(short* wav, int samples, espeak_EVENT* events) {
    auto* self = static_cast<AlsaAlertSound*>(events->user_data);
    if (wav && samples > 0) self->Write(wav, static_cast<std::size_t>(samples));
    return self->failed_ || self->Stopping() ? 1 : 0;  // 1 ends the synthesis
  }

  AlsaSoundOptions options_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<SoundAlert> queue_;  // guarded by mutex_
  bool stopping_ = false;         // guarded by mutex_
  DeviceProblems problems_;       // guarded by mutex_
  std::atomic<std::size_t> pending_{0};
  // The sound thread's own.
  int sampleRate_ = 0;
  std::vector<std::int16_t> gong_;
  snd_pcm_t* pcm_ = nullptr;
  bool failed_ = false;
  AlsaSoundOptions::Part part_ = AlsaSoundOptions::Part::Gong;
  bool partStarted_ = false;
  std::thread thread_;
};

}  // namespace

std::unique_ptr<AlertSound> MakeAlsaAlertSound(AlsaSoundOptions options) {
  return std::make_unique<AlsaAlertSound>(std::move(options));
}

}  // namespace platform
