#include "Movie.h"

#include "ExceptionCode.h"
#include "GraphicsErrors.h"
#include "Modules.h"

// Movie.cpp's entry, when it is linked into the program rather than loaded.
extern "C" const MovieOpeners* OrvexMovieOpeners(const std::atomic<qint64>* imageLimit) __attribute__((weak));

namespace {

const MovieOpeners& Openers()
{
    static std::string error;
    static const MovieOpeners* const openers = ModuleTable(OrvexMovieOpeners, "orvex-movie", "OrvexMovieOpeners",
        error, static_cast<const std::atomic<qint64>*>(&gMaxDecodedImageBytes));
    if (!openers)
        ThrowOSErr_(cantFindHandler, "movies cannot be read: " + error);
    return *openers;
}

} // namespace

std::unique_ptr<Movie> Movie::Open(const QString& location)
{
    return Openers().open(location);
}

std::unique_ptr<Movie> Movie::OpenData(const QByteArray& data, const QString& location)
{
    return Openers().openData(data, location);
}

std::unique_ptr<Movie> Movie::OpenPCM(const QString& path, int bytesPerSample, int sampleRate, int channels)
{
    return Openers().openPCM(path, bytesPerSample, sampleRate, channels);
}
