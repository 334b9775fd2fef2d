// libFuzzer target for the font file reader: any bytes as a font file (an outline
// font, a collection or a suitcase's resource map in its data fork) and as the
// AppleDouble companion that carries a suitcase's resource fork beside an empty
// file. Fonts that open are activated and given back, as the font medium does.
#include "FontFile.h"
#include "FuzzEntry.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

namespace {

QTemporaryDir& Folder()
{
    static QTemporaryDir folder;
    return folder;
}

void Write(const QString& path, const uint8_t* data, size_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        abort();
    if (file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        abort();
}

void OpenAndActivate(const QString& path)
{
    try {
        const auto font = FontFile::Open(path);
        (void)font->FamilyName();
    } catch (const ExceptionCode&) {
        return;
    }
    if (ActivateFontFile(path) == noErr)
        DeactivateFontFile(path);
}

void Run(const uint8_t* data, size_t size)
{
    const QString font = Folder().filePath(QStringLiteral("Font.dfont"));
    Write(font, data, size);
    OpenAndActivate(font);

    const QString bare = Folder().filePath(QStringLiteral("Bare"));
    Write(bare, nullptr, 0);
    Write(Folder().filePath(QStringLiteral("._Bare")), data, size);
    OpenAndActivate(bare);
}

} // namespace

ORVEX_FUZZ_ENTRY(Run)

// Activation goes through the application's font database.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    StartLifelongApplication<QGuiApplication>(argc, argv);
    if (!Folder().isValid())
        abort();
    return 0;
}
