#include "TaskTestSupport.h"

#include "AliasRecord.h"
#include "CGetRemoteFileTask.h"
#include "CGetRemoteFolderTask.h"
#include "CInternetTask.h"
#include "CPutRemoteFileTask.h"
#include "LControl.h"
#include "LocalizedStrings.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FileRef.h"
#include "Keychain.h"
#include "NetTestServers.h"
#include "RemoteNames.h"
#include "RemoteTransfer.h"

#include "AlertAnswer.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray Pattern(qsizetype size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(seed + i * 7 % 251);
    return bytes;
}

// What was reported: the code (from the error log) and the alert type.
struct Report {
    QString code;
    SInt32 alertType = -1;
};

class InternetTaskTest : public TaskTest {
protected:
    static QString ServerRoot()
    {
        static QTemporaryDir root;
        return root.path();
    }
    static LocalServer& Http()
    {
        static LocalServer server(QStringLiteral("http_server.py"), ServerRoot());
        return server;
    }
    static LocalServer& Ftp()
    {
        static LocalServer server(QStringLiteral("ftp_server.py"), ServerRoot());
        return server;
    }
    // A server no earlier test has used: pyftpdlib stops answering a new connection when
    // the active-mode data channel of an older one closes and unregisters its reused descriptor.
    static LocalServer& FreshFtp()
    {
        static LocalServer server(QStringLiteral("ftp_server.py"), ServerRoot());
        return server;
    }
    static LocalServer& SlowFtp()
    {
        static LocalServer server(QStringLiteral("ftp_server.py"), ServerRoot(), {QStringLiteral("--rate"), QStringLiteral("2000000")});
        return server;
    }

    void SetUp() override
    {
        TaskTest::SetUp();
        downloads = UseTestDownloadFolder();
        SetPrefBoolean(QStringLiteral("AutoCreateThumbnail"), false);
        SetErrorNotificationPoster([this](const SErrorReport& report) {
            alertTypes.push_back(report.alertType);
            // What the alert says, as the error manager shows it.
            shownTexts.push_back(report.text.isEmpty() ? CopyLocalizedCFString(report.listID, report.messageIndex) : report.text);
        });
    }
    void TearDown() override
    {
        TerminateTasks();
        SetErrorNotificationPoster({});
        owner_.DeleteItems();
        for (const char* key : {"DownloadFolderAlias", "AutoCreateThumbnail", "FTPPassiveMode",
                 "NumberParallelDownloads", "DownloadFiles"})
            SetPrefDefault(QString::fromLatin1(key));
        TaskTest::TearDown();
    }

    std::vector<Report> Reports() const
    {
        std::vector<Report> reports;
        static const QRegularExpression kCode(QStringLiteral("error (\\S+?):"));
        const QStringList lines = log.Lines();
        for (qsizetype i = 0; i < lines.size() && i < qsizetype(alertTypes.size()); ++i)
            reports.push_back({kCode.match(lines[i]).captured(1), alertTypes[size_t(i)]});
        return reports;
    }

    static CInternetTask* Newest()
    {
        auto all = CVisualTask::GetAllTasks();
        return all.empty() ? nullptr : dynamic_cast<CInternetTask*>(all.back());
    }
    static bool WaitGone(CVisualTask* task, SInt32 ms = 30000)
    {
        return RunUntil([task] { return !CVisualTask::IsAlive(task); }, ms);
    }

    // An item for a local copy of a remote file.
    CIndexItem* ItemWithCopy(const QString& path, const QUrl& remote)
    {
        auto* item = new CIndexItem(FileRef(path));
        item->SetRemoteURL(remote);
        owner_.model.InsertItem(item, kInsertAtEnd);
        return item;
    }
    // Downloads the URL as a new file and answers its path ("" when it failed).
    QString DownloadNew(const QUrl& url)
    {
        StartDownloadTaskForURL(url, nullptr, &owner_.model, nullptr);
        auto* task = dynamic_cast<CGetRemoteFileTask*>(Newest());
        if (!task)
            return {};
        const QString path = task->GetLocalPath();
        EXPECT_TRUE(WaitGone(task));
        return QFile::exists(path) ? path : QString();
    }
    QStringList DownloadedNames() const { return QDir(downloads).entryList(QDir::Files | QDir::Hidden); }

    QString downloads;
    std::vector<SInt32> alertTypes;
    QStringList shownTexts;
    StLogCapture log {"orvex.errors"};
};

TEST_F(InternetTaskTest, FactoriesMakeTheTaskOfEachSchemeAndPath)
{
    struct Case {
        const char* url;
        const char* made; // the class, or "" for none
    };
    const Case cases[] = {
        {"ftp://127.0.0.1:1/pics/a.jpg", "file"},
        {"ftp://127.0.0.1:1/pics/", "ftp folder"},
        {"http://127.0.0.1:1/pics/a.jpg", "file"},
        {"http://127.0.0.1:1/pics/", "http folder"},
        {"https://127.0.0.1:1/a.jpg", "file"},
        {"mailto:someone@example.com", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const size_t before = CVisualTask::GetAllTasks().size();
        StartDownloadTaskForURL(QUrl(QString::fromLatin1(c.url)), nullptr, &owner_.model, nullptr);
        const auto all = CVisualTask::GetAllTasks();
        if (!*c.made) {
            EXPECT_EQ(all.size(), before);
            continue;
        }
        ASSERT_EQ(all.size(), before + 1);
        if (QLatin1String(c.made) == QLatin1String("ftp folder"))
            EXPECT_TRUE(dynamic_cast<CGetFTPFolderTask*>(all.back()));
        else if (QLatin1String(c.made) == QLatin1String("http folder"))
            EXPECT_TRUE(dynamic_cast<CGetHTTPFolderTask*>(all.back()));
        else
            EXPECT_TRUE(dynamic_cast<CGetRemoteFileTask*>(all.back()));
        all.back()->Stop();
    }

    CIndexItem item(QUrl(QStringLiteral("http://127.0.0.1:1/pics/index.html")));
    item.SetRemoteURL(QUrl(QStringLiteral("http://127.0.0.1:1/pics/")));
    CInternetTask* folder = StartDownloadTaskForItem(&owner_.model, &item);
    EXPECT_TRUE(dynamic_cast<CGetHTTPFolderTask*>(folder));
    folder->Stop();
    item.SetRemoteURL(QUrl(QStringLiteral("ftp://127.0.0.1:1/pics/")));
    EXPECT_EQ(CatchCode([&] { StartDownloadTaskForItem(&owner_.model, &item); }), 1);
    item.SetRemoteURL(QUrl());
    EXPECT_EQ(CatchCode([&] { StartDownloadTaskForItem(&owner_.model, &item); }), err_NilPointer);

    const size_t before = CVisualTask::GetAllTasks().size();
    const QByteArray alias;
    StartUploadTaskForURL(QUrl(QStringLiteral("http://127.0.0.1:1/up/")), &alias);
    EXPECT_EQ(CVisualTask::GetAllTasks().size(), before);
    EXPECT_TRUE(IsFolderURL(QUrl(QStringLiteral("ftp://h/a/"))));
    EXPECT_FALSE(IsFolderURL(QUrl(QStringLiteral("ftp://h/a"))));
    EXPECT_FALSE(IsFolderURL(QUrl(QStringLiteral("ftp://h"))));
    // A cancelled file task leaves no empty file behind.
    EXPECT_TRUE(DownloadedNames().isEmpty()) << DownloadedNames().join(", ").toStdString();
}

TEST_F(InternetTaskTest, RemoteNamesBecomeSafeLocalNames)
{
    struct Case {
        const char* url;
        const char* name;
    };
    const Case cases[] = {
        {"ftp://h/pics/a%20b.jpg", "a b.jpg"},
        {"ftp://h/pics/c%231.jpg", "c#1.jpg"},
        {"ftp://h/pics/100%25.jpg", "100%.jpg"},
        {"ftp://h/pics/sub/", "sub"},
        {"http://h/a%2Fb.jpg", "a-b.jpg"},
        {"http://h/%2E%2E", "download"},
        {"http://h/", "download"},
        {"http://h/x%0D%0ADELE%20y", "xDELE y"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(Net::SafeLocalName(Net::LastPathComponent(QUrl(QString::fromLatin1(c.url)))), QString::fromUtf8(c.name));
    }
    EXPECT_EQ(Net::LastPathComponent(QUrl(QStringLiteral("http://h/") + QString(300, QChar(0xE9)))).toUtf8().size(), 254);
    EXPECT_EQ(Net::NumberedName(QStringLiteral("photo.jpg"), 1), QStringLiteral("photo 1.jpg"));
    EXPECT_EQ(Net::NumberedName(QStringLiteral("README"), 3), QStringLiteral("README 3"));
    EXPECT_EQ(Net::NumberedName(QStringLiteral(".profile"), 2), QStringLiteral(".profile 2"));
    EXPECT_EQ(Net::NumberedName(QString(255, QLatin1Char('n')) + QStringLiteral(".jpg"), 12).size(), 255);
}

TEST_F(InternetTaskTest, ListingsKeepWholeNamesAndSkipWhatIsNoFile)
{
    const auto mlsd = Net::ParseMLSDListing("type=cdir;perm=el; .\r\ntype=pdir; ..\r\n"
                                            "type=file;size=3;modify=20261207; a b.jpg\r\n"
                                            "type=dir;perm=el; sub folder\r\ntype=file;size=1; .hidden\r\n"
                                            "type=OS.unix=slink:/x;size=1; link\r\ntype=file;size=1; x;y.png\r\n");
    ASSERT_EQ(mlsd.size(), 3u);
    EXPECT_EQ(mlsd[0].name, QStringLiteral("a b.jpg"));
    EXPECT_TRUE(mlsd[1].isFolder);
    EXPECT_EQ(mlsd[1].name, QStringLiteral("sub folder"));
    EXPECT_EQ(mlsd[2].name, QStringLiteral("x;y.png"));

    const auto list = Net::ParseLISTListing("total 8\n"
                                            "-rw-r--r--   1 owner group  3 Dec 07 14:00 a b.jpg\n"
                                            "drwxr-xr-x   2 owner group  4096 Jan 01  2025 old\n"
                                            "lrwxrwxrwx   1 owner group  4 Dec 07 14:00 l -> a\n"
                                            "-rw-r--r--   1 owner group  3 Dec 07 14:00 .profile\n");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, QStringLiteral("a b.jpg"));
    EXPECT_FALSE(list[0].isFolder);
    EXPECT_TRUE(list[1].isFolder);

    const QUrl page(QStringLiteral("http://h:8/pics/"));
    const auto links = Net::FileLinksOfIndexPage(
        R"(<a href="a%20b.jpg">a</a> <a href='sub/'>s</a> <a href="../up.jpg">u</a> <a href="http://other/x.jpg">o</a>
           <a HREF="/pics/c%231.jpg#top">c</a> <a href="a%20b.jpg">again</a> <a href="?C=N;O=D">sort</a>)",
        page);
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(Net::LastPathComponent(links[0]), QStringLiteral("a b.jpg"));
    EXPECT_EQ(Net::LastPathComponent(links[1]), QStringLiteral("c#1.jpg"));
}

TEST_F(InternetTaskTest, DownloadsFilesWithAwkwardNamesOverBothProtocolsAndModes)
{
    const QStringList names {QStringLiteral("a b.jpg"), QStringLiteral("100%.jpg"), QStringLiteral("c#1.jpg")};
    for (const QString& name : names)
        WriteFile(ServerRoot() + "/names/" + name, Pattern(70000, char(name.size())));
    for (bool passive : {true, false}) {
        SetPrefBoolean(QStringLiteral("FTPPassiveMode"), passive);
        for (const QString& name : names) {
            SCOPED_TRACE((name + (passive ? " passive" : " active")).toStdString());
            const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(name));
            const QString viaFtp = DownloadNew(Ftp().URL("ftp", "/names/" + encoded));
            const QString viaHttp = DownloadNew(Http().URL("http", "/files/names/" + encoded));
            EXPECT_EQ(ReadWholeFile(viaFtp), Pattern(70000, char(name.size())));
            EXPECT_EQ(ReadWholeFile(viaHttp), Pattern(70000, char(name.size())));
        }
    }
    // Clashes number the copies before the extension; nothing else is left behind.
    EXPECT_TRUE(DownloadedNames().contains(QStringLiteral("a b 3.jpg")));
    EXPECT_EQ(DownloadedNames().size(), 12);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(InternetTaskTest, RepliesAreReportedAndNeverCostTheLocalCopy)
{
    WriteFile(ServerRoot() + "/statuses/photo.jpg", Pattern(5000, 'p'));
    const QString copy = downloads + "/mine.jpg";
    struct Case {
        const char* path;
        const char* code; // reported, or "" for a success
        SInt32 alert;
    };
    const Case cases[] = {
        {"/status/404", "1000", kNoteAlert},
        {"/status/500", "500", kCautionAlert},
        {"/short/100000", "-3260", kCautionAlert},
        {"/redirect/302/4/statuses/photo.jpg", "", 0}, // five redirects
        {"/redirect/301/1/statuses/photo.jpg", "", 0},
        {"/redirect/307/1/statuses/photo.jpg", "", 0},
        {"/redirect/308/1/statuses/photo.jpg", "", 0},
        {"/redirect/302/5/statuses/photo.jpg", "302", kCautionAlert}, // one too many
        {"/private/statuses/photo.jpg", "401", kCautionAlert},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        WriteFile(copy, "my own copy");
        const size_t reportsBefore = Reports().size();
        CIndexItem* item = ItemWithCopy(copy, Http().URL("http", QString::fromLatin1(c.path)));
        const QByteArray aliasBefore = *item->GetAlias();
        CInternetTask* task = StartDownloadTaskForItem(&owner_.model, item);
        ASSERT_TRUE(WaitGone(task));
        const auto reports = Reports();
        if (*c.code) {
            EXPECT_EQ(ReadWholeFile(copy), QByteArray("my own copy"));
            ASSERT_EQ(reports.size(), reportsBefore + 1);
            EXPECT_EQ(reports.back().code, QLatin1String(c.code));
            EXPECT_EQ(reports.back().alertType, c.alert);
            ASSERT_TRUE(item->GetAlias());
            EXPECT_EQ(*item->GetAlias(), aliasBefore);
        } else {
            EXPECT_EQ(ReadWholeFile(copy), Pattern(5000, 'p'));
            EXPECT_EQ(reports.size(), reportsBefore);
            EXPECT_TRUE(owner_.model.IsModified());
        }
        EXPECT_EQ(DownloadedNames(), QStringList {QStringLiteral("mine.jpg")});
    }
    // With the password the private file comes; the URL stored keeps none.
    WriteFile(copy, "my own copy");
    CIndexItem* item = ItemWithCopy(copy, Http().URL("http", "/private/statuses/photo.jpg"));
    CInternetTask* task = StartDownloadTaskForItem(&owner_.model, item, Http().URL("http", "/private/statuses/photo.jpg", "user", "secret"));
    EXPECT_FALSE(task->GetStoredURL().toString().contains(QStringLiteral("secret")));
    ASSERT_TRUE(WaitGone(task));
    EXPECT_EQ(ReadWholeFile(copy), Pattern(5000, 'p'));
}

TEST_F(InternetTaskTest, StopInTheMiddleKeepsTheLocalCopyAndReportsNothing)
{
    WriteFile(ServerRoot() + "/big/movie.mov", Pattern(50 * 1024 * 1024, 'm'));
    const QString copy = downloads + "/movie.mov";
    WriteFile(copy, "the user's movie");
    const QUrl urls[] = {SlowFtp().URL("ftp", "/big/movie.mov"), Http().URL("http", "/slow/52428800")};
    for (const QUrl& url : urls) {
        SCOPED_TRACE(url.toString().toStdString());
        CIndexItem* item = ItemWithCopy(copy, url);
        CInternetTask* task = StartDownloadTaskForItem(&owner_.model, item);
        ASSERT_TRUE(RunUntil([&] { return task->GetProgress() >= 512; }, 20000));
        EXPECT_TRUE(task->HasCurrentTransfer());
        task->Stop();
        EXPECT_FALSE(CVisualTask::IsAlive(task));
        EXPECT_EQ(ReadWholeFile(copy), QByteArray("the user's movie"));
        EXPECT_EQ(DownloadedNames(), QStringList {QStringLiteral("movie.mov")});
        ASSERT_TRUE(item->GetAlias());
    }
    EXPECT_TRUE(Reports().empty());
}

TEST_F(InternetTaskTest, ADownloadReplacesWhateverItsFileHeld)
{
    // The file is opened without truncating an empty one (that costs a flush
    // on close); one that holds bytes must still end up holding only the body.
    WriteFile(ServerRoot() + "/replace/body.bin", Pattern(3000, 'b'));
    for (const qsizetype held : {qsizetype(0), qsizetype(10000)}) {
        SCOPED_TRACE(held);
        const QString path = downloads + "/into.bin";
        WriteFile(path, Pattern(held, 'o'));
        Net::TransferRequest request;
        request.url = Http().URL("http", "/files/replace/body.bin");
        request.localPath = path;
        Net::RemoteTransfer transfer(request);
        transfer.Start();
        ASSERT_TRUE(RunUntil([&] { return transfer.IsDone(); }, 20000));
        EXPECT_TRUE(transfer.Result().Succeeded());
        EXPECT_EQ(ReadWholeFile(path), Pattern(3000, 'b'));
    }
}

TEST_F(InternetTaskTest, DownloadAgainSaysAMissingFileOrAWrongPasswordInWords)
{
    WriteFile(ServerRoot() + "/again/here.jpg", "here");
    const QString copy = downloads + "/mine.jpg";
    struct Case {
        QUrl remote; // the item's address, with the password the user typed
        const char* shown;
    };
    const Case cases[] = {
        {Http().URL("http", "/files/again/gone.jpg"), "The file was not found on the server."},
        {Ftp().URL("ftp", "/again/gone.jpg"), "The file was not found on the server."},
        {Ftp().URL("ftp", "/again/here.jpg", "user", "wrong"),
            "Access to the server or folder was denied. Check your user name and password."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.remote.toString().toStdString());
        WriteFile(copy, "my own copy");
        shownTexts.clear();
        CIndexItem* item = ItemWithCopy(copy, Net::WithoutPassword(c.remote));
        ASSERT_TRUE(WaitGone(StartDownloadTaskForItem(&owner_.model, item, c.remote)));
        EXPECT_EQ(shownTexts.join(QLatin1Char('\n')).toStdString(), c.shown);
        EXPECT_EQ(ReadWholeFile(copy), QByteArray("my own copy"));
    }
}

TEST_F(InternetTaskTest, AnEndlessBodyStopsAtItsAnnouncedLengthOrAtTheDisksReserve)
{
    constexpr qint64 kRoom = 4 * 1024 * 1024; // what the reserve leaves for an unannounced body
    constexpr qint64 kGiveUp = 64 * 1024 * 1024; // far past the reserve: the body never stopped
    struct Case {
        const char* path;
        bool reserveNear; // the reserve set just below the disk's free space
        qint64 size; // the whole file kept, or -1: the transfer fails as on a full disk
    };
    const Case cases[] = {
        {"/over/100000", false, 100000},
        {"/endless", true, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const QString path = downloads + "/body.bin";
        WriteFile(path, QByteArray());
        Net::TransferRequest request;
        request.url = Http().URL("http", QString::fromLatin1(c.path));
        request.localPath = path;
        if (c.reserveNear)
            request.freeSpaceReserve = QStorageInfo(downloads).bytesAvailable() - kRoom;
        Net::RemoteTransfer transfer(request);
        transfer.Start();
        ASSERT_TRUE(RunUntil([&] { return transfer.IsDone() || QFileInfo(path).size() > kGiveUp; }, 60000));
        ASSERT_TRUE(transfer.IsDone()) << "the body went on filling the disk";
        EXPECT_EQ(transfer.Result().Succeeded(), c.size >= 0) << transfer.Result().errorText.toStdString();
        if (c.size >= 0)
            EXPECT_EQ(QFileInfo(path).size(), c.size);
        else
            EXPECT_EQ(transfer.Result().fileError, ENOSPC) << transfer.Result().errorText.toStdString();
    }
}

TEST_F(InternetTaskTest, OneDownloadAtATimeWhenTheLimitIsOne)
{
    TerminateTasks();
    SetPrefNumber(QStringLiteral("NumberParallelDownloads"), 1);
    InitializeTasks();
    std::vector<CInternetTask*> tasks;
    for (int i = 0; i < 3; ++i) {
        StartDownloadTaskForURL(Http().URL("http", "/slow/300000/limit"), nullptr, &owner_.model, nullptr);
        tasks.push_back(Newest());
    }
    ASSERT_TRUE(RunUntil([&] { return std::none_of(tasks.begin(), tasks.end(), CVisualTask::IsAlive); }, 30000));
    const QString stats = DownloadNew(Http().URL("http", "/stats/limit"));
    EXPECT_EQ(ReadWholeFile(stats).trimmed(), QByteArray("1"));
    EXPECT_EQ(DownloadedNames().size(), 4);
}

TEST_F(InternetTaskTest, AChangedDownloadLimitAppliesToTheNextTransfers)
{
    TerminateTasks();
    SetPrefNumber(QStringLiteral("NumberParallelDownloads"), 1);
    InitializeTasks();
    // Each phase starts three slow transfers and answers how many ran at once.
    auto mostAtOnce = [&](const char* tag) {
        std::vector<CInternetTask*> tasks;
        for (int i = 0; i < 3; ++i) {
            StartDownloadTaskForURL(Http().URL("http", QStringLiteral("/slow/300000/%1").arg(tag)), nullptr, &owner_.model, nullptr);
            tasks.push_back(Newest());
        }
        EXPECT_TRUE(RunUntil([&] { return std::none_of(tasks.begin(), tasks.end(), CVisualTask::IsAlive); }, 30000));
        return ReadWholeFile(DownloadNew(Http().URL("http", QStringLiteral("/stats/%1").arg(tag)))).trimmed();
    };
    // The preferences raise the limit while the program runs.
    SetPrefNumber(QStringLiteral("NumberParallelDownloads"), 3);
    EXPECT_EQ(mostAtOnce("raised"), QByteArray("3"));
    SetPrefNumber(QStringLiteral("NumberParallelDownloads"), 2);
    EXPECT_EQ(mostAtOnce("lowered"), QByteArray("2"));

    // Lowered while three transfers hold slots: the next ones wait for the new limit.
    SetPrefNumber(QStringLiteral("NumberParallelDownloads"), 3);
    for (int i = 0; i < 3; ++i)
        StartDownloadTaskForURL(Http().URL("http", "/slow/300000/before"), nullptr, &owner_.model, nullptr);
    ASSERT_TRUE(RunUntil([] { return GetDownloadSlots().GetCount() == 0; }, 10000));
    SetPrefNumber(QStringLiteral("NumberParallelDownloads"), 1);
    EXPECT_EQ(mostAtOnce("after"), QByteArray("1"));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(InternetTaskTest, FolderListingsAddOneItemPerFileAndDownloadThem)
{
    WriteFile(ServerRoot() + "/folder/a b.jpg", "one");
    WriteFile(ServerRoot() + "/folder/c#1.jpg", "two");
    WriteFile(ServerRoot() + "/folder/.hidden", "no");
    WriteFile(ServerRoot() + "/folder/sub/deep.jpg", "no");
    LocalServer oldFtp(QStringLiteral("ftp_server.py"), ServerRoot(), {QStringLiteral("--no-mlsd")});
    struct Case {
        QUrl folder;
        bool passive;
        bool asItem = false; // an item's address, not one typed or dropped
    };
    const Case cases[] = {
        {Ftp().URL("ftp", "/folder/"), true},
        {Ftp().URL("ftp", "/folder/", "user", "secret"), false},
        {oldFtp.URL("ftp", "/folder/"), true},
        {Http().URL("http", "/files/folder/"), true, true},
        {Http().URL("http", "/files/folder/"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder.toString().toStdString());
        SetPrefBoolean(QStringLiteral("FTPPassiveMode"), c.passive);
        owner_.DeleteItems();
        QDir(downloads).removeRecursively();
        QDir().mkpath(downloads);
        CInternetTask* task;
        if (!c.asItem) {
            StartDownloadTaskForURL(c.folder, nullptr, &owner_.model, nullptr);
            task = Newest();
        } else {
            CIndexItem page(c.folder.resolved(QUrl(QStringLiteral("index.html"))));
            page.SetRemoteURL(c.folder);
            task = StartDownloadTaskForItem(&owner_.model, &page);
        }
        ASSERT_TRUE(WaitGone(task));
        ASSERT_TRUE(RunUntil([&] { return CVisualTask::GetAllTasks().empty(); }, 30000));
        ASSERT_EQ(owner_.Items().size(), 2u);
        QStringList urls;
        for (CIndexItem* item : owner_.Items())
            urls << item->GetRemoteURL().path(QUrl::FullyEncoded);
        urls.sort();
        const QString base = c.folder.path();
        EXPECT_EQ(urls, (QStringList {base + "a%20b.jpg", base + "c%231.jpg"}));
        EXPECT_FALSE(owner_.Items()[0]->GetRemoteURL().toString().contains(QStringLiteral("secret")));
        QStringList files = DownloadedNames();
        files.sort();
        EXPECT_EQ(files, (QStringList {QStringLiteral("a b.jpg"), QStringLiteral("c#1.jpg")}));
        EXPECT_EQ(ReadWholeFile(downloads + "/c#1.jpg"), QByteArray("two"));
    }
    EXPECT_TRUE(Reports().empty());
}

TEST_F(InternetTaskTest, AFolderOfThousandsDownloadsWithinTheLimitAndStops)
{
    constexpr int kEntries = 1500;
    constexpr int kLimit = 3;
    for (int i = 0; i < kEntries; ++i)
        WriteFile(ServerRoot() + QStringLiteral("/many/f%1.jpg").arg(i, 4, 10, QLatin1Char('0')),
            QByteArray("entry ") + QByteArray::number(i));
    TerminateTasks();
    SetPrefNumber(QStringLiteral("NumberParallelDownloads"), kLimit);
    SetPrefBoolean(QStringLiteral("DownloadFiles"), true);
    InitializeTasks();

    // Files made but not yet filled, and tasks alive, seen while the folder runs.
    size_t mostTasks = 0;
    int mostEmptyFiles = 0;
    QElapsedTimer sampled;
    sampled.start();
    auto sample = [&] {
        mostTasks = std::max(mostTasks, CVisualTask::GetAllTasks().size());
        if (sampled.elapsed() >= 20) {
            sampled.restart();
            int empty = 0;
            for (const QFileInfo& file : QDir(downloads).entryInfoList(QDir::Files | QDir::Hidden))
                empty += file.size() == 0;
            mostEmptyFiles = std::max(mostEmptyFiles, empty);
        }
    };

    StartDownloadTaskForURL(Ftp().URL("ftp", "/many/"), nullptr, &owner_.model, nullptr);
    ASSERT_TRUE(RunUntil([&] { sample(); return CVisualTask::GetAllTasks().empty(); }, 180000));
    EXPECT_LE(mostTasks, size_t(kLimit + 1)) << "the folder task and one task a download slot";
    EXPECT_LE(mostEmptyFiles, kLimit);
    EXPECT_EQ(owner_.Items().size(), size_t(kEntries));
    ASSERT_EQ(DownloadedNames().size(), kEntries);
    for (int i : {0, 777, kEntries - 1})
        EXPECT_EQ(ReadWholeFile(downloads + QStringLiteral("/f%1.jpg").arg(i, 4, 10, QLatin1Char('0'))),
            QByteArray("entry ") + QByteArray::number(i));

    // The Stop button of the folder's pane ends it: no download starts afterwards.
    owner_.DeleteItems();
    QDir(downloads).removeRecursively();
    QDir().mkpath(downloads);
    StartDownloadTaskForURL(Ftp().URL("ftp", "/many/"), nullptr, &owner_.model, nullptr);
    CVisualTask* folder = Newest();
    ASSERT_TRUE(dynamic_cast<CGetFTPFolderTask*>(folder));
    ASSERT_TRUE(RunUntil([&] { sample(); return DownloadedNames().size() >= 20; }, 60000));
    auto* stop = dynamic_cast<LControlPane*>(folder->GetProgressPane()->FindPaneByID(kPaneStopButton));
    ASSERT_NE(stop, nullptr);
    QTest::mouseClick(stop->GetControlWidget(), Qt::LeftButton);
    QCoreApplication::processEvents(); // the click's stop runs from the event loop
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(CVisualTask::IsAlive(folder));
    ASSERT_TRUE(RunUntil([&] { sample(); return CVisualTask::GetAllTasks().empty(); }, 30000));
    const qsizetype downloaded = DownloadedNames().size();
    EXPECT_LT(downloaded, kEntries / 2);
    RunUntil([] { return false; }, 300);
    EXPECT_EQ(DownloadedNames().size(), downloaded) << "a download started after Stop";
    EXPECT_LE(mostTasks, size_t(kLimit + 1));
    EXPECT_LE(mostEmptyFiles, kLimit);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(InternetTaskTest, TheWindowTakesStopWhileAListingIsRead)
{
    // A listing of many thousands takes a while to read once it has arrived: the
    // window must come round meanwhile, so that its Stop is taken before any entry.
    for (int i = 0; i < 500; ++i)
        WriteFile(ServerRoot() + QStringLiteral("/read/f%1.jpg").arg(i), "x");
    SetPrefBoolean(QStringLiteral("DownloadFiles"), true);
    StartDownloadTaskForURL(Ftp().URL("ftp", "/read/"), nullptr, &owner_.model, nullptr);
    auto* folder = dynamic_cast<CGetFTPFolderTask*>(Newest());
    ASSERT_TRUE(folder);
    bool transferred = false;
    bool arrived = false; // the listing is in, no entry made of it yet
    ASSERT_TRUE(RunUntil([&] {
        if (!CVisualTask::IsAlive(folder) || !owner_.Items().empty())
            return true;
        transferred = transferred || folder->HasCurrentTransfer();
        arrived = transferred && !folder->HasCurrentTransfer();
        return arrived;
    }, 20000));
    ASSERT_TRUE(arrived) << "the window never came round between the listing's arrival and its entries";

    auto* stop = dynamic_cast<LControlPane*>(folder->GetProgressPane()->FindPaneByID(kPaneStopButton));
    ASSERT_NE(stop, nullptr);
    QTest::mouseClick(stop->GetControlWidget(), Qt::LeftButton);
    QCoreApplication::processEvents(); // the click's stop runs from the event loop
    ASSERT_TRUE(RunUntil([] { return CVisualTask::GetAllTasks().empty(); }, 10000));
    RunUntil([] { return false; }, 200);
    EXPECT_TRUE(owner_.Items().empty());
    EXPECT_TRUE(DownloadedNames().isEmpty());
    EXPECT_TRUE(Reports().empty());
}

class UploadTest : public InternetTaskTest {
protected:
    QByteArray AliasOf(const QString& path)
    {
        QByteArray alias;
        EXPECT_EQ(NewAliasBytes(nullptr, FileRef(path), alias), noErr);
        return alias;
    }
    QStringList Uploaded(const QString& folder) const
    {
        QStringList names = QDir(ServerRoot() + folder).entryList(QDir::Files | QDir::Hidden);
        names.sort();
        return names;
    }
    bool WaitAllGone() { return RunUntil([] { return CVisualTask::GetAllTasks().empty(); }, 30000); }
};

TEST_F(UploadTest, UploadsIntoTheFolderWithoutReplacingAnything)
{
    QDir().mkpath(ServerRoot() + "/incoming");
    const QString local = TestTempDir() + "/photo.jpg";
    WriteFile(local, Pattern(100000, 'u'));
    const QByteArray alias = AliasOf(local);
    for (bool passive : {true, false}) {
        SetPrefBoolean(QStringLiteral("FTPPassiveMode"), passive);
        StartUploadTaskForURL(Ftp().URL("ftp", "/incoming/", "user", "secret"), &alias);
        ASSERT_TRUE(WaitAllGone());
    }
    EXPECT_EQ(Uploaded("/incoming"), (QStringList {QStringLiteral("photo 1.jpg"), QStringLiteral("photo.jpg")}));
    EXPECT_EQ(ReadWholeFile(ServerRoot() + "/incoming/photo 1.jpg"), Pattern(100000, 'u'));
    EXPECT_TRUE(Reports().empty());

    // A name that would carry a second FTP command is refused before anything is sent.
    const QString evil = TestTempDir() + "/a\r\nDELE photo.jpg";
    WriteFile(evil, "x");
    const QByteArray evilAlias = AliasOf(evil);
    EXPECT_EQ(CatchCode([&] { StartUploadTaskForURL(Ftp().URL("ftp", "/incoming/", "user", "secret"), &evilAlias); }),
        paramErr);
    EXPECT_EQ(Uploaded("/incoming").size(), 2);
}

TEST_F(UploadTest, SameNamedFilesOfOneBatchEachKeepAFileOfTheirOwn)
{
    QDir(ServerRoot() + "/same").removeRecursively();
    QDir().mkpath(ServerRoot() + "/same");
    std::vector<QByteArray> aliases;
    for (char seed : {'a', 'b', 'c'}) {
        const QString local = TestTempDir() + QStringLiteral("/%1/same.jpg").arg(QChar::fromLatin1(seed));
        WriteFile(local, Pattern(50000, seed));
        aliases.push_back(AliasOf(local));
    }
    for (const QByteArray& alias : aliases)
        StartUploadTaskForURL(FreshFtp().URL("ftp", "/same/", "user", "secret"), &alias);
    ASSERT_TRUE(WaitAllGone());
    const QStringList names = Uploaded("/same");
    ASSERT_EQ(names, (QStringList {QStringLiteral("same 1.jpg"), QStringLiteral("same 2.jpg"), QStringLiteral("same.jpg")}))
        << names.join(", ").toStdString();
    QSet<QByteArray> contents;
    for (const QString& name : names)
        contents.insert(ReadWholeFile(ServerRoot() + "/same/" + name));
    EXPECT_EQ(contents, (QSet<QByteArray> {Pattern(50000, 'a'), Pattern(50000, 'b'), Pattern(50000, 'c')}));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(UploadTest, AStoppedUploadLeavesNothingOnTheServer)
{
    QDir().mkpath(ServerRoot() + "/stopped");
    const QString local = TestTempDir() + "/big.mov";
    WriteFile(local, Pattern(20 * 1024 * 1024, 'b'));
    const QByteArray alias = AliasOf(local);
    StartUploadTaskForURL(SlowFtp().URL("ftp", "/stopped", "user", "secret"), &alias);
    CInternetTask* task = Newest();
    ASSERT_TRUE(RunUntil([&] { return task->HasCurrentTransfer() && task->GetProgress() > 256; }, 20000));
    task->Stop();
    EXPECT_TRUE(RunUntil([&] { return Uploaded("/stopped").isEmpty(); }, 10000)) << Uploaded("/stopped").join(", ").toStdString();
    EXPECT_TRUE(Reports().empty());
}

TEST_F(UploadTest, ABatchWithAWrongPasswordComplainsOnce)
{
    QDir().mkpath(ServerRoot() + "/batch");
    StAlertAnswers answers(1);
    std::vector<QByteArray> aliases;
    for (int i = 0; i < 5; ++i) {
        const QString local = TestTempDir() + QStringLiteral("/f%1.jpg").arg(i);
        WriteFile(local, "x");
        aliases.push_back(AliasOf(local));
    }
    for (const QByteArray& alias : aliases)
        StartUploadTaskForURL(Ftp().URL("ftp", "/batch/", "user", "wrong"), &alias);
    ASSERT_TRUE(WaitAllGone());
    ASSERT_EQ(answers.Texts().size(), 1);
    EXPECT_TRUE(Uploaded("/batch").isEmpty());
}

TEST_F(InternetTaskTest, PasswordsLiveInTheKeyringWithService)
{
    ASSERT_TRUE(Keychain::IsAvailable());
    const QUrl withPassword = Ftp().URL("ftp", "/a.jpg", "user", "secret");
    CompleteCredentials(withPassword);
    const QUrl stored = Net::WithoutPassword(withPassword);
    EXPECT_TRUE(stored.password().isEmpty());
    EXPECT_EQ(CompleteCredentials(stored).password(), QStringLiteral("secret"));
    // A download of the stored URL logs in with the kept password.
    WriteFile(ServerRoot() + "/a.jpg", "kept");
    SetPrefBoolean(QStringLiteral("FTPPassiveMode"), true);
    EXPECT_EQ(ReadWholeFile(DownloadNew(stored)), QByteArray("kept"));
}

} // namespace
