#include "AppTestSupport.h"
#include "AlertAnswer.h"
#include "AliasRecord.h"
#include "CImportCameraTask.h"
#include "CImportFontsTask.h"
#include "CImportiPhotoTask.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexModel.h"
#include "CIndexView.h"
#include "CVisualTask.h"
#include "LControl.h"
#include "ErrorReport.h"
#include "GraphicsImporter.h"
#include "Preferences.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QColorSpace>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <map>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sqlite3.h>

namespace {

constexpr int kPatienceMilliseconds = 30000;
// The buttons of the question.
constexpr PaneIDT kPaneOK = 1;
constexpr PaneIDT kPaneCancel = 2;

bool RunUntil(const std::function<bool()>& done)
{
    return RunEventsUntil(done, kPatienceMilliseconds);
}

std::vector<CIndexDoc*> IndexDocuments()
{
    std::vector<CIndexDoc*> documents;
    for (LDocument* document : LDocument::GetDocumentList())
        if (auto* index = dynamic_cast<CIndexDoc*>(document))
            documents.push_back(index);
    return documents;
}

bool IsIdle(CIndexDoc* document)
{
    const CIndexModel& model = document->GetModel();
    return !model.IsBusy() && model.CountRunningTasks() == 0;
}

// The items of the index in their order: file name and whether selected.
QStringList ItemFiles(CIndexDoc* document, bool selectedOnly = false)
{
    QStringList names;
    CIndexModel& model = document->GetModel();
    for (SInt32 i = 1; i <= model.CountAllItems(); ++i) {
        CIndexItem* item = nullptr;
        if (model.GetItemAt(i, item) && item && (!selectedOnly || model.IsSelected(i)))
            names << QFileInfo(item->GetURL().toLocalFile()).fileName();
    }
    return names;
}

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A key pressed in an alert as the user presses it: into the widget with the focus.
void PressKey(LDialogBox* dialog, Qt::Key key)
{
    QWidget* shell = dialog->GetShell();
    QTest::keyClick(shell->focusWidget() ? shell->focusWidget() : shell, key);
}

// Longer than the camera monitor's poll: the camera list has been detected again.
constexpr int kRedetectionMilliseconds = 4000;

// Answers the next alert with a key after leaving it open for a while; `whileOpen`
// runs once, as soon as it shows. Driven by a timer: the alert runs its own loop.
class StKeyAnswer {
public:
    StKeyAnswer(Qt::Key key, int openMilliseconds = 0, std::function<void()> whileOpen = {})
    {
        mTimer.setInterval(20);
        QObject::connect(&mTimer, &QTimer::timeout, [this, key, openMilliseconds, whileOpen] {
            LDialogBox* dialog = FindOpenDialog();
            if (!dialog || answered)
                return;
            if (!mOpen.isValid()) {
                mOpen.start();
                text = PaneText(dialog, 4) + QLatin1Char('\n') + PaneText(dialog, 5);
                if (whileOpen)
                    whileOpen();
            }
            if (mOpen.elapsed() < openMilliseconds)
                return;
            answered = true;
            PressKey(dialog, key);
        });
        mTimer.start();
    }

    bool answered = false;
    QString text;

private:
    QTimer mTimer;
    QElapsedTimer mOpen;
};

// The program with its menus, as a user starts it, and every report kept.
class ImportSources : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = TestTempDir() + QStringLiteral("/sources-%1").arg(++sCount);
        QDir(root).removeRecursively();
        downloads = root + QStringLiteral("/Downloads");
        ASSERT_TRUE(QDir().mkpath(downloads));
        QByteArray alias;
        ASSERT_EQ(NewAliasBytes(nullptr, FileRef(downloads), alias), noErr);
        SetPrefHandle(QStringLiteral("DownloadFolderAlias"), alias);
        SetErrorNotificationPoster([this](const SErrorReport& report) { reports.push_back(report); });
        app = std::make_unique<COrvexApp>();
        app->MakeMenuBar();
        app->Initialize();
    }
    void TearDown() override
    {
        for (CIndexDoc* document : IndexDocuments()) {
            RunUntil([&] { return IsIdle(document); });
            document->SetModified(false);
            document->AttemptClose(false);
        }
        app.reset();
        SetManualCameras({});
        SetErrorNotificationPoster(nullptr);
        for (const char* key : {"DownloadFolderAlias", "ICADeleteAfterDownload", "ICAConnectCameraAction",
                 "ICADisconnectCamera", "ICAEmbedColorSyncProfile", "ICALaunchIfNotRunning"})
            SetPrefDefault(QString::fromLatin1(key));
    }

    // A card with the test photographs under DCIM/100TEST, read by the folder driver
    // as the only camera attached.
    CameraDevice MakeCard(const QString& name, const QStringList& photos)
    {
        CameraDevice card = MakeCardFolder(name, photos);
        SetManualCameras({card});
        return card;
    }
    CameraDevice MakeCardFolder(const QString& name, const QStringList& photos)
    {
        const QString folder = root + QLatin1Char('/') + name + QStringLiteral("/DCIM/100TEST");
        EXPECT_TRUE(QDir().mkpath(folder));
        for (const QString& photo : photos)
            EXPECT_TRUE(QFile::copy(TestDataPath(QStringLiteral("exiftool-images/") + photo), folder + QLatin1Char('/') + photo));
        return CameraDevice {QStringLiteral("Directory Browse"), QStringLiteral("disk:") + root + QLatin1Char('/') + name};
    }
    // A window shows, so the camera monitor starts; `present` is attached then and
    // is the starting state, offered for nothing.
    CIndexDoc* StartMonitorWith(const CameraDevice& present)
    {
        SetManualCameras({present});
        app->ObeyCommand(cmd_New, nullptr);
        std::vector<CIndexDoc*> documents = IndexDocuments();
        EXPECT_EQ(documents.size(), 1u);
        EXPECT_TRUE(RunUntil([] { return IsCameraConnected(); })) << "the monitor never detected the cameras";
        return documents.empty() ? nullptr : documents.front();
    }
    QString CardFile(const QString& card, const QString& name) const
    {
        return root + QLatin1Char('/') + card + QStringLiteral("/DCIM/100TEST/") + name;
    }
    bool Reported(SInt32 code) const
    {
        return std::any_of(reports.begin(), reports.end(),
            [code](const SErrorReport& r) { return r.listID == 500 && r.messageIndex == code - 100000; });
    }
    CIndexDoc* ImportWithAnswer(PaneIDT button, const std::function<void()>& whileAsked = {})
    {
        asked.clear();
        // Answers the question, if one comes, for as long as the import command runs.
        QTimer answerer;
        answerer.setInterval(20);
        QObject::connect(&answerer, &QTimer::timeout, [&] {
            LDialogBox* dialog = FindOpenDialog();
            if (!dialog)
                return;
            if (asked.isEmpty()) {
                asked = PaneText(dialog, 4) + QLatin1Char('\n') + PaneText(dialog, 5);
                if (whileAsked)
                    whileAsked();
            }
            // One key, as the user presses it: a second one would go past the
            // closed question to the index window's grid.
            answerer.stop();
            PressKey(dialog, button == kPaneOK ? Qt::Key_Return : Qt::Key_Escape);
        });
        answerer.start();
        app->ObeyCommand(cmd_ImportFromCamera, nullptr);
        ProcessEventsFor(50);
        std::vector<CIndexDoc*> documents = IndexDocuments();
        if (documents.empty())
            return nullptr;
        EXPECT_TRUE(RunUntil([&] { return IsIdle(documents.back()); }));
        ProcessEventsFor(1100); // the report periodical
        return documents.back();
    }

    static inline int sCount = 0;
    QString root;
    QString downloads;
    QString asked;
    std::vector<SErrorReport> reports;
    std::unique_ptr<COrvexApp> app;
};

} // namespace

TEST_F(ImportSources, CameraPicturesBecomeSelectedItemsInOrderWithByteIdenticalCopies)
{
    MakeCard(QStringLiteral("CARD"), {"Canon.jpg", "IPTC.jpg", "Sony.jpg"});
    // A name the card repeats in its next folder, with other bytes.
    const QString repeated = root + QStringLiteral("/CARD/DCIM/101TEST/Canon.jpg");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(repeated).path()));
    ASSERT_TRUE(QFile::copy(CardFile(QStringLiteral("CARD"), QStringLiteral("Sony.jpg")), repeated));
    CIndexDoc* document = ImportWithAnswer(kPaneOK);
    ASSERT_NE(document, nullptr);
    EXPECT_TRUE(asked.contains(QStringLiteral("import 4 pictures from “CARD”"))) << asked.toStdString();
    EXPECT_TRUE(asked.contains(QStringLiteral("“Downloads”"))) << asked.toStdString();
    const QStringList expected { "Canon.jpg", "IPTC.jpg", "Sony.jpg", "Canon 1.jpg" };
    EXPECT_EQ(ItemFiles(document), expected);
    EXPECT_EQ(ItemFiles(document, true), expected);
    for (const QString& name : expected) {
        const QString original
            = name == QLatin1String("Canon 1.jpg") ? repeated : CardFile(QStringLiteral("CARD"), name);
        EXPECT_EQ(Contents(downloads + QLatin1Char('/') + name), Contents(original)) << name.toStdString();
        EXPECT_TRUE(QFileInfo::exists(original)) << "deleted without being asked";
    }
    EXPECT_TRUE(document->IsModified());
    EXPECT_TRUE(Reported(kMsgCameraDisconnected));
}

TEST_F(ImportSources, CameraPicturesTakeTheProfileOfTheColourSpaceTheirCameraRecorded)
{
    SetPrefBoolean(QStringLiteral("ICAEmbedColorSyncProfile"), true);
    MakeCard(QStringLiteral("PROFILES"), {"Canon.jpg", "NikonD70.jpg", "IPTC.jpg"});
    CIndexDoc* document = ImportWithAnswer(kPaneOK);
    ASSERT_NE(document, nullptr);
    ASSERT_EQ(ItemFiles(document), (QStringList {"Canon.jpg", "IPTC.jpg", "NikonD70.jpg"}));
    auto profileOf = [&](const char* name) {
        std::unique_ptr<GraphicsImporter> importer;
        EXPECT_EQ(GraphicsImporter::OpenFile(downloads + QLatin1Char('/') + QLatin1String(name), 'JPEG', importer), noErr);
        return importer ? QColorSpace::fromIccProfile(importer->GetColorProfile()) : QColorSpace();
    };
    // sRGB as the Canon says; Adobe RGB for the Nikon's "uncalibrated" (the DCF's optional space).
    EXPECT_EQ(profileOf("Canon.jpg").primaries(), QColorSpace::Primaries::SRgb);
    EXPECT_EQ(profileOf("NikonD70.jpg").primaries(), QColorSpace::Primaries::AdobeRgb);
    // A picture that names no colour space stays as the camera gave it.
    EXPECT_EQ(Contents(downloads + QStringLiteral("/IPTC.jpg")), Contents(CardFile(QStringLiteral("PROFILES"), QStringLiteral("IPTC.jpg"))));
    // The rest of a picture is the camera's: its EXIF and pixels are read as before.
    const QByteArray canon = Contents(downloads + QStringLiteral("/Canon.jpg"));
    EXPECT_GT(canon.size(), Contents(CardFile(QStringLiteral("PROFILES"), QStringLiteral("Canon.jpg"))).size());
    EXPECT_FALSE(QFileInfo::exists(downloads + QStringLiteral("/Canon.jpg.profile")));
}

TEST_F(ImportSources, ACameraThatConnectsIsImportedAtOnceWhenThePreferencesSaySo)
{
    const CameraDevice first = MakeCardFolder(QStringLiteral("FIRST"), {"Canon.jpg"});
    CIndexDoc* document = StartMonitorWith(first);
    ASSERT_NE(document, nullptr);
    SetPrefBoolean(QStringLiteral("ICALaunchIfNotRunning"), true);
    bool questioned = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        // The question names the pictures to import; the camera's ejection is a note.
        if (LDialogBox* dialog = FindOpenDialog(); dialog && PaneText(dialog, 4).contains(QStringLiteral("import"))) {
            questioned = true;
            PressKey(dialog, Qt::Key_Escape);
        }
    });
    watcher.start(20);
    const CameraDevice arrived = MakeCardFolder(QStringLiteral("ARRIVED"), {"IPTC.jpg", "Sony.jpg"});
    SetManualCameras({first, arrived});
    ASSERT_TRUE(RunUntil([&] { return ItemFiles(document).size() == 2 && IsIdle(document); }));
    EXPECT_FALSE(questioned) << "the import waited for a question";
    EXPECT_EQ(ItemFiles(document), (QStringList {"IPTC.jpg", "Sony.jpg"}));
}

TEST_F(ImportSources, CameraWithoutPicturesOrDeclinedLeavesNoIndexAndOnlyTheEmptyCameraIsReported)
{
    struct Case {
        const char* name;
        QStringList photos;
        PaneIDT answer;
        SInt32 report; // 0: none
    };
    const Case cases[] = {
        {"EMPTY", {}, kPaneOK, kMsgNoCameraImagesDisconnected},
        {"DECLINED", {"Canon.jpg"}, kPaneCancel, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reports.clear();
        MakeCard(QString::fromLatin1(c.name), c.photos);
        EXPECT_EQ(ImportWithAnswer(c.answer), nullptr) << "an index was made";
        if (c.report != 0)
            EXPECT_TRUE(Reported(c.report));
        // Declining is the user's choice: it says nothing at all.
        EXPECT_EQ(reports.size(), c.report != 0 ? 1u : 0u);
        EXPECT_TRUE(QDir(downloads).isEmpty());
    }
}

TEST_F(ImportSources, CameraQuestionAnsweredByKeysAfterTheMonitorDetectedAgainImportsThatCamera)
{
    const CameraDevice first = MakeCardFolder(QStringLiteral("FIRST"), {"Canon.jpg"});
    CIndexDoc* document = StartMonitorWith(first);
    ASSERT_NE(document, nullptr);

    // Escape declines, however long the question was up: nothing imported, nothing said.
    const CameraDevice declined = MakeCardFolder(QStringLiteral("DECLINED"), {"Sony.jpg"});
    {
        StKeyAnswer escape(Qt::Key_Escape, kRedetectionMilliseconds);
        SetManualCameras({first, declined});
        ASSERT_TRUE(RunUntil([&] { return escape.answered && !FindOpenDialog(); }));
        EXPECT_TRUE(escape.text.contains(QStringLiteral("import 1 pictures from “DECLINED”"))) << escape.text.toStdString();
    }
    ProcessEventsFor(1100); // the report periodical
    EXPECT_TRUE(reports.empty()) << "declining said something";
    EXPECT_TRUE(QDir(downloads).isEmpty());
    EXPECT_TRUE(ItemFiles(document).isEmpty());

    // Return takes the pictures of the camera asked about into the front index.
    const CameraDevice accepted = MakeCardFolder(QStringLiteral("ACCEPTED"), {"IPTC.jpg", "Sony.jpg"});
    {
        StKeyAnswer enter(Qt::Key_Return, kRedetectionMilliseconds);
        SetManualCameras({first, declined, accepted});
        ASSERT_TRUE(RunUntil([&] { return enter.answered && !FindOpenDialog(); }));
        EXPECT_TRUE(enter.text.contains(QStringLiteral("import 2 pictures from “ACCEPTED”"))) << enter.text.toStdString();
    }
    ASSERT_TRUE(RunUntil([&] { return ItemFiles(document).size() == 2 && IsIdle(document); }));
    ProcessEventsFor(1100);
    EXPECT_EQ(ItemFiles(document), (QStringList {"IPTC.jpg", "Sony.jpg"}));
    EXPECT_EQ(Contents(downloads + QStringLiteral("/IPTC.jpg")), Contents(CardFile(QStringLiteral("ACCEPTED"), QStringLiteral("IPTC.jpg"))));
    EXPECT_TRUE(Reported(kMsgCameraDisconnected));
    EXPECT_EQ(IndexDocuments().size(), 1u);
}

TEST_F(ImportSources, CardPulledOutWhileAskedIsReportedGoneAndNothingIsImported)
{
    const CameraDevice first = MakeCardFolder(QStringLiteral("FIRST"), {"Canon.jpg"});
    CIndexDoc* document = StartMonitorWith(first);
    ASSERT_NE(document, nullptr);
    const CameraDevice gone = MakeCardFolder(QStringLiteral("GONE"), {"Sony.jpg"});
    {
        StKeyAnswer enter(Qt::Key_Return, kRedetectionMilliseconds,
            [&] { QDir(root + QStringLiteral("/GONE")).removeRecursively(); });
        SetManualCameras({first, gone});
        ASSERT_TRUE(RunUntil([&] { return enter.answered && !FindOpenDialog(); }));
    }
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));
    ProcessEventsFor(1100);
    EXPECT_TRUE(Reported(kMsgCameraGone));
    EXPECT_FALSE(Reported(kMsgCameraDisconnected)) << "a card that went was said to be ejected";
    EXPECT_TRUE(ItemFiles(document).isEmpty());
    EXPECT_TRUE(QDir(downloads).isEmpty());
    EXPECT_EQ(IndexDocuments().size(), 1u);
}

TEST_F(ImportSources, CardWithAPipeAndALinkToADeviceImportsItsPicturesOnlyAndStopEnds)
{
    // Named like pictures: a pipe no one writes to, and a link to an endless device.
    const CameraDevice card = MakeCard(QStringLiteral("HOSTILE"), {"Canon.jpg", "Sony.jpg"});
    const QString pipe = CardFile(QStringLiteral("HOSTILE"), QStringLiteral("IMG_0002.JPG"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), CardFile(QStringLiteral("HOSTILE"), QStringLiteral("IMG_0003.JPG"))));
    // A regression fails instead of hanging: after a while the pipe gets a writer.
    std::atomic<bool> finished {false}, unblocked {false};
    std::thread watchdog([&] {
        for (int waited = 0; !finished && waited < 20000; waited += 50)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        while (!finished) {
            const int fd = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                unblocked = true;
                ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });

    // Stop is clicked as soon as the import shows its progress; the longest the
    // event loop went without turning is kept.
    bool clicked = false;
    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer stopper;
    stopper.setInterval(10);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (sinceTick.isValid())
            longestStall = std::max(longestStall, sinceTick.elapsed());
        sinceTick.start();
        for (CVisualTask* task : GetShownTasks()) {
            auto* stop = dynamic_cast<LControlPane*>(task->GetProgressPane()->FindPaneByID(kPaneStopButton));
            if (!clicked && stop && stop->GetControlWidget()->isVisible()) {
                clicked = true;
                QTest::mouseClick(stop->GetControlWidget(), Qt::LeftButton);
            }
        }
    });
    stopper.start();
    CIndexDoc* document = ImportWithAnswer(kPaneOK);
    stopper.stop();
    finished = true;
    watchdog.join();
    EXPECT_FALSE(unblocked) << "the import opened the pipe and waited for it";
    EXPECT_TRUE(asked.contains(QStringLiteral("import 2 pictures from “HOSTILE”"))) << asked.toStdString();
    ASSERT_NE(document, nullptr);
    EXPECT_TRUE(IsIdle(document));
    EXPECT_LT(longestStall, 5000) << "the window did not answer while the import ran or stopped";
    for (const QString& name : ItemFiles(document))
        EXPECT_TRUE(name == QLatin1String("Canon.jpg") || name == QLatin1String("Sony.jpg")) << name.toStdString();
    EXPECT_FALSE(QFileInfo::exists(downloads + QStringLiteral("/IMG_0002.JPG")));
    EXPECT_FALSE(QFileInfo::exists(downloads + QStringLiteral("/IMG_0003.JPG")));
    EXPECT_TRUE(QFileInfo(pipe).exists());
    (void)card;
}

TEST_F(ImportSources, DeleteAfterDownloadKeepsAFileWhoseCopyFailedAndNamesNeverClash)
{
    SetPrefBoolean(QStringLiteral("ICADeleteAfterDownload"), true);
    MakeCard(QStringLiteral("FIRST"), {"Canon.jpg", "IPTC.jpg"});
    const QByteArray firstCanon = Contents(CardFile(QStringLiteral("FIRST"), QStringLiteral("Canon.jpg")));
    // The card changes under the import: the copy of IPTC.jpg comes out short.
    CIndexDoc* document = ImportWithAnswer(kPaneOK, [&] {
        QFile::resize(CardFile(QStringLiteral("FIRST"), QStringLiteral("IPTC.jpg")), 100);
    });
    ASSERT_NE(document, nullptr);
    EXPECT_TRUE(asked.contains(QLatin1String("deleted"))) << asked.toStdString();
    EXPECT_EQ(ItemFiles(document), QStringList {"Canon.jpg"});
    EXPECT_FALSE(QFileInfo::exists(CardFile(QStringLiteral("FIRST"), QStringLiteral("Canon.jpg"))));
    EXPECT_TRUE(QFileInfo::exists(CardFile(QStringLiteral("FIRST"), QStringLiteral("IPTC.jpg"))))
        << "a picture was deleted although its copy failed";
    EXPECT_FALSE(QFileInfo::exists(downloads + QStringLiteral("/IPTC.jpg"))) << "a partial copy was left";
    EXPECT_TRUE(std::any_of(reports.begin(), reports.end(), [](const SErrorReport& r) { return r.alertType == kCautionAlert; }));

    // A second card with the same names: the first download stays as it was.
    SetPrefNumber(QStringLiteral("ICAConnectCameraAction"), 4);
    MakeCard(QStringLiteral("SECOND"), {"Canon.jpg"});
    const QByteArray secondCanon = Contents(CardFile(QStringLiteral("SECOND"), QStringLiteral("Canon.jpg")));
    ASSERT_EQ(ImportWithAnswer(kPaneOK), document) << "the front index takes the pictures";
    EXPECT_EQ(ItemFiles(document), (QStringList {"Canon.jpg", "Canon 1.jpg"}));
    EXPECT_EQ(Contents(downloads + QStringLiteral("/Canon.jpg")), firstCanon);
    EXPECT_EQ(Contents(downloads + QStringLiteral("/Canon 1.jpg")), secondCanon);
}

TEST_F(ImportSources, DeleteAfterDownloadKeepsACardFileThatChangedAfterItsCopyBegan)
{
    SetPrefBoolean(QStringLiteral("ICADeleteAfterDownload"), true);
    SetPrefNumber(QStringLiteral("ICAConnectCameraAction"), 4); // into the front index
    MakeCard(QStringLiteral("CHANGING"), {"Canon.jpg", "IPTC.jpg", "Sony.jpg"});
    app->ObeyCommand(cmd_New, nullptr);
    ASSERT_EQ(IndexDocuments().size(), 1u);
    CIndexDoc* document = IndexDocuments().front();
    struct Case {
        const char* name;
        void (*change)(const QString& path); // what the card does once the copy is down
        bool kept;
    };
    const Case cases[] = {
        {"Canon.jpg", nullptr, false},
        {"IPTC.jpg", [](const QString& path) {
             QFile file(path);
             ASSERT_TRUE(file.open(QIODevice::Append));
             file.write(QByteArray(4096, 'g'));
         }, true},
        {"Sony.jpg", [](const QString& path) {
             QFile file(path);
             ASSERT_TRUE(file.open(QIODevice::ReadWrite));
             ASSERT_TRUE(file.setFileTime(QFileInfo(path).lastModified().addSecs(3600), QFileDevice::FileModificationTime));
         }, true},
    };
    std::map<QString, QByteArray> before;
    for (const Case& c : cases)
        before[QLatin1String(c.name)] = Contents(CardFile(QStringLiteral("CHANGING"), QLatin1String(c.name)));
    // The card changes after a picture's copy began and before the card's file goes.
    QObject::connect(&document->GetModel(), &CIndexModel::itemsAdded, [&](std::span<CIndexItem* const> items, bool) {
        for (CIndexItem* item : items)
            for (const Case& c : cases)
                if (c.change && QFileInfo(item->GetURL().toLocalFile()).fileName() == QLatin1String(c.name))
                    c.change(CardFile(QStringLiteral("CHANGING"), QLatin1String(c.name)));
    });
    ASSERT_EQ(ImportWithAnswer(kPaneOK), document);
    QString told;
    for (const SErrorReport& report : reports)
        told += report.text;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(QFileInfo::exists(CardFile(QStringLiteral("CHANGING"), QLatin1String(c.name))), c.kept);
        EXPECT_EQ(told.contains(QLatin1String(c.name)), c.kept) << told.toStdString();
        EXPECT_EQ(Contents(downloads + QLatin1Char('/') + QLatin1String(c.name)), before[QLatin1String(c.name)]);
    }
}

TEST_F(ImportSources, CardFilesWhoseNamesAreNotUtf8AreImportedUnderTheirLatin1Names)
{
    MakeCard(QStringLiteral("FOREIGN"), {"Canon.jpg"});
    const QByteArray photo = Contents(CardFile(QStringLiteral("FOREIGN"), QStringLiteral("Canon.jpg")));
    struct Case {
        QByteArray bytes; // the name on the card
        const char* imported; // the name of its copy, in UTF-8
    };
    const Case cases[] = {
        {"soir\xE9" "e.jpg", "soirée.jpg"},
        {"\xC9t\xE9 \xFF.JPG", "Été ÿ.JPG"},
    };
    const QByteArray folder = QFile::encodeName(CardFile(QStringLiteral("FOREIGN"), QString()));
    for (const Case& c : cases) {
        const int fd = ::open((folder + c.bytes).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, photo.constData(), size_t(photo.size())), photo.size());
        ::close(fd);
    }
    CIndexDoc* document = ImportWithAnswer(kPaneOK);
    ASSERT_NE(document, nullptr);
    EXPECT_TRUE(asked.contains(QStringLiteral("import 3 pictures"))) << asked.toStdString();
    QStringList items = ItemFiles(document);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.imported);
        EXPECT_TRUE(items.contains(QString::fromUtf8(c.imported))) << items.join(", ").toStdString();
        EXPECT_EQ(Contents(downloads + QLatin1Char('/') + QString::fromUtf8(c.imported)), photo);
    }
}

TEST_F(ImportSources, ActiveFontsGiveOneItemPerFontFileOpenTypeIncluded)
{
    const QString fonts = root + QStringLiteral("/fonts");
    ASSERT_TRUE(QDir().mkpath(fonts));
    const QString dejavu = QStringLiteral("/usr/share/fonts/truetype/dejavu/");
    const QString urw = QStringLiteral("/usr/share/fonts/opentype/urw-base35/");
    // Nimbus Roman is installed twice, as Type 1 and as OpenType: the OpenType
    // file stands for it.
    const QString urwType1 = QStringLiteral("/usr/share/fonts/type1/urw-base35/");
    for (const QString& file : {dejavu + "DejaVuSans.ttf", dejavu + "DejaVuSans-Bold.ttf", urw + "NimbusSans-Regular.otf",
             urw + "NimbusSans-Italic.otf", urwType1 + "NimbusRoman-Regular.t1", urw + "NimbusRoman-Regular.otf"})
        ASSERT_TRUE(QFile::copy(file, fonts + QLatin1Char('/') + QFileInfo(file).fileName())) << file.toStdString();
    // A face of a kind the program does not open is passed over and counted.
    const QString type1 = QStringLiteral("/usr/share/fonts/X11/Type1/");
    const QStringList type1Files = QDir(type1).entryList({"*.pfb"});
    if (!type1Files.isEmpty())
        QFile::copy(type1 + type1Files.first(), fonts + QLatin1Char('/') + type1Files.first());
    const QString config = root + QStringLiteral("/fonts.conf");
    QFile conf(config);
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write(QStringLiteral("<?xml version=\"1.0\"?><!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">"
                              "<fontconfig><dir>%1</dir><cachedir>%2</cachedir></fontconfig>")
                   .arg(fonts, root + QStringLiteral("/fontcache"))
                   .toUtf8());
    conf.close();
    qputenv("FONTCONFIG_FILE", config.toUtf8());
    const std::vector<ActiveFontFamily> families = ListActiveFontFamilies();
    qunsetenv("FONTCONFIG_FILE");

    QStringList files;
    for (const ActiveFontFamily& family : families)
        files << QFileInfo(family.files.value(0)).fileName();
    // The regular face stands for its family; no dot family, no second face.
    EXPECT_TRUE(files.contains(QStringLiteral("DejaVuSans.ttf")));
    EXPECT_FALSE(files.contains(QStringLiteral("DejaVuSans-Bold.ttf")));
    EXPECT_TRUE(files.contains(QStringLiteral("NimbusSans-Regular.otf")));
    EXPECT_FALSE(files.contains(QStringLiteral("NimbusSans-Italic.otf")));

    qputenv("FONTCONFIG_FILE", config.toUtf8());
    app->ObeyCommand(cmd_NewActiveFontsIndex, nullptr);
    ASSERT_EQ(IndexDocuments().size(), 1u);
    CIndexDoc* document = IndexDocuments().front();
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));
    qunsetenv("FONTCONFIG_FILE");
    QStringList items = ItemFiles(document);
    items.sort();
    EXPECT_EQ(items, (QStringList {"DejaVuSans.ttf", "NimbusRoman-Regular.otf", "NimbusSans-Regular.otf"}));
    EXPECT_EQ(document->GetWindow()->GetCFDescriptor(), QStringLiteral("Active Fonts"));
}

TEST_F(ImportSources, PictureLibraryImportsItsVisibleSupportedFilesAndIsOfferedOnlyWhenPresent)
{
    const QString library = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/shotwell/data/photo.db");
    QFile::remove(library);
    CheckPictureLibrary();
    Boolean enabled = true, usesMark = false;
    UInt16 mark = 0;
    Str255 name;
    app->FindCommandStatus(cmd_NewPictureLibraryIndex, enabled, usesMark, mark, name);
    EXPECT_FALSE(enabled);

    const QString photos = root + QStringLiteral("/Photos");
    ASSERT_TRUE(QDir().mkpath(photos + QStringLiteral("/.hidden")));
    for (const char* photo : {"Canon.jpg", "Sony.jpg", "IPTC.jpg"})
        QFile::copy(TestDataPath(QStringLiteral("exiftool-images/") + photo), photos + QLatin1Char('/') + photo);
    QFile::copy(TestDataPath(QStringLiteral("exiftool-images/Canon.jpg")), photos + QStringLiteral("/.hidden/In.jpg"));
    QFile notes(photos + QStringLiteral("/notes.txt"));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("not a picture");
    notes.close();

    ASSERT_TRUE(QDir().mkpath(QFileInfo(library).path()));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(library.toUtf8().constData(), &db), SQLITE_OK);
    const QString sql = QStringLiteral(
        "CREATE TABLE PhotoTable (id INTEGER PRIMARY KEY, filename TEXT, flags INTEGER);"
        "INSERT INTO PhotoTable VALUES (1, '%1/Sony.jpg', 0), (2, '%1/Canon.jpg', 0), (3, '%1/IPTC.jpg', 1),"
        " (4, '%1/.hidden/In.jpg', 0), (5, '%1/notes.txt', 0), (6, '%1/Gone.jpg', 0), (7, '%1/Canon.jpg', 4);")
                            .arg(photos);
    ASSERT_EQ(sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    CheckPictureLibrary();
    app->FindCommandStatus(cmd_NewPictureLibraryIndex, enabled, usesMark, mark, name);
    EXPECT_TRUE(enabled);

    app->ObeyCommand(cmd_NewPictureLibraryIndex, nullptr);
    ASSERT_EQ(IndexDocuments().size(), 1u);
    CIndexDoc* document = IndexDocuments().front();
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));
    // Hidden and trashed entries, hidden folders, other files and missing ones stay out.
    EXPECT_EQ(ItemFiles(document), (QStringList {"Sony.jpg", "Canon.jpg"}));
    EXPECT_TRUE(ItemFiles(document, true).isEmpty());
    QFile::remove(library);
    CheckPictureLibrary();
}
