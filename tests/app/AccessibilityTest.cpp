// The program as a screen reader meets it: the accessible tree Qt hands to the
// desktop's accessibility bus, asked through QAccessible as the bus asks.

#include "Alerts.h"
#include "AppCommands.h"
#include "AppRunSupport.h"
#include "CIndexDoc.h"
#include "CIndexView.h"
#include "CInfoView.h"
#include "CSearchWindow.h"
#include "Preferences.h"
#include "UReportErrors.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

namespace {

QAccessibleInterface* Accessible(QObject* object)
{
    return QAccessible::queryAccessibleInterface(object);
}

// Controls a user operates or reads: each needs a name a screen reader can say.
bool IsControl(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::Slider:
    case QAccessible::SpinBox:
    case QAccessible::ProgressBar:
    case QAccessible::Graphic:
    case QAccessible::PageTab:
    case QAccessible::List:
    case QAccessible::Tree:
    case QAccessible::Table:
        return true;
    default:
        return false;
    }
}

QString Describe(QAccessibleInterface* iface)
{
    QObject* object = iface->object();
    return QStringLiteral("%1 '%2' (role %3)")
        .arg(object ? QString::fromLatin1(object->metaObject()->className()) : QStringLiteral("-"),
            object ? object->objectName() : QString())
        .arg(int(iface->role()), 0, 16);
}

// A name a screen reader can say: words, not only symbols ("+", "▶▶").
bool Sayable(const QString& name)
{
    return std::any_of(name.begin(), name.end(), [](QChar c) { return c.isLetterOrNumber(); });
}

// The shown controls under an accessible object that have no name to say, and
// the rows of trees (the side lists) that have none; the items of lists and
// tables are not walked.
QStringList NamelessControls(QAccessibleInterface* root)
{
    QStringList nameless;
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* iface) {
        if (!iface || iface->state().invisible)
            return;
        const QAccessible::Role role = iface->role();
        if (IsControl(role) && !Sayable(iface->text(QAccessible::Name)))
            nameless << Describe(iface) + QStringLiteral(" '") + iface->text(QAccessible::Name) + QLatin1Char('\'');
        if (role == QAccessible::Tree) {
            for (int i = 0; i < iface->childCount(); ++i) {
                // A row is named by its first column; the others may show a count.
                QAccessibleInterface* row = iface->child(i);
                if (!row || row->role() != QAccessible::TreeItem || !row->tableCellInterface()
                    || row->tableCellInterface()->columnIndex() != 0)
                    continue;
                if (!Sayable(row->text(QAccessible::Name)))
                    nameless << Describe(iface) + QStringLiteral(": row %1").arg(i);
            }
        }
        if (role == QAccessible::List || role == QAccessible::Tree || role == QAccessible::Table)
            return;
        for (int i = 0; i < iface->childCount(); ++i)
            walk(iface->child(i));
    };
    walk(root);
    return nameless;
}

class Accessibility : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPrefBoolean(QStringLiteral("IndexFullScreen"), false);
        app = MakeProgramWithoutIndex();
    }
    void TearDown() override
    {
        for (QWidget* modal = QApplication::activeModalWidget(); modal; modal = QApplication::activeModalWidget()) {
            CancelModal(modal);
            ProcessEventsFor(20);
        }
        delete CSearchWindow::GetSearchWindow();
        CloseIndexDocumentsUnsaved();
        app.reset();
    }
    // An index of three photographs, the first selected, its view the target.
    CIndexDoc* FreshIndex()
    {
        CIndexDoc* document = NewIndexOfPhotos(*app);
        ProcessEventsFor(100);
        return document;
    }
    // The windows of the program a command shows that were not shown before.
    QList<QWidget*> Opens(LCommander* target, CommandT command)
    {
        QList<QWidget*> before;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible())
                before << widget;
        RunReportingErrors([&] { target->ProcessCommand(command, nullptr); });
        ProcessEventsFor(300);
        QList<QWidget*> opened;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible() && !before.contains(widget) && widget->property("orvexShell").toBool())
                opened << widget;
        return opened;
    }

    std::unique_ptr<COrvexApp> app;
};

} // namespace

TEST_F(Accessibility, WindowsReadAsWindowsAndDialogsAsDialogsByTheirTitles)
{
    ASSERT_GE(CameraPhotos().size(), 3);
    CIndexDoc* document = FreshIndex();
    QWidget* index = document->GetWindow()->GetShell();
    QAccessibleInterface* window = Accessible(index);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->role(), QAccessible::Window);
    EXPECT_FALSE(window->text(QAccessible::Name).isEmpty());
    // The title, with the modified mark as the title bar shows it.
    EXPECT_TRUE(window->text(QAccessible::Name).startsWith(document->GetWindow()->GetCFDescriptor()));
    EXPECT_FALSE(window->text(QAccessible::Name).contains(QStringLiteral("[*]")));

    // A palette is a window; Preferences, with its OK button, a dialog.
    const QList<QWidget*> search = Opens(IndexViewOfDocument(document), cmd_SearchWindow);
    ASSERT_EQ(search.size(), 1);
    EXPECT_EQ(Accessible(search.front())->role(), QAccessible::Window);
    const QList<QWidget*> preferences = Opens(app.get(), cmd_Preferences);
    ASSERT_EQ(preferences.size(), 1);
    EXPECT_EQ(Accessible(preferences.front())->role(), QAccessible::Dialog);
    EXPECT_EQ(Accessible(preferences.front())->text(QAccessible::Name), QStringLiteral("Preferences"));

    // A modal dialog over the index window is a dialog, and says it is modal.
    QAccessible::Role modalRole = QAccessible::NoRole;
    bool modalState = false;
    QString modalName;
    QTimer look;
    look.setInterval(30);
    QObject::connect(&look, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        QAccessibleInterface* iface = Accessible(modal);
        modalRole = iface->role();
        modalState = iface->state().modal;
        modalName = iface->text(QAccessible::Name);
        CancelModal(modal);
    });
    look.start();
    RunReportingErrors([&] { IndexViewOfDocument(document)->ProcessCommand(cmd_IndexProperties, nullptr); });
    ProcessEventsFor(300);
    look.stop();
    EXPECT_EQ(modalRole, QAccessible::Dialog);
    EXPECT_TRUE(modalState);
    EXPECT_FALSE(modalName.isEmpty());

    // An alert reads as one, by its words, the keyboard on its default button.
    QAccessibleInterface* alert = nullptr;
    QAccessible::Role alertRole = QAccessible::NoRole;
    QString alertName, alertDescription, focusName;
    bool focusDefault = false;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        alert = Accessible(modal);
        alertRole = alert->role();
        alertName = alert->text(QAccessible::Name);
        alertDescription = alert->text(QAccessible::Description);
        if (QAccessibleInterface* focus = alert->focusChild()) {
            focusName = focus->text(QAccessible::Name);
            focusDefault = focus->role() == QAccessible::PushButton && focus->state().defaultButton;
        }
        CancelModal(modal);
    });
    ShowMessageAlert(QStringLiteral("The disk is full."), kStopAlert);
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alertRole, QAccessible::AlertMessage);
    EXPECT_TRUE(Sayable(alertName)) << alertName.toStdString();
    EXPECT_TRUE(alertDescription.contains(QStringLiteral("The disk is full."))) << alertDescription.toStdString();
    EXPECT_TRUE(focusDefault) << focusName.toStdString();
}

TEST_F(Accessibility, TheGridListsItsItemsByNameWithTheirSelection)
{
    ASSERT_GE(CameraPhotos().size(), 3);
    CIndexDoc* document = FreshIndex();
    CIndexView* view = IndexViewOfDocument(document);
    QAccessibleInterface* grid = Accessible(view);
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->role(), QAccessible::List);
    EXPECT_TRUE(grid->state().multiSelectable);
    const QStringList names = ItemNames(document);
    ASSERT_EQ(names.size(), 3);
    ASSERT_EQ(grid->childCount(), 3);
    for (int i = 0; i < 3; ++i) {
        QAccessibleInterface* item = grid->child(i);
        ASSERT_NE(item, nullptr) << i;
        EXPECT_EQ(item->role(), QAccessible::ListItem) << i;
        EXPECT_EQ(item->text(QAccessible::Name), names[i]) << i;
        EXPECT_EQ(item->parent(), grid);
        EXPECT_EQ(grid->indexOfChild(item), i);
        EXPECT_TRUE(item->state().selectable);
        EXPECT_EQ(item->state().selected, i == 0) << i;
        // Where a screen reader's pointer finds the item.
        const QRect place = item->rect();
        ASSERT_FALSE(place.isEmpty()) << i;
        EXPECT_EQ(grid->childAt(place.center().x(), place.center().y()), item) << i;
    }

    // The user clicks the third picture: the children say so.
    QRect third;
    ASSERT_TRUE(view->GetCellRect(3, third));
    QTest::mouseClick(view, Qt::LeftButton, {}, third.center());
    ProcessEventsFor(100);
    EXPECT_FALSE(grid->child(0)->state().selected);
    EXPECT_TRUE(grid->child(2)->state().selected);

    // Arrowing back through the pictures: the item the keys reach is the one in
    // focus, selected (what a screen reader is told of as the focus moves).
    for (int row : { 1, 0 }) {
        SCOPED_TRACE(row);
        QTest::keyClick(view, Qt::Key_Left);
        ProcessEventsFor(50);
        EXPECT_TRUE(grid->child(row)->state().selected);
        EXPECT_EQ(grid->focusChild(), grid->child(row));
        EXPECT_TRUE(grid->child(row)->state().focused);
    }

    // An item more: one child more, named as it.
    document->AddItem(QUrl::fromLocalFile(CameraPhotos().at(3 % CameraPhotos().size())));
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document) && document->GetModel().CountItems() == 4; }));
    EXPECT_EQ(grid->childCount(), 4);
    const QStringList now = ItemNames(document);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(grid->child(i)->text(QAccessible::Name), now[i]) << i;
}

TEST_F(Accessibility, EveryControlOfTheWindowsHasANameAndTheSwitchesWork)
{
    ASSERT_GE(CameraPhotos().size(), 3);
    CIndexDoc* document = FreshIndex();
    LWindow* window = document->GetWindow();
    CIndexView* view = IndexViewOfDocument(document);
    view->ProcessCommand(cmd_BothSidePanes, nullptr);
    ProcessEventsFor(200);

    // The status strip's task controls show while a task runs; they are named all the same.
    for (QWidget* widget : window->GetShell()->findChildren<QWidget*>()) {
        auto* strip = dynamic_cast<CInfoView*>(widget);
        if (!strip)
            continue;
        for (PaneIDT id : { CInfoView::kPaneProgress, CInfoView::kPaneStopButton, CInfoView::kPaneZoomSlider,
                 CInfoView::kPaneSortButton }) {
            LPane* pane = strip->FindPaneByID(id);
            ASSERT_NE(pane, nullptr) << id;
            QWidget* face = pane;
            if (auto* control = dynamic_cast<LControlPane*>(pane); control && control->GetControlWidget())
                face = control->GetControlWidget();
            EXPECT_FALSE(Accessible(face)->text(QAccessible::Name).isEmpty()) << id;
        }
    }
    // The toolbar's items past its end are behind a button with a name.
    QToolBar* bar = window->GetToolBar();
    ASSERT_NE(bar, nullptr);
    auto* more = bar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
    ASSERT_NE(more, nullptr);
    EXPECT_FALSE(Accessible(more)->text(QAccessible::Name).isEmpty());

    QStringList nameless = NamelessControls(Accessible(window->GetShell()));

    // The view switch: a named group whose parts press like buttons.
    auto* switches = bar->findChild<QWidget*>(QStringLiteral("viewselector"));
    ASSERT_NE(switches, nullptr);
    QAccessibleInterface* viewSwitch = Accessible(switches);
    EXPECT_FALSE(viewSwitch->text(QAccessible::Name).isEmpty());
    ASSERT_EQ(viewSwitch->childCount(), 3);
    QAccessibleInterface* extended = nullptr;
    for (int i = 0; i < 3; ++i) {
        QAccessibleInterface* part = viewSwitch->child(i);
        EXPECT_FALSE(part->text(QAccessible::Name).isEmpty()) << i;
        ASSERT_NE(part->actionInterface(), nullptr) << i;
        EXPECT_TRUE(part->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
        if (part->rect().center().x() - switches->mapToGlobal(QPoint(0, 0)).x() > 27
            && part->rect().center().x() - switches->mapToGlobal(QPoint(0, 0)).x() < 54)
            extended = part;
    }
    ASSERT_NE(extended, nullptr);
    EXPECT_FALSE(view->IsExtendedView());
    extended->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ProcessEventsFor(100);
    EXPECT_TRUE(view->IsExtendedView());
    EXPECT_TRUE(extended->state().checked);

    // The Tasks window, the search rows and the media window's picture.
    const QList<QWidget*> tasks = Opens(view, cmd_ShowTaskWindow);
    ASSERT_EQ(tasks.size(), 1);
    nameless << NamelessControls(Accessible(tasks.front()));
    const QList<QWidget*> search = Opens(view, cmd_SearchWindow);
    ASSERT_EQ(search.size(), 1);
    nameless << NamelessControls(Accessible(search.front()));
    const QList<QWidget*> media = Opens(view, cmd_OpenSelectedItems);
    ASSERT_FALSE(media.isEmpty());
    for (QWidget* shell : media)
        nameless << NamelessControls(Accessible(shell));
    EXPECT_TRUE(nameless.isEmpty()) << nameless.join('\n').toStdString();
}

// A field's caption is its label: the field reads by the caption's words.
TEST_F(Accessibility, TheCaptionsOfFieldsAreTheirLabels)
{
    ASSERT_GE(CameraPhotos().size(), 3);
    CIndexDoc* document = FreshIndex();
    QStringList faults;
    auto check = [&](QWidget* shell, const QString& name) {
        int fields = 0;
        for (QWidget* widget : shell->findChildren<QWidget*>()) {
            if (!widget->isVisibleTo(shell))
                continue;
            auto* label = qobject_cast<QLabel*>(widget);
            if (label && label->buddy())
                ++fields;
        }
        if (fields == 0)
            faults << name + QStringLiteral(": no caption is a field's label");
        faults << NamelessControls(Accessible(shell));
    };
    const QList<QWidget*> preferences = Opens(app.get(), cmd_Preferences);
    ASSERT_EQ(preferences.size(), 1);
    check(preferences.front(), QStringLiteral("preferences"));
    // The modal dialogs of the index window, looked at as they come up.
    QTimer look;
    look.setInterval(30);
    QString current;
    QObject::connect(&look, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        check(modal, current);
        CancelModal(modal);
    });
    look.start();
    for (const auto& [command, name] : { std::pair { cmd_IndexProperties, "index-properties" },
             std::pair { cmd_ExportFiles, "export-files" }, std::pair { cmd_UploadItems, "upload" } }) {
        current = QString::fromLatin1(name);
        RunReportingErrors([&] { IndexViewOfDocument(document)->ProcessCommand(command, nullptr); });
        ProcessEventsFor(300);
    }
    EXPECT_TRUE(faults.isEmpty()) << faults.join('\n').toStdString();
}
