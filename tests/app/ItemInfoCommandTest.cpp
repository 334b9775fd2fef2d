// Get Info from the menu on a selection, in the program's own index window.

#include "AlertAnswer.h"
#include "AppRunSupport.h"
#include "AppTestSupport.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexModel.h"
#include "CIndexView.h"
#include "LWindow.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QApplication>
#include <QTest>
#include <QPushButton>
#include <QTimer>

namespace {

class ItemInfoCommand : public ::testing::Test {
protected:
    void SetUp() override { app = MakeProgramWithoutIndex(); }
    void TearDown() override
    {
        CloseIndexDocumentsUnsaved();
        app.reset();
    }

    std::unique_ptr<COrvexApp> app;
};

// Get Info on a large selection asks first and then shows one window, whose
// buttons step through the items; a few selected items each get their window.
TEST_F(ItemInfoCommand, GetInfoOnManyItemsAsksAndOpensOneWindow)
{
    const QString dir = TestTempDir() + QStringLiteral("/info-many");
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    QImage image(32, 24, QImage::Format_RGB32);
    image.fill(QColor(200, 80, 40));
    constexpr int kItems = 40;
    app->MakeNewDocument();
    CIndexDoc* document = OpenIndexDocuments().back();
    for (int i = 0; i < kItems; ++i) {
        const QString path = dir + QStringLiteral("/photo%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
        ASSERT_TRUE(image.save(path, "JPEG"));
        document->AddItem(QUrl::fromLocalFile(path));
    }
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document) && document->GetModel().CountAllItems() == kItems; }));
    document->GetWindow()->Select();
    CIndexView* view = IndexViewOfDocument(document);
    ASSERT_NE(view, nullptr);
    view->setFocus();
    auto infoWindows = [&] {
        int open = 0;
        for (SInt32 i = 1; i <= kItems; ++i) {
            CIndexItem* item = nullptr;
            if (view->GetItemAt(i, item) && item && item->GetInfoWindow())
                ++open;
        }
        return open;
    };

    // Ctrl+I into the index window, active again after whatever the last one showed.
    auto getInfo = [&] {
        document->GetWindow()->Select();
        view->setFocus();
        FlushDeletes();
        QCoreApplication::processEvents();
        QTest::keyClick(view, Qt::Key_I, Qt::ControlModifier);
    };

    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(view->CountSelectedItems(), kItems);
    {
        StAlertAnswers no(2); // No
        getInfo();
        ASSERT_EQ(no.Texts().size(), 1);
        EXPECT_TRUE(no.Texts()[0].contains(QStringLiteral("40"))) << no.Texts()[0].toStdString();
    }
    EXPECT_EQ(infoWindows(), 0);
    {
        StAlertAnswers yes(1); // Yes
        getInfo();
        EXPECT_EQ(yes.Texts().size(), 1);
    }
    EXPECT_EQ(infoWindows(), 1);
    CIndexItem* first = nullptr;
    ASSERT_TRUE(view->GetItemAt(1, first));
    EXPECT_NE(first->GetInfoWindow(), nullptr) << "the first selected item's window";

    view->DeselectAll();
    for (SInt32 index : {3, 4, 5})
        view->SelectIndex(index);
    getInfo();
    EXPECT_EQ(infoWindows(), 4) << "a few items each get their window without a question";
}

// An item listed from a web folder and not downloaded has only its address, and
// the file of another was deleted: Get Info on either shows its window, with no
// picture and no EXIF panel, at the first asking.
TEST_F(ItemInfoCommand, GetInfoOnItemsWhoseFileCannotBeOpenedShowsTheirWindows)
{
    app->MakeNewDocument();
    CIndexDoc* document = OpenIndexDocuments().back();
    const QUrl remote(QStringLiteral("http://127.0.0.1:9/roll/IMG_0001.JPG"));
    auto item = std::make_unique<CIndexItem>(remote);
    item->SetRemoteURL(remote);
    document->GetModel().InsertItem(item.release(), kInsertAtEnd);
    const QString gone = TestTempDir() + QStringLiteral("/info-gone.jpg");
    QImage image(32, 24, QImage::Format_RGB32);
    image.fill(QColor(20, 80, 140));
    ASSERT_TRUE(image.save(gone, "JPEG"));
    // The program asks where the deleted file went (caching the index's values may
    // ask first); the user clicks Cancel.
    QStringList asked;
    QTimer cancel;
    cancel.setInterval(50);
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        asked.append(modal->windowTitle());
        for (QPushButton* button : modal->findChildren<QPushButton*>()) {
            if (button->isVisible() && button->text().remove(u'&') == QStringLiteral("Cancel")) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
        }
        ADD_FAILURE() << "no Cancel button in " << modal->windowTitle().toStdString();
        modal->close();
    });
    cancel.start();
    document->GetModel().InsertItem(new CIndexItem(QUrl::fromLocalFile(gone)), kInsertAtEnd);
    ASSERT_TRUE(QFile::remove(gone));
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));
    document->GetWindow()->Select();
    CIndexView* view = IndexViewOfDocument(document);
    ASSERT_NE(view, nullptr);
    for (SInt32 index : {1, 2}) {
        CIndexItem* shown = nullptr;
        ASSERT_TRUE(view->GetItemAt(index, shown));
        view->setFocus();
        view->DeselectAll();
        view->SelectIndex(index);
        QTest::keyClick(view, Qt::Key_I, Qt::ControlModifier);
        EXPECT_TRUE(RunEventsUntil([&] { return shown->GetInfoWindow() != nullptr; }, 5000)) << "item " << index;
    }
    EXPECT_EQ(asked.size(), 1) << "asked for the deleted file once, not for the server's: " << asked.join(u'|').toStdString();
    EXPECT_EQ(document->GetModel().CountAllItems(), 2);
}

} // namespace
