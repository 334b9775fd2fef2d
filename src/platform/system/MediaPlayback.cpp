#include "MediaPlayback.h"

#include "Modules.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcMultimedia, "orvex.multimedia")

// MediaPlaybackQt.cpp's entry, when it is linked into the program rather than loaded.
extern "C" const MultimediaMakers* OrvexMultimediaMakers() __attribute__((weak));

namespace {

const MultimediaMakers* Makers()
{
    static const MultimediaMakers* const makers = [] {
        std::string error;
        const MultimediaMakers* found = ModuleTable(OrvexMultimediaMakers, "orvex-multimedia", "OrvexMultimediaMakers", error);
        if (!found)
            qCWarning(lcMultimedia) << "movies and sounds cannot be played:" << error.c_str();
        return found;
    }();
    return makers;
}

// A player without the module: it keeps what it is told and plays nothing.
class SilentPlayback final : public MediaPlayback {
public:
    void SetSource(const QUrl&) override {}
    void Play() override {}
    void Pause() override {}
    void Stop() override {}
    void SetPosition(qint64) override {}
    qint64 Position() const override { return 0; }
    qint64 Duration() const override { return 0; }
    void SetPlaybackRate(double rate) override { mRate = rate; }
    double PlaybackRate() const override { return mRate; }
    void SetLoops(int loops) override { mLoops = loops; }
    int Loops() const override { return mLoops; }
    bool IsPlaying() const override { return false; }
    bool IsAtEnd() const override { return false; }
    bool HasFailed() const override { return true; }
    void SetVolume(float level, bool muted) override
    {
        mVolume = level;
        mMuted = muted;
    }
    float Volume() const override { return mVolume; }
    bool IsMuted() const override { return mMuted; }

private:
    double mRate = 1;
    int mLoops = 1;
    float mVolume = 1;
    bool mMuted = false;
};

} // namespace

std::unique_ptr<MediaPlayback> NewMediaPlayback()
{
    if (const MultimediaMakers* makers = Makers())
        return makers->newPlayback();
    return std::make_unique<SilentPlayback>();
}

std::unique_ptr<SoundEffect> NewSoundEffect()
{
    const MultimediaMakers* makers = Makers();
    return makers ? makers->newSound() : nullptr;
}
