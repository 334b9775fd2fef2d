// Add Files… as the user meets it: chosen from the index window's menu, a folder
// typed into the real file dialog, the import stopped from the window's own Stop.
#include "AppRunSupport.h"
#include "AppTestSupport.h"
#include "CInfoView.h"
#include "Preferences.h"
#include "TestSupport.h"
#include "UserSteps.h"

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QTest>

#include <unistd.h>

namespace {

constexpr CommandT kAddFilesCommand = 1023;
constexpr int kFolders = 60;
constexpr int kPicturesEach = 250;

// A large folder of pictures, made quickly as links to one photograph.
QString MakeLargeFolder(const QString& root)
{
    QDir(root).removeRecursively();
    const QByteArray photo = QFile::encodeName(CameraPhotos().value(0));
    for (int f = 0; f < kFolders; ++f) {
        const QString folder = root + QStringLiteral("/Roll %1").arg(f, 3, 10, QLatin1Char('0'));
        QDir().mkpath(folder);
        for (int p = 0; p < kPicturesEach; ++p) {
            const QByteArray link = QFile::encodeName(folder + QStringLiteral("/IMG_%1.jpg").arg(p, 4, 10, QLatin1Char('0')));
            if (::link(photo.constData(), link.constData()) != 0)
                return {};
        }
    }
    return root;
}

} // namespace

TEST(AddFiles, AFolderTypedIsImportedAndStopEndsTheImport)
{
    const QString folder = MakeLargeFolder(TestTempDir() + QStringLiteral("/add-files-large"));
    ASSERT_FALSE(folder.isEmpty());
    std::unique_ptr<IdleApp> app;
    CIndexDoc* document = StartWithNewIndex(app);
    ASSERT_NE(document, nullptr);
    LWindow* window = document->GetWindow();

    UserSteps user({
        [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            auto* field = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
            if (!field || !dialog->isVisible())
                return false;
            field->setFocus(Qt::MouseFocusReason);
            QTest::keyClicks(field, folder);
            QWidget* popup = QApplication::activePopupWidget();
            QTest::keyClick(popup ? popup : field, Qt::Key_Return);
            return true;
        },
    });
    QAction* add = OpenMenuItem(window, kAddFilesCommand);
    ASSERT_NE(add, nullptr);
    ChooseMenuItemLater(add);
    ASSERT_TRUE(RunUntil([&] { return user.AllDone() && document->CountAllItems() > 0; }))
        << "the typed folder was not imported";

    // Stop, as soon as the window shows it.
    LPane* stop = nullptr;
    ASSERT_TRUE(RunUntil([&] {
        stop = window->FindPaneByID(CInfoView::kPaneStopButton);
        return stop && stop->isVisible();
    })) << "no Stop shown while the import ran";
    ClickPane(window, CInfoView::kPaneStopButton);
    EXPECT_TRUE(RunEventsUntil([&] { return IsIdle(document); }, 5000)) << "the import went on after Stop";
    const SInt32 atStop = document->CountAllItems();
    ProcessEventsFor(1000);
    EXPECT_EQ(document->CountAllItems(), atStop) << "items kept coming after Stop";
    EXPECT_LT(atStop, kFolders * kPicturesEach);
    for (const QString& name : ItemNames(document).mid(0, 5))
        EXPECT_TRUE(name.startsWith(QLatin1String("IMG_"))) << name.toStdString();

    document->SetModified(false);
    app->AttemptQuit();
}
