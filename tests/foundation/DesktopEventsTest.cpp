#include "DesktopEvents.h"
#include "DesktopServices.h"
#include "FileErrors.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

TEST(DesktopEvents, ApplicationForCreatorIsOrvexOrTheDesktopDefault)
{
    // A desktop entry and a default for a MIME type of our own, in this test's own
    // data and configuration folders, as the desktop would register them.
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    ASSERT_TRUE(data.startsWith(QDir::tempPath()));
    QDir().mkpath(data + QLatin1String("/applications"));
    QFile entry(data + QLatin1String("/applications/orvex-test-viewer.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Test Viewer\nExec=true %U\nMimeType=image/png;\n");
    entry.close();
    QFile defaults(config + QLatin1String("/mimeapps.list"));
    ASSERT_TRUE(defaults.open(QIODevice::WriteOnly));
    defaults.write("[Default Applications]\nimage/png=orvex-test-viewer.desktop\n");
    defaults.close();

    EXPECT_EQ(GetApplicationForCreator(kOrvexCreator, 'PNGf'), QString::fromLatin1(kOrvexApplicationID));
    EXPECT_EQ(GetApplicationForCreator('8BIM', 'PNGf'), QStringLiteral("orvex-test-viewer.desktop"));
    EXPECT_EQ(DefaultApplicationForMimeType(QStringLiteral("image/png")), QStringLiteral("orvex-test-viewer.desktop"));

    FileRef root = FreshFolder(QStringLiteral("desktop-events"));
    FileRef file = WriteFile(root, QStringLiteral("a.png"), "x");
    EXPECT_EQ(SendOpenDocumentsEvent(QStringLiteral("orvex-test-viewer.desktop"), {file}), noErr);
    EXPECT_EQ(SendOpenDocumentsEvent(QStringLiteral("no-such-app.desktop"), {file}), fnfErr);
    EXPECT_EQ(SendOpenDocumentsEvent(QStringLiteral("orvex-test-viewer.desktop"), {root.Child(QStringLiteral("none"))}),
        fnfErr);

    FileRef parent;
    ASSERT_EQ(GetParentFolderSpec(file, parent), noErr);
    EXPECT_EQ(parent, root);
    EXPECT_EQ(RevealOrOpenInFinder(root.Child(QStringLiteral("none")), true), fnfErr);
}
