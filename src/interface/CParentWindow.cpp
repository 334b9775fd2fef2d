#include "CParentWindow.h"

#include "ExceptionCode.h"

#include <QGuiApplication>
#include <QScreen>

CParentWindow::CParentWindow(const SPaneInfo& info, UInt32 attributes, const QString& title, LCommander* superCommander)
    : LDialogBox(info, attributes, title, superCommander)
{
    InitParentWindow();
}

CParentWindow::CParentWindow(const LLayoutData& data)
    : LDialogBox(data)
{
    InitParentWindow();
}

void CParentWindow::InitParentWindow()
{
    mHadCloseBox = HasAttribute(windAttr_CloseBox);
}

void CParentWindow::Deactivate()
{
    if (!mSheetShown || !IsActive()) {
        LDialogBox::Deactivate();
        return;
    }
    LView::Deactivate();
    if (IsOnDuty()) {
        if (CSheetDialogBox* sheet = FindOpenSheet())
            LCommander::SwitchTarget(sheet);
        else
            HandTargetBack();
    }
}

void CParentWindow::Select()
{
    if (CSheetDialogBox* sheet = FindOpenSheet()) {
        sheet->Select();
        return;
    }
    if (mSelectInstead && mSelectInstead != this) {
        mSelectInstead->Select();
        return;
    }
    LDialogBox::Select();
}

bool CParentWindow::RouteToSheet(LCommander* commander)
{
    if (!mRouteToSheet)
        return true;
    if (auto* sheet = dynamic_cast<CSheetDialogBox*>(commander)) {
        sheet->Activate();
        Activate();
    }
    return false;
}

CSheetDialogBox* CParentWindow::FindOpenSheet() const
{
    for (LCommander* sub : GetSubCommanders()) {
        auto* sheet = dynamic_cast<CSheetDialogBox*>(sub);
        if (sheet && sheet->IsVisible())
            return sheet;
    }
    return nullptr;
}

void CParentWindow::SetSheetShown(bool shown)
{
    if (shown && !mSheetShown)
        mHadCloseBox = HasAttribute(windAttr_CloseBox);
    mSheetShown = shown;
    if (shown) {
        if (HasAttribute(windAttr_CloseBox))
            ClearAttribute(windAttr_CloseBox);
    } else {
        mSheetRef = nullptr;
        if (mHadCloseBox && !HasAttribute(windAttr_CloseBox))
            SetAttribute(windAttr_CloseBox);
    }
}

bool CParentWindow::IsSheetOpen() const
{
    return mSheetShown || (mSheetRef && mSheetRef->isVisible()) || FindOpenSheet() != nullptr;
}

bool CParentWindow::ObeyCommand(CommandT command, void* ioParam)
{
    if (command == cmd_Close && IsSheetOpen())
        return true; // the sheet has to go first
    return LDialogBox::ObeyCommand(command, ioParam);
}

void CParentWindow::FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName)
{
    if (command == cmd_Close && IsSheetOpen()) {
        outEnabled = false;
        return;
    }
    LDialogBox::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
}

CSheetDialogBox::CSheetDialogBox(const SPaneInfo& info, UInt32 attributes, const QString& title, CParentWindow* parent)
    : LDialogBox(info, attributes, title, parent)
{
    CheckParent();
}

CSheetDialogBox::CSheetDialogBox(const LLayoutData& data)
    : LDialogBox(data)
{
    CheckParent();
}

void CSheetDialogBox::CheckParent()
{
    if (!GetParentWindow())
        ThrowOSErr_('nilP', "a sheet needs a parent window as its supercommander");
}

CParentWindow* CSheetDialogBox::GetParentWindow() const
{
    return dynamic_cast<CParentWindow*>(GetSuperCommander());
}

void CSheetDialogBox::Show()
{
    CParentWindow* parent = GetParentWindow();
    if (!parent) {
        LDialogBox::Show();
        return;
    }
    parent->SetSheetShown(true);
    QWidget* shell = GetShell();
    QWidget* parentShell = parent->GetShell();
    if (shell->parentWidget() != parentShell) {
        shell->setParent(parentShell, Qt::Sheet | Qt::Dialog);
        shell->setWindowModality(Qt::WindowModal);
    }
    // A sheet hangs from the top of its window's content, centred across it.
    QRect bounds;
    parent->GetGlobalBounds(bounds);
    LDialogBox::Show();
    MoveWindowTo(bounds.left() + (bounds.width() - width()) / 2, bounds.top());
    Select();
}

void CSheetDialogBox::Hide()
{
    CParentWindow* parent = GetParentWindow();
    LDialogBox::Hide();
    if (parent) {
        parent->SetSheetShown(false);
        if (parent->IsVisible())
            parent->LDialogBox::Select();
    }
}

void CSheetDialogBox::Activate()
{
    if (CParentWindow* parent = GetParentWindow()) {
        parent->Activate();
        parent->SetSheetShown(true);
    }
    LDialogBox::Activate();
}

void CSheetDialogBox::Select()
{
    if (IsActiveWindow())
        return;
    LDialogBox::Select();
}
