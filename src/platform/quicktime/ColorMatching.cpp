#include "ColorMatching.h"

#include "ImageBands.h"
#include "Modules.h"

#include <QGuiApplication>
#include <lcms2.h>
#include <xcb/xcb.h>

#include <map>
#include <memory>
#include <mutex>

namespace {

// LittleCMS, loaded at the first picture matched to the display rather than at start.
struct LcmsFunctions {
    decltype(&cmsCloseProfile) CloseProfile = nullptr;
    decltype(&cmsCreate_sRGBProfile) Create_sRGBProfile = nullptr;
    decltype(&cmsOpenProfileFromMem) OpenProfileFromMem = nullptr;
    decltype(&cmsDeleteTransform) DeleteTransform = nullptr;
    decltype(&cmsGetColorSpace) GetColorSpace = nullptr;
    decltype(&cmsCreateTransform) CreateTransform = nullptr;
    decltype(&cmsSetLogErrorHandler) SetLogErrorHandler = nullptr;
    decltype(&cmsDoTransform) DoTransform = nullptr;
    bool loaded = false;
};

const LcmsFunctions& Lcms()
{
    static const LcmsFunctions functions = [] {
        LcmsFunctions f;
        std::string error;
        f.loaded = LoadLibraryFunctions("liblcms2.so.2", error, [&f](void* library) {
            return ORVEX_LIBRARY_FUNCTION(f, library, cms, CloseProfile)
                && ORVEX_LIBRARY_FUNCTION(f, library, cms, Create_sRGBProfile)
                && ORVEX_LIBRARY_FUNCTION(f, library, cms, OpenProfileFromMem)
                && ORVEX_LIBRARY_FUNCTION(f, library, cms, DeleteTransform)
                && ORVEX_LIBRARY_FUNCTION(f, library, cms, GetColorSpace)
                && ORVEX_LIBRARY_FUNCTION(f, library, cms, CreateTransform)
                && ORVEX_LIBRARY_FUNCTION(f, library, cms, SetLogErrorHandler)
                && ORVEX_LIBRARY_FUNCTION(f, library, cms, DoTransform);
        });
        return f;
    }();
    return functions;
}

std::mutex gDisplayProfileMutex;
QByteArray gDisplayProfile;
bool gDesktopAsked = false;

// X11 desktops publish the display's profile in the root window's _ICC_PROFILE
// property (the freedesktop colour-management convention); elsewhere there is none.
QByteArray DesktopDisplayProfile()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return {};
    const char name[] = "_ICC_PROFILE";
    xcb_intern_atom_reply_t* atom
        = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof name - 1, name), nullptr);
    if (!atom)
        return {};
    QByteArray profile;
    if (atom->atom != XCB_ATOM_NONE) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        // At most 4 MB of profile (the length is in 32-bit units).
        xcb_get_property_reply_t* reply = xcb_get_property_reply(connection,
            xcb_get_property(connection, 0, screen->root, atom->atom, XCB_ATOM_ANY, 0, 1024 * 1024), nullptr);
        if (reply) {
            profile = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                xcb_get_property_value_length(reply));
            free(reply);
        }
    }
    free(atom);
    return profile;
}

struct ProfileCloser {
    void operator()(void* p) const
    {
        if (p)
            Lcms().CloseProfile(p);
    }
};
using ProfilePtr = std::unique_ptr<void, ProfileCloser>;

// Null without LittleCMS: no profile is usable and no picture is matched.
ProfilePtr OpenProfile(const QByteArray& bytes)
{
    if (!Lcms().loaded)
        return nullptr;
    if (bytes.isEmpty())
        return ProfilePtr(Lcms().Create_sRGBProfile());
    return ProfilePtr(Lcms().OpenProfileFromMem(bytes.constData(), cmsUInt32Number(bytes.size())));
}

// A transform from one source profile to the display, made once and shared by
// every thread that matches pictures with that profile. Made without LittleCMS's
// one-pixel cache, which is the only state a transform changes while it runs.
struct SharedTransform {
    cmsHTRANSFORM handle = nullptr;
    bool gray = false;
    ~SharedTransform()
    {
        if (handle)
            Lcms().DeleteTransform(handle);
    }
};

constexpr std::size_t kMaxCachedTransforms = 32; // camera files use a handful of profiles

std::mutex gTransformMutex;
std::map<QByteArray, std::shared_ptr<SharedTransform>> gTransforms; // by source and display profile bytes

// Null when the profiles cannot make a transform for RGB or gray pixels.
std::shared_ptr<SharedTransform> TransformToDisplay(const QByteArray& sourceProfile)
{
    const QByteArray display = DisplayColorProfile();
    QByteArray key = sourceProfile;
    key += '\0';
    key += display;
    std::lock_guard lock(gTransformMutex);
    if (auto found = gTransforms.find(key); found != gTransforms.end())
        return found->second;
    ProfilePtr source = OpenProfile(sourceProfile);
    ProfilePtr destination = OpenProfile(display);
    std::shared_ptr<SharedTransform> made;
    if (source && destination
        && (Lcms().GetColorSpace(source.get()) == cmsSigRgbData || Lcms().GetColorSpace(source.get()) == cmsSigGrayData)) {
        // A CMYK or Lab profile does not describe these RGB pixels.
        made = std::make_shared<SharedTransform>();
        made->gray = Lcms().GetColorSpace(source.get()) == cmsSigGrayData;
        // ARGB32 is B, G, R, A in memory on this little-endian machine.
        made->handle = Lcms().CreateTransform(source.get(), made->gray ? TYPE_GRAYA_8 : TYPE_BGRA_8, destination.get(),
            TYPE_BGRA_8, INTENT_PERCEPTUAL, cmsFLAGS_COPY_ALPHA | cmsFLAGS_NOCACHE);
        if (!made->handle)
            made.reset();
    }
    if (gTransforms.size() >= kMaxCachedTransforms)
        gTransforms.clear();
    gTransforms.emplace(std::move(key), made); // a profile that failed is not tried again either
    return made;
}

} // namespace

void SetDisplayColorProfile(const QByteArray& profile)
{
    std::lock_guard lock(gDisplayProfileMutex);
    gDisplayProfile = profile;
    gDesktopAsked = true;
}

QByteArray DisplayColorProfile()
{
    std::lock_guard lock(gDisplayProfileMutex);
    if (!gDesktopAsked && gDisplayProfile.isEmpty()) {
        gDesktopAsked = true;
        QByteArray published = DesktopDisplayProfile();
        if (IsUsableColorProfile(published))
            gDisplayProfile = published;
    }
    return gDisplayProfile;
}

bool IsUsableColorProfile(const QByteArray& profile)
{
    return !profile.isEmpty() && OpenProfile(profile) != nullptr;
}

OSStatus MatchImageToDisplay(QImage& image, const QByteArray& sourceProfile)
{
    if (image.isNull() || sourceProfile.isEmpty())
        return paramErr;
    if (!Lcms().loaded)
        return paramErr;
    Lcms().SetLogErrorHandler(nullptr);
    const std::shared_ptr<SharedTransform> shared = TransformToDisplay(sourceProfile);
    if (!shared)
        return paramErr;
    cmsHTRANSFORM transform = shared->handle;
    const bool gray = shared->gray;
    const QImage::Format original = image.format();
    // Converted in bands: thumbnails are matched on worker threads.
    QImage work = ConvertedInBands(image, QImage::Format_ARGB32);
    QImage out(work.size(), QImage::Format_ARGB32);
    if (gray) {
        // Gray profiles take the luminance (the image's green channel stands in for it).
        QImage grayAlpha(work.width() * 2, work.height(), QImage::Format_Grayscale8);
        for (int y = 0; y < work.height(); ++y) {
            const QRgb* in = reinterpret_cast<const QRgb*>(work.constScanLine(y));
            uchar* g = grayAlpha.scanLine(y);
            for (int x = 0; x < work.width(); ++x) {
                g[2 * x] = uchar(qGreen(in[x]));
                g[2 * x + 1] = uchar(qAlpha(in[x]));
            }
            Lcms().DoTransform(transform, g, out.scanLine(y), cmsUInt32Number(work.width()));
        }
    } else {
        for (int y = 0; y < work.height(); ++y)
            Lcms().DoTransform(transform, work.constScanLine(y), out.scanLine(y), cmsUInt32Number(work.width()));
    }
    image = ConvertedInBands(out, original == QImage::Format_Invalid ? QImage::Format_ARGB32_Premultiplied : original);
    return noErr;
}
