#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "FileErrors.h"
#include "ScriptRoutines.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

TEST(CompleteURLText, TypedAddressesBecomeUrls)
{
    EXPECT_EQ(CompleteURLText(QStringLiteral("apple")), QStringLiteral("http://www.apple.com"));
    EXPECT_EQ(CompleteURLText(QStringLiteral("www.orvex.org")), QStringLiteral("http://www.orvex.org"));
    EXPECT_EQ(CompleteURLText(QStringLiteral("FTP.Orvex.org")), QStringLiteral("ftp://FTP.Orvex.org"));
    EXPECT_EQ(CompleteURLText(QStringLiteral("nntp.host.org")), QStringLiteral("news://nntp.host.org"));
    EXPECT_EQ(CompleteURLText(QStringLiteral("NEWS.host.org")), QStringLiteral("news://NEWS.host.org"));
    EXPECT_EQ(CompleteURLText(QStringLiteral("me@orvex.org")), QStringLiteral("mailto:me@orvex.org"));
    EXPECT_EQ(CompleteURLText(QStringLiteral("MAILTO:me@orvex.org")), QStringLiteral("MAILTO:me@orvex.org"));
    EXPECT_EQ(CompleteURLText(QStringLiteral("https://orvex.org/a")), QStringLiteral("https://orvex.org/a"));
    // A dotted host name is a web address, not a mail link.
    EXPECT_EQ(CompleteURLText(QStringLiteral("orvex.org")), QStringLiteral("http://orvex.org"));
    EXPECT_EQ(CompleteURLText(QStringLiteral("orvex.org/path")), QStringLiteral("http://orvex.org/path"));
    EXPECT_EQ(LaunchURL(QStringLiteral("   ")), kErrInternetConfigUnavailable);
}

TEST(Scripts, RunsExecutableScriptsAndKeepsTheirOutputOnFailure)
{
    FileRef dir = FreshFolder(QStringLiteral("scripts"));
    FileRef ok = WriteFile(dir, QStringLiteral("ok.sh"), "#!/bin/sh\necho \"ran in $(basename \"$PWD\")\"\n");
    FileRef bad = WriteFile(dir, QStringLiteral("bad.sh"), "#!/bin/sh\necho partial\necho broken >&2\nexit 3\n");
    FileRef plain = WriteFile(dir, QStringLiteral("plain.txt"), "not a script");
    for (const FileRef& f : {ok, bad})
        QFile::setPermissions(f.Path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    GOSAScript script;
    EXPECT_THROW(script.Execute(), ExceptionCode);
    EXPECT_EQ(script.LoadFromFile(dir.Child(QStringLiteral("none.sh"))), fnfErr);
    EXPECT_EQ(script.LoadFromFile(dir), permErr);
    ASSERT_EQ(script.LoadFromFile(ok), noErr);
    EXPECT_EQ(script.Execute(), QStringLiteral("ran in scripts\n"));

    GOSAScript failing;
    ASSERT_EQ(failing.LoadFromFile(bad), noErr);
    try {
        failing.Run();
        ADD_FAILURE() << "a failing script must throw";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), kErrScriptFailed);
    }
    EXPECT_EQ(failing.LastOutput(), QStringLiteral("partial\nbroken\n"));
    (void)plain;
}

TEST(Scripts, FolderBesideTheProgramIsMadeOnceAndFoundAgain)
{
    FileRef folder;
    ASSERT_EQ(FindOrCreateFolderBesideApp(QStringLiteral("Scripts"), folder), noErr);
    EXPECT_TRUE(folder.IsFolder());
    EXPECT_TRUE(folder.Path().endsWith(QLatin1String("/orvex/Scripts")));
    WriteFile(folder, QStringLiteral("keep.sh"), "x");
    FileRef again;
    ASSERT_EQ(FindOrCreateFolderBesideApp(QStringLiteral("Scripts"), again), noErr);
    EXPECT_EQ(again, folder);
    EXPECT_TRUE(again.Child(QStringLiteral("keep.sh")).Exists());
    EXPECT_EQ(FindOrCreateFolderBesideApp(QStringLiteral("../x"), again), bdNamErr);
}
