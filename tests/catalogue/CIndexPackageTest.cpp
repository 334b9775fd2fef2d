#include "CIndexPackage.h"
#include "ExceptionCode.h"
#include "ExtendedAttributes.h"
#include "CIndexModel.h"
#include "FileRef.h"
#include "Preferences.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>

namespace {

QString FreshDir(const QString& name)
{
    QString dir = TestTempDir() + QLatin1String("/package-") + name;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}


} // namespace

TEST(CIndexPackage, MissingPackageIsCreatedWithEmptyFoldersAndBundleBit)
{
    const QString dir = FreshDir("new");
    CIndexPackage package(QUrl::fromLocalFile(dir + "/Photos.idxp"), nullptr);

    EXPECT_EQ(package.GetPackageURL().toLocalFile(), dir + "/Photos.idxp/");
    EXPECT_EQ(package.GetIndexDbURL().toLocalFile(), dir + "/Photos.idxp/index.db");
    EXPECT_EQ(package.GetSettingsURL().toLocalFile(), dir + "/Photos.idxp/settings.xml");
    EXPECT_EQ(package.GetThumbsURL().toLocalFile(), dir + "/Photos.idxp/thumbs/");
    EXPECT_EQ(package.GetMediaURL().toLocalFile(), dir + "/Photos.idxp/media/");

    QDir created(dir + "/Photos.idxp");
    EXPECT_EQ(created.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        (QStringList {"media", "thumbs"}));
    EXPECT_TRUE(QDir(dir + "/Photos.idxp/thumbs").isEmpty());
    EXPECT_TRUE(QDir(dir + "/Photos.idxp/media").isEmpty());

    FinderInfo info;
    ASSERT_EQ(ReadFinderInfo(FileRef(dir + "/Photos.idxp"), info), noErr);
    EXPECT_TRUE(info.Flags() & kFinderFlagHasBundle);
}

TEST(CIndexPackage, ExistingPackageIsNeverRepaired)
{
    const QString dir = FreshDir("existing");
    QDir().mkpath(dir + "/Old.idxp");
    CIndexPackage package(QUrl::fromLocalFile(dir + "/Old.idxp/"), nullptr);
    EXPECT_TRUE(QDir(dir + "/Old.idxp").isEmpty());
    FinderInfo info;
    EXPECT_EQ(ReadFinderInfo(FileRef(dir + "/Old.idxp"), info), resNotFound);
}

TEST(CIndexPackage, PackageInMissingFolderFailsWithAssert)
{
    const QString dir = FreshDir("nowhere");
    try {
        CIndexPackage package(QUrl::fromLocalFile(dir + "/missing/deeper/X.idxp"), nullptr);
        FAIL();
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), err_AssertFailed);
    }
    EXPECT_THROW(CIndexPackage remote(QUrl(QStringLiteral("http://host/x.idxp")), nullptr), ExceptionCode);
}

TEST(CIndexPackage, ThumbnailNumbersCountUpFromOne)
{
    CIndexPackage package(QUrl::fromLocalFile(FreshDir("thumbs") + "/T.idxp"), nullptr);
    EXPECT_EQ(package.NextThumbID(), 1);
    EXPECT_EQ(package.NextThumbID(), 2);
    EXPECT_EQ(package.NextThumbID(), 3);
    EXPECT_EQ(package.GetLastThumbID(), 4);
    package.SetLastThumbID(41);
    EXPECT_EQ(package.NextThumbID(), 41);
}

TEST(CIndexPackage, MediaOptionsComeFromThePreferencesAtConstruction)
{
    const QString dir = FreshDir("options");
    SetPrefBoolean("IndexStoreMediaFile", true);
    SetPrefBoolean("IndexRemoveMediaFile", false);
    CIndexPackage storing(QUrl::fromLocalFile(dir + "/A.idxp"), nullptr);
    SetPrefBoolean("IndexStoreMediaFile", false);
    SetPrefBoolean("IndexRemoveMediaFile", true);
    CIndexPackage removing(QUrl::fromLocalFile(dir + "/B.idxp"), nullptr);
    EXPECT_TRUE(storing.IsStoreMediaFile());
    EXPECT_FALSE(storing.IsRemoveMediaFile());
    EXPECT_FALSE(removing.IsStoreMediaFile());
    EXPECT_TRUE(removing.IsRemoveMediaFile());
    SetPrefDefault("IndexStoreMediaFile");
    SetPrefDefault("IndexRemoveMediaFile");
}

TEST(CIndexPackage, FilesToRemoveGoToTheIndexModelOnly)
{
    const QString dir = FreshDir("remove");
    CIndexPackage orphan(QUrl::fromLocalFile(dir + "/A.idxp"), nullptr);
    orphan.AddFileToRemove(QUrl::fromLocalFile("/tmp/x.jpg")); // no owner: nothing happens

    CIndexModel model;
    CIndexPackage owned(QUrl::fromLocalFile(dir + "/B.idxp"), &model);
    owned.AddFileToRemove(QUrl());
    owned.AddFileToRemove(QUrl::fromLocalFile("/tmp/y.jpg"));
    ASSERT_EQ(model.GetPendingDeletions().size(), 1u);
    EXPECT_EQ(model.GetPendingDeletions()[0].toLocalFile(), "/tmp/y.jpg");
}

TEST(CIndexPackage, StoredNamesMustStayInsideMedia)
{
    CIndexPackage package(QUrl::fromLocalFile(FreshDir("stored") + "/S.idxp"), nullptr);
    EXPECT_EQ(package.StoredMediaURL("IMG 1.JPG").toLocalFile(), package.GetMediaURL().toLocalFile() + "IMG 1.JPG");
    for (const char* hostile : {"", ".", "..", "../index.db", "a/b.jpg", "/etc/passwd", "..\0x"})
        EXPECT_TRUE(package.StoredMediaURL(QString::fromUtf8(hostile)).isEmpty()) << hostile;
}
