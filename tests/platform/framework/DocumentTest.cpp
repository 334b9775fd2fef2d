#include "FrameworkTestSupport.h"

#include "LApplication.h"
#include "LDocument.h"
#include "LWindow.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <thread>
#include <QUuid>

namespace {

struct DemoDoc : LSingleDoc {
    explicit DemoDoc(LCommander* super)
        : LSingleDoc(super)
    {
        SetWindow(LWindow::CreateWindow(1000, this));
        ++sAlive;
    }
    ~DemoDoc() override { --sAlive; }
    ESaveAnswer AskSaveChanges(bool) override
    {
        ++asked;
        return answer;
    }
    void DoSave() override
    {
        ++saves;
        SetModified(false);
    }
    ESaveAnswer answer = answer_Cancel;
    int asked = 0;
    int saves = 0;
    static inline int sAlive = 0;
};

struct DemoApp : LDocApplication {
    void MakeNewDocument() override { made.push_back(new DemoDoc(this)); }
    void OpenDocument(const FileRef& file) override { opened << file.Path(); }
    void DoReopenApp() override
    {
        ++reopened;
        LDocApplication::DoReopenApp();
    }
    std::vector<DemoDoc*> made;
    QStringList opened;
    int reopened = 0;
};

struct DocFixture : ::testing::Test {
    DemoApp* app = nullptr;
    void SetUp() override
    {
        SetUpFrameworkFixture();
        app = new DemoApp;
    }
    void TearDown() override
    {
        delete app;
        FlushDeletes();
    }
};

} // namespace

TEST_F(DocFixture, NewCommandMakesADocumentWhoseWindowClosesIt)
{
    EXPECT_TRUE(app->ProcessCommand(cmd_New));
    ASSERT_EQ(app->made.size(), 1u);
    DemoDoc* doc = app->made[0];
    EXPECT_EQ(LDocument::GetDocumentList().size(), 1u);
    LWindow* window = doc->GetWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->GetSuperCommander(), doc);
    doc->SetModified(true);
    EXPECT_TRUE(window->IsModified());

    // Closing the window asks the document; a cancel keeps both.
    LCommander::SwitchTarget(window);
    window->ProcessCommand(cmd_Close);
    EXPECT_EQ(doc->asked, 1);
    EXPECT_EQ(LDocument::GetDocumentList().size(), 1u);
    EXPECT_EQ(doc->GetWindow(), window);

    // Saving closes it: the document goes at once, the window when the loop runs.
    doc->answer = answer_Save;
    window->ProcessCommand(cmd_Close);
    EXPECT_TRUE(LDocument::GetDocumentList().empty());
    EXPECT_EQ(DemoDoc::sAlive, 0);
    EXPECT_EQ(LCommander::GetTarget(), app);
    FlushDeletes();
    EXPECT_TRUE(LWindow::FetchWindows().empty());
}

TEST_F(DocFixture, QuitClosesEveryDocumentUnlessOneRefuses)
{
    app->ProcessCommand(cmd_New);
    app->ProcessCommand(cmd_New);
    app->made[0]->SetModified(true);
    app->made[0]->answer = answer_Cancel;
    EXPECT_FALSE(app->AttemptQuit());
    // The newer one closed first; the modified one refused and stays.
    EXPECT_EQ(LDocument::GetDocumentList().size(), 1u);
    app->made[0]->answer = answer_DontSave;
    EXPECT_TRUE(app->AttemptQuit());
    EXPECT_TRUE(LDocument::GetDocumentList().empty());
}

TEST_F(DocFixture, FindsTheDocumentOfAFile)
{
    app->ProcessCommand(cmd_New);
    DemoDoc* doc = app->made[0];
    FileRef file(TestTempDir() + QStringLiteral("/a.idxp"));
    EXPECT_FALSE(doc->IsSpecified());
    doc->SetFile(file);
    EXPECT_TRUE(doc->IsSpecified());
    EXPECT_EQ(LDocument::FindDocumentForFile(file), doc);
    EXPECT_EQ(LDocument::FindDocumentForFile(FileRef(TestTempDir() + QStringLiteral("/b.idxp"))), nullptr);
}

TEST_F(DocFixture, LaterLaunchHandsItsDocumentsToTheRunningInstance)
{
    const QString name = QStringLiteral("orvex-test-") + QUuid::createUuid().toString(QUuid::Id128);
    ASSERT_TRUE(app->ListenForLaterLaunches(name));
    const QString path = TestTempDir() + QStringLiteral("/photo.jpg");
    // The later launch runs on its own thread, as a second process would.
    std::atomic<bool> handed = false;
    std::thread later([&] { handed = LApplication::HandOverToRunningInstance(name, { path, QStringLiteral("/tmp/../tmp/x.png") }); });
    for (int i = 0; i < 300 && app->opened.isEmpty(); ++i)
        ProcessEventsFor(10);
    later.join();
    EXPECT_TRUE(handed);
    EXPECT_EQ(app->opened, (QStringList { path, QStringLiteral("/tmp/x.png") }));
    // A launch without documents reopens the program.
    std::thread empty([&] { LApplication::HandOverToRunningInstance(name, {}); });
    for (int i = 0; i < 300 && app->reopened == 0; ++i)
        ProcessEventsFor(10);
    empty.join();
    EXPECT_EQ(app->reopened, 1);
    EXPECT_EQ(app->made.size(), 1u); // no document was open: StartUp made one
    EXPECT_FALSE(LApplication::HandOverToRunningInstance(name + QStringLiteral("-none"), { path }, 200));
}
