#pragma once

#include "LDialogBox.h"

#include <QPointer>

class CSheetDialogBox;

// A window that can carry a sheet: while one is open the window has no close box,
// clicks and selection go to the sheet, and commands may be routed to it.
class CParentWindow : public LDialogBox {
public:
    static constexpr ClassIDT class_ID = 'ParW';

    CParentWindow(const SPaneInfo& info, UInt32 attributes, const QString& title, LCommander* superCommander);
    explicit CParentWindow(const LLayoutData& data);

    // With a sheet open, deactivation hands the target to the sheet (Qt keeps the
    // parent of a window-modal sheet from activating while it is up).
    void Deactivate() override;
    void Select() override;

    // False when routing is off; a sheet asking is brought forward with its window.
    virtual bool RouteToSheet(LCommander* commander);
    // The first visible sheet among the subcommanders, or null.
    virtual CSheetDialogBox* FindOpenSheet() const;

    // A sheet or file dialog is open on the window: the close box goes while it is.
    void SetSheetShown(bool shown);
    bool IsSheetShown() const { return mSheetShown; }
    // The dialog widget attached as a sheet (a file dialog, say); cleared with SetSheetShown(false).
    void SetSheetRef(QWidget* sheet) { mSheetRef = sheet; }
    QWidget* GetSheetRef() const { return mSheetRef; }
    bool IsSheetOpen() const;

    void SetSelectInstead(LWindow* window) { mSelectInstead = window; }
    LWindow* GetSelectInstead() const { return mSelectInstead; }
    void SetSheetRouting(bool route) { mRouteToSheet = route; }

    // A window with an open sheet refuses to close.
    bool ObeyCommand(CommandT command, void* ioParam) override;
    void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName) override;

private:
    void InitParentWindow();

    QPointer<LWindow> mSelectInstead;
    QPointer<QWidget> mSheetRef;
    bool mRouteToSheet = true;
    bool mSheetShown = false;
    bool mHadCloseBox = false;
};

// A dialog shown as a window-modal sheet of its supercommander, which must be a
// CParentWindow ('nilP' otherwise).
class CSheetDialogBox : public LDialogBox {
public:
    static constexpr ClassIDT class_ID = 'ShDB';

    CSheetDialogBox(const SPaneInfo& info, UInt32 attributes, const QString& title, CParentWindow* parent);
    explicit CSheetDialogBox(const LLayoutData& data);

    CParentWindow* GetParentWindow() const;

    void Show() override;
    void Hide() override;
    void Activate() override;
    void Select() override;

private:
    void CheckParent();
};
