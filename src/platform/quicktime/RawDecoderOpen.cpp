#include "RawDecoder.h"

#include "ExceptionCode.h"
#include "GraphicsErrors.h"
#include "Modules.h"

// RawDecoder.cpp's entry, when it is linked into the program rather than loaded.
extern "C" const RawDecoder::Functions* OrvexRawDecoder() __attribute__((weak));

namespace RawDecoder {

namespace {

// The module's functions; nullptr when it cannot be loaded.
const Functions* Loaded(std::string& error)
{
    static std::string loadError;
    static const Functions* const functions = ModuleTable(OrvexRawDecoder, "orvex-raw", "OrvexRawDecoder", loadError);
    error = loadError;
    return functions;
}

const Functions& Needed()
{
    std::string error;
    const Functions* functions = Loaded(error);
    if (!functions)
        ThrowOSErr_(cantFindHandler, "camera raw files cannot be read: " + error);
    return *functions;
}

} // namespace

Identity Identify(const QString& path)
{
    return Needed().identify(path);
}

Preview ExtractPreview(const QString& path)
{
    return Needed().extractPreview(path);
}

QImage Decode(const QString& path, const Options& options, bool fullSize, const std::function<bool()>& cancel)
{
    return Needed().decode(path, options, fullSize, cancel);
}

// Without the module nothing decodes: there is nothing to cancel, limit or count.
void RequestCancel()
{
    std::string error;
    if (const Functions* functions = Loaded(error))
        functions->requestCancel();
}

bool IsCancelRequested()
{
    std::string error;
    const Functions* functions = Loaded(error);
    return functions && functions->isCancelRequested();
}

void SetTimeLimits(int identifyMilliseconds, int decodeMilliseconds)
{
    std::string error;
    if (const Functions* functions = Loaded(error))
        functions->setTimeLimits(identifyMilliseconds, decodeMilliseconds);
}

int AbandonedCount()
{
    std::string error;
    const Functions* functions = Loaded(error);
    return functions ? functions->abandonedCount() : 0;
}

} // namespace RawDecoder
