#pragma once

// The real program run as a user meets it: its documents, its loop, its images.

#include "COrvexApp.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "CVisualTask.h"
#include "ItemWindows.h"
#include "LDialogBox.h"
#include "LDocument.h"
#include "LStdControls.h"
#include "LWindow.h"
#include "Preferences.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QFileInfo>

#include <filesystem>
#include <functional>
#include <memory>

inline constexpr int kPatienceMilliseconds = 30000;

// The real application; its idle pass callable.
struct IdleApp : COrvexApp {
    using COrvexApp::SpendTime;
    // The idle timer that Run starts: it keeps the menus up to date.
    using COrvexApp::StartRepeating;
    using COrvexApp::StopRepeating;
};

// The toolbar item of a command in a window; null when it has none.
inline QAction* ToolbarItem(LWindow* window, CommandT command)
{
    for (QToolBar* bar : window->GetShell()->findChildren<QToolBar*>()) {
        for (QAction* action : bar->actions()) {
            if (action->property("orvexCommand").toInt() == command)
                return action;
        }
    }
    return nullptr;
}

// The menu item of a command in the window's menu bar, as the user finds it: the
// menus on the way are opened (which brings their items up to date) and the one
// holding the item is left open for the choice.
inline QAction* OpenMenuItem(QMenu* menu, CommandT command)
{
    menu->popup(QPoint(0, 0));
    for (QAction* item : menu->actions()) {
        if (item->data().toInt() == command && !item->menu())
            return item;
        if (item->menu()) {
            if (QAction* found = OpenMenuItem(item->menu(), command))
                return found;
        }
    }
    menu->hide();
    return nullptr;
}

inline QAction* OpenMenuItem(LWindow* window, CommandT command)
{
    QMenuBar* bar = window->GetMenuBar();
    for (QAction* menu : bar ? bar->actions() : QList<QAction*>()) {
        if (!menu->menu())
            continue;
        if (QAction* found = OpenMenuItem(menu->menu(), command))
            return found;
    }
    return nullptr;
}

// Chooses a menu item found with OpenMenuItem from the program's loop, its menus
// closed first as a click on it closes them.
inline void ChooseMenuItemLater(QAction* item)
{
    QTimer::singleShot(0, item, [item] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* menu = qobject_cast<QMenu*>(top); menu && menu->isVisible())
                menu->hide();
        item->trigger();
    });
}

// Answers a modal dialog by its cancel button (or its only one).
inline void CancelModal(QWidget* modal)
{
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        dialog->reject();
    } else if (auto* box = modal->findChild<LDialogBox*>()) {
        const PaneIDT button = box->GetCancelButtonID() ? box->GetCancelButtonID() : box->GetDefaultButtonID();
        if (auto* control = dynamic_cast<LControl*>(box->FindPaneByID(button)))
            control->SimulateHotSpotClick();
    }
}

// Waits until the index has taken in what it was given, selects its first item and
// makes its view the target, as a user's click would.
inline CIndexView* SelectFirstItemWhenIdle(CIndexDoc* document);

inline std::vector<CIndexDoc*> OpenIndexDocuments()
{
    std::vector<CIndexDoc*> documents;
    for (LDocument* document : LDocument::GetDocumentList()) {
        if (auto* index = dynamic_cast<CIndexDoc*>(document))
            documents.push_back(index);
    }
    return documents;
}

inline CIndexDoc* OnlyIndexDocument()
{
    const std::vector<CIndexDoc*> documents = OpenIndexDocuments();
    EXPECT_LE(documents.size(), 1u) << "more than one index is open";
    return documents.empty() ? nullptr : documents.front();
}

// The program with its menus and item windows, no recent items, and no index open yet.
inline std::unique_ptr<COrvexApp> MakeProgramWithoutIndex()
{
    CItemWindows::Install();
    auto app = std::make_unique<COrvexApp>();
    app->ClearRecentItems();
    app->MakeMenuBar();
    app->Initialize();
    return app;
}

// Starts the program as its entry does, with no recent items yet; answers the index it opened.
inline CIndexDoc* StartFirstRun(COrvexApp& app)
{
    app.ClearRecentItems();
    app.MakeMenuBar();
    app.Initialize();
    app.StartUp();
    return OnlyIndexDocument();
}

// The program started with a new index (as the preference for the start says),
// its window shown and in front; null when it never showed.
inline CIndexDoc* StartWithNewIndex(std::unique_ptr<IdleApp>& app)
{
    SetPrefNumber(QStringLiteral("StartupAction"), 2);
    app = std::make_unique<IdleApp>();
    CIndexDoc* document = StartFirstRun(*app);
    if (!document || !RunEventsUntil([&] { return document->GetWindow()->IsVisible(); }, kPatienceMilliseconds))
        return nullptr;
    document->GetWindow()->Select();
    return document;
}

// Runs the program's loop until `done` holds; false when it never did.
inline bool RunUntil(const std::function<bool()>& done)
{
    return RunEventsUntil(done, kPatienceMilliseconds);
}

// Opens the combo box's list with a click and clicks the entry of that text.
inline void ChooseInPopup(QComboBox* combo, const QString& text, bool staysChosen = true)
{
    ASSERT_NE(combo, nullptr);
    const int row = combo->findText(text);
    ASSERT_GE(row, 0) << text.toStdString() << " is not offered";
    QTest::mouseClick(combo, Qt::LeftButton);
    QAbstractItemView* list = combo->view();
    ASSERT_TRUE(RunEventsUntil([&] { return list->isVisible(); }, 5000)) << "the list did not open";
    // A release too soon after the press that opened the list is not taken as a choice.
    ProcessEventsFor(QApplication::doubleClickInterval() + 50);
    const QRect entry = list->visualRect(list->model()->index(row, combo->modelColumn(), combo->rootModelIndex()));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entry.center());
    ASSERT_TRUE(RunEventsUntil([&] { return !list->isVisible(); }, 5000));
    if (staysChosen)
        EXPECT_EQ(combo->currentText(), text);
}

inline QComboBox* ComboOf(LStdPopupMenu* popup)
{
    return popup ? popup->findChild<QComboBox*>() : nullptr;
}

inline bool IsIdle(CIndexDoc* document)
{
    const CIndexModel& model = document->GetModel();
    return !model.IsBusy() && model.CountRunningTasks() == 0;
}

// Opens a package as the user does and waits until its window shows with no task
// running; null when no index window came or it never settled.
template <class App>
CIndexDoc* OpenIndexWhenSettled(App& app, const QString& package)
{
    app.OpenDocument(FileRef(package));
    CIndexDoc* document = OnlyIndexDocument();
    if (!document || !RunUntil([&] { return IsIdle(document) && document->GetWindow()->IsVisible(); }))
        return nullptr;
    return document;
}

// Closes every open index without saving, once its tasks have ended, and deletes what closed.
inline void CloseIndexDocumentsUnsaved()
{
    for (CIndexDoc* document : OpenIndexDocuments()) {
        RunUntil([&] { return IsIdle(document); });
        document->SetModified(false);
        document->AttemptClose(false);
    }
    FlushDeletes();
}

inline CIndexView* IndexViewOfDocument(CIndexDoc* document)
{
    return document ? dynamic_cast<CIndexView*>(document->GetIndexViewPane()) : nullptr;
}

inline QStringList ItemNames(CIndexDoc* document)
{
    QStringList names;
    CIndexView* view = IndexViewOfDocument(document);
    EXPECT_NE(view, nullptr);
    for (SInt32 i = 1; view && i <= view->CountAllItems(); ++i) {
        CIndexItem* item = nullptr;
        if (view->GetItemAt(i, item) && item)
            names << item->GetName();
    }
    names.sort();
    return names;
}

// Copies the sample index made at build time to `copy`; false when a file would not copy.
inline bool CopySampleIndexTo(const QString& copy)
{
    QDirIterator it(QStringLiteral(ORVEX_SAMPLE_INDEX), QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString to = copy + from.mid(QStringLiteral(ORVEX_SAMPLE_INDEX).size());
        QDir().mkpath(QFileInfo(to).absolutePath());
        // "index.db alias" is a relative link: it is copied as the link it is.
        std::error_code error;
        if (QFileInfo(from).isSymLink())
            std::filesystem::copy_symlink(QFile::encodeName(from).toStdString(), QFile::encodeName(to).toStdString(), error);
        else if (!QFile::copy(from, to))
            return false;
        if (error)
            return false;
    }
    return true;
}

// The camera photographs of the test data.
inline QStringList CameraPhotos()
{
    QStringList photos;
    for (const QFileInfo& info : QDir(TestDataPath(QStringLiteral("exif-samples/jpg"))).entryInfoList({ "*.jpg" }, QDir::Files, QDir::Name))
        photos << info.absoluteFilePath();
    return photos;
}

// True once every task has ended; what was closed is deleted first, as the program's loop does.
inline bool AllTasksEnded()
{
    FlushDeletes();
    return CVisualTask::GetAllTasks().empty();
}

// The titles of the tasks still there, to say which did not end.
inline QString TaskTitles()
{
    QStringList titles;
    for (CVisualTask* task : CVisualTask::GetAllTasks())
        titles << task->GetTitle();
    return titles.join(QStringLiteral(", "));
}

inline CIndexView* SelectFirstItemWhenIdle(CIndexDoc* document)
{
    EXPECT_TRUE(RunUntil([&] { return IsIdle(document); }));
    CIndexView* view = IndexViewOfDocument(document);
    view->SelectIndex(1);
    document->GetWindow()->Select();
    LCommander::SwitchTarget(view);
    return view;
}

// A new index of the first camera photographs, the first selected once the
// index is idle, its view the target.
inline CIndexDoc* NewIndexOfPhotos(COrvexApp& app, int count = 3)
{
    app.MakeNewDocument();
    CIndexDoc* document = OpenIndexDocuments().back();
    for (const QString& photo : CameraPhotos().mid(0, count))
        document->AddItem(QUrl::fromLocalFile(photo));
    SelectFirstItemWhenIdle(document);
    return document;
}
