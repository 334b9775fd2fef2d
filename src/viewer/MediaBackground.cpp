#include "MediaBackground.h"

#include "PrefKeys.h"

#include "ErrorHook.h"
#include "ExceptionCode.h"
#include "Preferences.h"
#include "ResourceUtilities.h"

namespace {

constexpr ResType kColourTableType = 'clut';

struct MediaBackground {
    bool loaded = false;
    SInt32 preference = 0; // the value the pattern was loaded for
    PixPattern pattern;
    ThemeColours colours = IndexThemeLook::DefaultColours();
};

MediaBackground& Cache()
{
    static MediaBackground cache;
    return cache;
}

} // namespace

const PixPattern& GetMediaBackgroundPattern()
{
    MediaBackground& cache = Cache();
    const SInt32 id = Pref::MediaPatternID.Get();
    if (cache.loaded && cache.preference == id)
        return cache.pattern;
    cache.loaded = true;
    cache.preference = id;
    cache.pattern = PixPattern();
    if (id == kPlainMediaBackground)
        return cache.pattern;

    ResIDT loaded = ResIDT(id);
    const bool inRange = id >= -32768 && id <= 32767;
    if (!inRange || CatchCode([&] { cache.pattern = GetPixPat(loaded); }) != noErr) {
        qCWarning(lcOrvexErrors) << "media background pattern" << id << "does not load; pattern"
                                 << kFallbackMediaPattern << "stands in";
        loaded = kFallbackMediaPattern;
        CatchCode([&] { cache.pattern = GetPixPat(loaded); });
    }
    // The frame colours go with the pattern drawn; a table short of its six colours leaves the old ones.
    QByteArray table;
    if (CatchCode([&] { table = GetResourceData(kColourTableType, loaded); }) == noErr
        && !ReadThemeColours(table, cache.colours))
        qCWarning(lcOrvexErrors) << "colour table" << loaded << "holds" << table.size() << "bytes, not 36";
    return cache.pattern;
}

const ThemeColours& GetMediaBackgroundColours()
{
    return Cache().colours;
}

void ForgetMediaBackgroundPattern()
{
    Cache() = MediaBackground();
}
