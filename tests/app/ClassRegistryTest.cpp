#include "CFloater.h"
#include "CIndexView.h"
#include "COrvexApp.h"
#include "CParentWindow.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "FourCharCode.h"
#include "IndexDocServices.h"
#include "LDataBrowser.h"
#include "LDialogBox.h"
#include "LPrintout.h"
#include "LScrollerView.h"
#include "LStdControls.h"
#include "LTabGroup.h"
#include "LTextEditView.h"
#include "LWindow.h"
#include "URegistrar.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <functional>

namespace {
struct ClassRow {
    ClassIDT id;
    std::function<bool(const SCreatedObject&)> isRightClass;
};

template <typename T>
std::function<bool(const SCreatedObject&)> Pane()
{
    return [](const SCreatedObject& made) { return dynamic_cast<T*>(made.pane) != nullptr; };
}

template <typename T = LAttachment>
std::function<bool(const SCreatedObject&)> Attachment()
{
    return [](const SCreatedObject& made) { return dynamic_cast<T*>(made.attachment) != nullptr; };
}

// A pane entry as a layout holds it; each class reads what it needs and takes the
// defaults for the rest.
LLayoutData EntryFor(ClassIDT id)
{
    QJsonObject object = QJsonDocument::fromJson(R"({ "id": 1, "frame": [0, 0, 120, 40], "title": "t",
        "attributes": 0, "bounds": [40, 40, 240, 320] })").object();
    return LLayoutData(object, 1, QStringLiteral("pane '%1'").arg(FourCharCodeToQString(id)));
}

// What an index window is built for: the commander that owns the model its index view shows.
class ModelOwner : public LCommander, public IndexModelOwner {
public:
    CIndexModel& GetModel() const override { return mModel; }

private:
    mutable CIndexModel mModel;
};

void Dispose(const SCreatedObject& made)
{
    if (auto* window = dynamic_cast<LWindow*>(made.pane))
        window->DoClose();
    else
        delete made.pane;
    delete made.attachment;
}
} // namespace

TEST(ClassRegistry, EveryRegisteredClassIDMakesAnObjectOfItsClass)
{
    COrvexApp::RegisterClasses();
    const ClassRow rows[] = {
        { 'wind', Pane<LWindow>() },
        { 'dlog', Pane<LDialogBox>() },
        { 'view', Pane<LView>() },
        { 'pane', Pane<LPane>() },
        { 'scrl', Pane<LScrollerView>() },
        { 'ascr', Pane<LScrollerView>() },
        { 'sclv', Pane<LScrollerView>() },
        { 'plac', Pane<LPlaceHolder>() },
        { 'prnt', Pane<LPrintout>() },
        { 'txtv', Pane<LTextEditView>() },
        { 'tabg', Pane<LTabGroup>() },
        { 'butn', Pane<LStdButton>() },
        { 'pbut', Pane<LStdButton>() },
        { 'txbt', Pane<LStdButton>() },
        { 'cbbt', Pane<LCmdBevelButton>() },
        { 'cbox', Pane<LStdCheckBox>() },
        { 'rbut', Pane<LStdRadioButton>() },
        { 'radg', Attachment<LRadioGroup>() },
        { 'popm', Pane<LStdPopupMenu>() },
        { 'gbox', Pane<LGroupBox>() },
        { 'capt', Pane<LCaption>() },
        { 'ttxb', Pane<LThemeTextBox>() },
        { 'lbox', Pane<LListBox>() },
        { 'pict', Pane<LImagePane>() },
        { 'icnp', Pane<LImagePane>() },
        { 'cicn', Pane<LImagePane>() },
        { 'cers', Attachment() },
        { 'brda', Attachment() },
        { 'pnta', Attachment() },
        { 'eras', Attachment() },
        { 'cena', Attachment<LCmdEnablerAttachment>() },
        { 'wtha', Attachment() },
        { 'undo', Attachment<LUndoer>() },
        { 'dbrw', Pane<LDataBrowser>() },
        { 'ParW', Pane<CParentWindow>() },
        { 'ShDB', Pane<CSheetDialogBox>() },
        { 'FltW', Pane<CFloater>() },
        { 'TskW', Pane<CTaskWindow>() },
        { 'IndV', Pane<CIndexView>() },
    };
    for (const ClassRow& row : rows) {
        SCOPED_TRACE(FourCharCodeToString(row.id));
        ASSERT_TRUE(URegistrar::IsRegistered(row.id));
        // A sheet is made inside the parent window whose layout is being built.
        SCreatedObject parent;
        if (row.id == CSheetDialogBox::class_ID) {
            parent = URegistrar::CreateObject(CParentWindow::class_ID, EntryFor(CParentWindow::class_ID));
            LCommander::SetDefaultCommander(dynamic_cast<LCommander*>(parent.pane));
        }
        // An index view is made in the window of what owns the model it shows.
        ModelOwner owner;
        if (row.id == CIndexView::class_ID)
            LCommander::SetDefaultCommander(&owner);
        SCreatedObject made = URegistrar::CreateObject(row.id, EntryFor(row.id));
        LCommander::SetDefaultCommander(nullptr);
        EXPECT_TRUE(row.isRightClass(made));
        Dispose(made);
        Dispose(parent);
    }
}

TEST(ClassRegistry, AnIndexViewOutsideTheWindowOfAModelsOwnerIsRefused)
{
    COrvexApp::RegisterClasses();
    LCommander::SetDefaultCommander(nullptr);
    OSStatus code = noErr;
    try {
        Dispose(URegistrar::CreateObject(CIndexView::class_ID, EntryFor(CIndexView::class_ID)));
    } catch (const ExceptionCode& e) {
        code = e.Code();
    }
    EXPECT_EQ(code, err_NilPointer);
}

TEST(ClassRegistry, ClassIDsAreCaseSensitive)
{
    COrvexApp::RegisterClasses();
    ASSERT_TRUE(URegistrar::IsRegistered('dbrw'));
    EXPECT_FALSE(URegistrar::IsRegistered('DBRW'));
    EXPECT_FALSE(URegistrar::IsRegistered('Dbrw'));
}
