#include "MediaPlayback.h"

#include "ClockedPlayback.h"
#include "ExceptionCode.h"
#include "Modules.h"
#include "TickCount.h"
#include "WorkerPool.h"

#include <QLoggingCategory>

#include <mutex>

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
class SilentPlayback final : public KeptSettingsPlayback {
public:
    void SetSource(const QUrl&) override {}
    void Play() override {}
    void Pause() override {}
    void Stop() override {}
    void SetPosition(qint64) override {}
    qint64 Position() const override { return 0; }
    qint64 Duration() const override { return 0; }
    bool IsPlaying() const override { return false; }
    bool IsAtEnd() const override { return false; }
    bool HasFailed() const override { return true; }
};

} // namespace

std::unique_ptr<MediaPlayback> NewMediaPlayback()
{
    // Under a manual clock (a test stepping through time) movies follow that clock.
    if (ManualClock* clock = ManualClock::Current())
        return NewClockedPlayback(*clock);
    if (const MultimediaMakers* makers = Makers())
        return makers->newPlayback();
    return std::make_unique<SilentPlayback>();
}

std::unique_ptr<SoundEffect> NewSoundEffect()
{
    const MultimediaMakers* makers = Makers();
    return makers ? makers->newSound() : nullptr;
}

void PrepareSoundEffects()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Once the program is ending the pool takes no more: the first sound loads them then.
        (void)CatchCode([] {
            WorkerPool::Start([] {
                if (const MultimediaMakers* makers = Makers())
                    makers->loadLibraries();
            });
        });
    });
}
