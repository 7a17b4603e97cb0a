#include "platform/ui/systemtone.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <dlfcn.h>

namespace platform {

namespace {

// ALSA is opened at run time rather than linked: a machine without it (or without a sound card)
// still runs the program and gets the bell instead. Only these few calls of its stable C
// interface are used.
struct Alsa {
    using Pcm = void;
    int (*open)(Pcm**, const char*, int, int) = nullptr;
    int (*setParams)(Pcm*, int, int, unsigned, unsigned, int, unsigned) = nullptr;
    long (*writei)(Pcm*, const void*, unsigned long) = nullptr;
    int (*drain)(Pcm*) = nullptr;
    int (*close)(Pcm*) = nullptr;
    int (*nonblock)(Pcm*, int) = nullptr;
    int (*setErrorHandler)(void (*)(const char*, int, const char*, int, const char*, ...)) = nullptr;
    bool loaded = false;

    static const Alsa& get()
    {
        static const Alsa alsa = load();
        return alsa;
    }

  private:
    static void quiet(const char*, int, const char*, int, const char*, ...) {}

    template <typename F> static bool bind(void* lib, F& f, const char* name)
    {
        f = reinterpret_cast<F>(dlsym(lib, name));
        return f != nullptr;
    }

    static Alsa load()
    {
        Alsa a;
        void* lib = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!lib)
            return a;
        a.loaded = bind(lib, a.open, "snd_pcm_open") && bind(lib, a.setParams, "snd_pcm_set_params") &&
                   bind(lib, a.writei, "snd_pcm_writei") && bind(lib, a.drain, "snd_pcm_drain") &&
                   bind(lib, a.close, "snd_pcm_close") && bind(lib, a.nonblock, "snd_pcm_nonblock");
        // Without a card ALSA would write its complaints to the terminal.
        if (a.loaded && bind(lib, a.setErrorHandler, "snd_lib_error_set_handler"))
            a.setErrorHandler(&Alsa::quiet);
        return a;
    }
};

constexpr int kPlayback = 0;    // SND_PCM_STREAM_PLAYBACK
constexpr int kNonBlock = 1;    // SND_PCM_NONBLOCK
constexpr int kS16LE = 2;       // SND_PCM_FORMAT_S16_LE
constexpr int kInterleaved = 3; // SND_PCM_ACCESS_RW_INTERLEAVED
constexpr unsigned kRate = 48000;
constexpr unsigned kLatencyUs = 30000;

} // namespace

bool SystemTone::playTone(int frequencyHz, int durationMs)
{
    const Alsa& alsa = Alsa::get();
    if (!alsa.loaded)
        return false;
    Alsa::Pcm* pcm = nullptr;
    // Opened without blocking, so a device held by another program fails at once instead of
    // freezing the window.
    if (alsa.open(&pcm, "default", kPlayback, kNonBlock) < 0 || !pcm)
        return false;
    bool ok =
        alsa.nonblock(pcm, 0) >= 0 && alsa.setParams(pcm, kS16LE, kInterleaved, 1, kRate, 1, kLatencyUs) >= 0;
    if (ok) {
        const std::vector<std::int16_t> samples = toneSamples(frequencyHz, durationMs, int(kRate));
        ok = alsa.writei(pcm, samples.data(), samples.size()) > 0;
        if (ok)
            alsa.drain(pcm);
    }
    alsa.close(pcm);
    return ok;
}

void SystemTone::beep(int frequencyHz, int durationMs)
{
    QElapsedTimer clock;
    clock.start();
    if (!playTone(frequencyHz, durationMs))
        QApplication::beep();
    const qint64 left = durationMs - clock.elapsed();
    if (left > 0)
        QThread::msleep(static_cast<unsigned long>(left));
}

} // namespace platform
