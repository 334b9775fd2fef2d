#include "PreferenceDomain.h"

#include "ErrorHook.h"
#include "PropertyList.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QSize>
#include <QStandardPaths>

#include <unistd.h>

namespace {

QString FreshDomainPath(const char* name)
{
    const QString dir = TestTempDir() + QLatin1Char('/') + QLatin1String(name);
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir + QStringLiteral("/org.orvex.Orvex.plist");
}

} // namespace

TEST(PreferenceDomain, ApplicationDomainLivesUnderTheConfigFolder)
{
    EXPECT_EQ(PreferenceDomain::ApplicationDomainPath(),
              QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                  + QStringLiteral("/orvex/org.orvex.Orvex.plist"));
}

TEST(PreferenceDomain, WrittenDomainReadsBackInAFreshInstance)
{
    const QString path = FreshDomainPath("reload");
    {
        PreferenceDomain domain(path);
        EXPECT_TRUE(domain.Values().isEmpty()); // no file yet: an empty domain
        domain.SetValue(QStringLiteral("Number"), QVariant::fromValue<qint32>(42));
        domain.SetValue(QStringLiteral("Alias"), QByteArray("\x00\x01\x02", 3));
        domain.SetValue(QStringLiteral("Gone"), true);
        domain.SetValue(QStringLiteral("Gone"), QVariant());
        domain.SetValue(QStringLiteral("NotAListValue"), QVariant::fromValue(QSize(1, 2)));
        EXPECT_FALSE(domain.Contains(QStringLiteral("NotAListValue")));
        ASSERT_EQ(domain.Synchronize(), noErr);
    }
    PreferenceDomain second(path);
    EXPECT_EQ(second.Value(QStringLiteral("Number")).toLongLong(), 42);
    EXPECT_EQ(second.Value(QStringLiteral("Alias")).toByteArray(), QByteArray("\x00\x01\x02", 3));
    EXPECT_FALSE(second.Contains(QStringLiteral("Gone")));

    // The file is the platform's XML form of the dictionary.
    EXPECT_EQ(ReadWholeFile(path), PropertyList::ToXML(second.Values()));
}

TEST(PreferenceDomain, AWriteInTheBackgroundLandsInOrderWithTheWritesAfterIt)
{
    const QString path = FreshDomainPath("background");
    const QString key = QStringLiteral("Step");
    auto stored = [&] { return PreferenceDomain(path).Value(key).toInt(); };
    {
        PreferenceDomain domain(path);
        domain.SetValue(key, 1);
        domain.SynchronizeSoon();
    } // a domain let go waits for its write
    EXPECT_EQ(stored(), 1);

    PreferenceDomain domain(path);
    domain.SetValue(key, 2);
    domain.SynchronizeSoon();
    domain.SetValue(key, 3);
    ASSERT_EQ(domain.Synchronize(), noErr);
    EXPECT_EQ(stored(), 3) << "an earlier background write landed after a later write";

    for (int step = 4; step <= 6; ++step) {
        domain.SetValue(key, step);
        domain.SynchronizeSoon();
    }
    domain.SetValue(key, 7); // in memory only
    EXPECT_EQ(domain.Reload(), noErr);
    EXPECT_EQ(domain.Value(key).toInt(), 6) << "the last request is the one written";
}

TEST(PreferenceDomain, CorruptFileIsKeptAsideAndReported)
{
    const QString path = FreshDomainPath("corrupt");
    const QByteArray damaged = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>A</key>";
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(damaged);
    }
    OSStatus reported = noErr;
    std::string reason;
    SetErrorReportHook([&](const ExceptionCode& error) {
        reported = error.Code();
        reason = error.Context();
    });

    PreferenceDomain domain(path);
    EXPECT_FALSE(domain.Contains(QStringLiteral("A")));
    EXPECT_EQ(domain.LoadStatus(), PropertyList::kErrMalformed);
    EXPECT_EQ(reported, PropertyList::kErrMalformed);
    EXPECT_NE(reason.find(path.toStdString()), std::string::npos) << "the report names the file";
    ASSERT_FALSE(domain.CorruptFileKeptAs().isEmpty());
    EXPECT_TRUE(domain.CorruptFileKeptAs().startsWith(path + QStringLiteral(".corrupt-")));
    EXPECT_EQ(ReadWholeFile(domain.CorruptFileKeptAs()), damaged);
    EXPECT_FALSE(QFile::exists(path));

    // The fresh domain can be written; the damaged copy stays as it was.
    domain.SetValue(QStringLiteral("B"), 1);
    EXPECT_EQ(domain.Synchronize(), noErr);
    EXPECT_EQ(ReadWholeFile(domain.CorruptFileKeptAs()), damaged);
    SetErrorReportHook(nullptr);
}

TEST(PreferenceDomain, TopLevelThatIsNotADictionaryCountsAsCorrupt)
{
    const QString path = FreshDomainPath("notdict");
    ASSERT_EQ(PropertyList::WriteFile(path, QVariantList { 1 }), noErr);
    PreferenceDomain domain(path);
    EXPECT_TRUE(domain.Values().isEmpty());
    EXPECT_EQ(domain.LoadStatus(), PropertyList::kErrMalformed);
    EXPECT_FALSE(domain.CorruptFileKeptAs().isEmpty());
}

TEST(PreferenceDomain, UnreadableFileIsNeverReplacedByAnEmptyDomain)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "file permissions do not bind root";
    const QString path = FreshDomainPath("unreadable");
    ASSERT_EQ(PropertyList::WriteFile(path, QVariantMap { { QStringLiteral("Keep"), true } }), noErr);
    const QByteArray before = ReadWholeFile(path);
    QFile::setPermissions(path, QFileDevice::WriteOwner);

    PreferenceDomain domain(path);
    domain.SetValue(QStringLiteral("Other"), 1);
    EXPECT_NE(domain.Synchronize(), noErr);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(ReadWholeFile(path), before);
}

TEST(PreferenceDomain, AFullDiskKeepsTheOldPreferencesAndReportsIt)
{
    const QString path = FreshDomainPath("fulldisk");
    {
        PreferenceDomain domain(path);
        domain.SetValue(QStringLiteral("Kept"), QStringLiteral("yes"));
        ASSERT_EQ(domain.Synchronize(), noErr);
    }
    const QByteArray old = ReadWholeFile(path);
    ASSERT_FALSE(old.isEmpty());

    // The old file is a few hundred bytes; the new one cannot fit in the room left.
    const QString folder = QFileInfo(path).path();
    for (FullDisk kind : kFullDisks) {
        SCOPED_TRACE(FullDiskName(kind));
        const auto result = RunOnFullDisk(kind, folder, old.size() + 100, [&] {
            PreferenceDomain domain(path);
            domain.SetValue(QStringLiteral("Big"), QString(20000, QLatin1Char('x')));
            return qint32(domain.Synchronize());
        });
        ASSERT_TRUE(result);
        EXPECT_EQ(*result, -34); // disk full, not success
        EXPECT_EQ(ReadWholeFile(path), old);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList { QFileInfo(path).fileName() });
        PreferenceDomain reread(path);
        EXPECT_EQ(reread.Value(QStringLiteral("Kept")).toString(), QStringLiteral("yes"));
    }
}
