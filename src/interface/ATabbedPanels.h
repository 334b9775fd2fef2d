#pragma once

#include "MacTypes.h"

#include <QHash>

class LCommander;
class LControl;
class LDialogBox;
class LPane;
class LView;
class QScrollArea;

// Tabbed windows whose panels are layout resources built one at a time into a
// host view: the panel being left is stored first, then deleted; the new one is
// built, linked to the window's listener, filled and shown. The item info window
// and the preferences dialog both stand on it.
class ATabbedPanels {
public:
    virtual ~ATabbedPanels() = default;

    // Builds the panel of a layout in place of the one shown; 'nilP' when it
    // cannot be built, and no panel is kept then.
    void SwitchPanel(ResIDT panelID);
    ResIDT GetPanelID() const { return mPanelID; }
    LView* GetPanel() const { return mPanel; }
    // A pane of the panel shown; null without a panel or such a pane.
    LPane* FindPanelPane(PaneIDT paneID) const;
    template <class T>
    T* FindPanelPaneAs(PaneIDT paneID) const
    {
        return dynamic_cast<T*>(FindPanelPane(paneID));
    }
    // Every pane of the panel shown that has an ID, by its ID.
    const QHash<PaneIDT, LPane*>& GetPanelPanes() const;
    // Stores the panel shown and deletes it (the window is closing).
    void ClosePanel();

    // Moves a tab control's value by `delta` within its range (the control then
    // broadcasts); false when it is at that end already.
    static bool StepTab(LControl& tabs, SInt32 delta);

protected:
    // Panels are built into `host`, their commanders under `commander`, and
    // their controls heard by `listener` (null: none). With `scrolls`, a panel
    // larger than the host (a small screen, a high scale factor) scrolls in it.
    void InitTabbedPanels(LView* host, LCommander* commander, LDialogBox* listener, bool scrolls = false);
    // Reads the panel shown back into the data; puts the data into a new panel.
    virtual void StorePanel() = 0;
    virtual void FillPanel() = 0;
    // A new panel was built (before it is filled).
    virtual void PanelBuilt() {}

private:
    LView* mHost = nullptr;
    LCommander* mCommander = nullptr;
    LDialogBox* mListener = nullptr;
    LView* mPanel = nullptr;
    QScrollArea* mScroller = nullptr; // filling the host, when panels scroll
    ResIDT mPanelID = 0;
    // The panel's panes by ID, found once: a panel is filled at every step through items.
    QHash<PaneIDT, LPane*> mPanes;
};
