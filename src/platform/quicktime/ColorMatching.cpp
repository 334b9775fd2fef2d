#include "ColorMatching.h"

#include <lcms2.h>

#include <mutex>

namespace {

std::mutex gDisplayProfileMutex;
QByteArray gDisplayProfile;

struct ProfileCloser {
    void operator()(void* p) const
    {
        if (p)
            cmsCloseProfile(p);
    }
};
using ProfilePtr = std::unique_ptr<void, ProfileCloser>;

ProfilePtr OpenProfile(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return ProfilePtr(cmsCreate_sRGBProfile());
    return ProfilePtr(cmsOpenProfileFromMem(bytes.constData(), cmsUInt32Number(bytes.size())));
}

} // namespace

void SetDisplayColorProfile(const QByteArray& profile)
{
    std::lock_guard lock(gDisplayProfileMutex);
    gDisplayProfile = profile;
}

QByteArray DisplayColorProfile()
{
    std::lock_guard lock(gDisplayProfileMutex);
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
    cmsSetLogErrorHandler(nullptr);
    ProfilePtr source = OpenProfile(sourceProfile);
    ProfilePtr destination = OpenProfile(DisplayColorProfile());
    if (!source || !destination)
        return paramErr;
    if (cmsGetColorSpace(source.get()) != cmsSigRgbData && cmsGetColorSpace(source.get()) != cmsSigGrayData)
        return paramErr; // a CMYK or Lab profile does not describe these RGB pixels
    const bool gray = cmsGetColorSpace(source.get()) == cmsSigGrayData;
    // ARGB32 is B, G, R, A in memory on this little-endian machine.
    cmsHTRANSFORM transform = cmsCreateTransform(source.get(), gray ? TYPE_GRAYA_8 : TYPE_BGRA_8, destination.get(),
        TYPE_BGRA_8, INTENT_PERCEPTUAL, cmsFLAGS_COPY_ALPHA);
    if (!transform)
        return paramErr;
    const QImage::Format original = image.format();
    QImage work = image.convertToFormat(QImage::Format_ARGB32);
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
            cmsDoTransform(transform, g, out.scanLine(y), cmsUInt32Number(work.width()));
        }
    } else {
        for (int y = 0; y < work.height(); ++y)
            cmsDoTransform(transform, work.constScanLine(y), out.scanLine(y), cmsUInt32Number(work.width()));
    }
    cmsDeleteTransform(transform);
    image = out.convertToFormat(original == QImage::Format_Invalid ? QImage::Format_ARGB32_Premultiplied : original);
    return noErr;
}
