// The image metadata library lives in a module loaded at first use: a program
// that cannot load it tells so by its code and leaves files as they were.

#include "CANPAInfo.h"
#include "ExceptionCode.h"
#include "GraphicsErrors.h"
#include "GraphicsExporter.h"
#include "IPTCFileWriter.h"
#include "ImageMetadata.h"
#include "Offscreen.h"
#include "TestSupport.h"
#include "UserData.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

constexpr char kWithoutModule[] = "ORVEX_TEST_WITHOUT_METADATA_MODULE";

// This test program run again for `test` alone from a folder of its own, where
// the metadata module beside it is a file no loader takes; its exit code.
int RunWithBrokenModule(const QString& test)
{
    const QString folder = TestTempDir() + QStringLiteral("/program");
    QDir().mkpath(folder);
    const QString self = QCoreApplication::applicationFilePath();
    const QString program = folder + QLatin1Char('/') + QFileInfo(self).fileName();
    if (::link(QFile::encodeName(self).constData(), QFile::encodeName(program).constData()) != 0
        && !QFile::copy(self, program))
        return -1;
    QFile broken(folder + QStringLiteral("/orvex-metadata.so"));
    if (!broken.open(QIODevice::WriteOnly) || broken.write("not a module") < 0)
        return -1;
    broken.close();
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(kWithoutModule), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(program, {QStringLiteral("--gtest_filter=") + test});
    if (!child.waitForFinished(120000))
        return -1;
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

} // namespace

TEST(MetadataModule, WithoutItMetadataIsToldMissingAndNoFileIsWritten)
{
    EXPECT_EQ(RunWithBrokenModule(QStringLiteral("MetadataModule.BrokenModuleSide")), 0);
}

// The side of the test above that runs in the program whose module is broken.
TEST(MetadataModule, BrokenModuleSide)
{
    if (qEnvironmentVariableIsEmpty(kWithoutModule))
        GTEST_SKIP() << "run by WithoutItMetadataIsToldMissingAndNoFileIsWritten";
    const QString folder = TestTempDir();
    const QString photo = folder + QStringLiteral("/caption.jpg");
    ASSERT_TRUE(QFile::copy(TestDataPath(QStringLiteral("exiftool-images/IPTC.jpg")), photo));
    const QByteArray before = ReadWholeFile(photo);

    EXPECT_FALSE(CanCarryImageMetadata(photo));
    UserData items;
    EXPECT_EQ(ReadImageFileMetadata(photo, QStringLiteral("JPEG"), items), unresolvedComponentDLLErr);
    EXPECT_EQ(ImageMetadataReader(before).Read(QStringLiteral("JPEG"), items), unresolvedComponentDLLErr);
    EXPECT_TRUE(items.IsEmpty());

    // A caption: not read (the reason names the module), not written.
    try {
        CANPAInfo caption(QUrl::fromLocalFile(photo));
        ADD_FAILURE() << "a caption was read without the module";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), err_AssertFailed);
        EXPECT_NE(e.Context().find("orvex-metadata"), std::string::npos) << e.Context();
    }
    CANPAInfo caption;
    caption.SetHeadline(Str255("Harbour at dawn"));
    EXPECT_EQ(WriteCaptionIntoImageFile(photo, caption.GetDataHandle(EUrgencyForm::AsciiDigit)),
        unresolvedComponentDLLErr);
    EXPECT_EQ(ReadWholeFile(photo), before);

    // An export that carries metadata fails whole rather than dropping it.
    const QString exported = folder + QStringLiteral("/exported.jpg");
    std::unique_ptr<GraphicsExporter> exporter;
    ASSERT_EQ(GraphicsExporter::Open('JPEG', exporter), noErr);
    QImage pixels(16, 16, QImage::Format_RGB32);
    pixels.fill(Qt::darkCyan);
    exporter->SetInputOffscreen(Offscreen(pixels));
    exporter->SetOutputFile(exported);
    exporter->SetIPTCData(caption.GetDataHandle(EUrgencyForm::AsciiDigit));
    EXPECT_EQ(exporter->DoExport(), unresolvedComponentDLLErr);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("caption.jpg")});
}
