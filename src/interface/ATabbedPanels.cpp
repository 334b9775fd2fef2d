#include "ATabbedPanels.h"

#include "ExceptionCode.h"
#include "LCommander.h"
#include "LControl.h"
#include "LDialogBox.h"
#include "LView.h"
#include "LWindow.h"
#include "UReanimator.h"

#include <QEvent>
#include <QLayout>
#include <QScrollArea>

#include <vector>

namespace {

// Restores the default commander that layouts give their commanders.
class StDefaultCommander {
public:
    explicit StDefaultCommander(LCommander* commander)
        : mSaved(LCommander::GetDefaultCommander())
    {
        LCommander::SetDefaultCommander(commander);
    }
    ~StDefaultCommander() { LCommander::SetDefaultCommander(mSaved); }
    StDefaultCommander(const StDefaultCommander&) = delete;
    StDefaultCommander& operator=(const StDefaultCommander&) = delete;

private:
    LCommander* mSaved;
};

// Keeps a scroll area over the whole of the widget it watches.
class FillHost : public QObject {
public:
    FillHost(QWidget* host, QScrollArea* area)
        : QObject(area)
        , mArea(area)
    {
        host->installEventFilter(this);
        mArea->setGeometry(host->rect());
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            mArea->setGeometry(static_cast<QWidget*>(watched)->rect());
        return false;
    }

private:
    QScrollArea* mArea;
};

} // namespace

void ATabbedPanels::InitTabbedPanels(LView* host, LCommander* commander, LDialogBox* listener, bool scrolls)
{
    mHost = host;
    mCommander = commander;
    mListener = listener;
    if (scrolls && !mScroller) {
        mScroller = new QScrollArea(host);
        mScroller->setFrameShape(QFrame::NoFrame);
        mScroller->setWidgetResizable(true);
        new FillHost(host, mScroller);
        mScroller->show();
    }
}

void ATabbedPanels::ClosePanel()
{
    if (!mPanel)
        return;
    StorePanel();
    LView* panel = mPanel;
    mPanel = nullptr;
    mPanelID = 0;
    mPanes.clear();
    delete panel;
}

void ATabbedPanels::SwitchPanel(ResIDT panelID)
{
    if (!mHost)
        ThrowOSErr_(err_NilPointer, "tabbed panels without a host");
    ClosePanel();

    LPane* made = nullptr;
    OSStatus status = CatchCode([&] {
        StDefaultCommander commander(mCommander);
        made = UReanimator::CreatePaneTree(panelID, mHost);
    });
    auto* panel = dynamic_cast<LView*>(made);
    if (!panel) {
        delete made;
        ThrowOSErr_(err_NilPointer, QStringLiteral("panel %1 cannot be built (%2)").arg(panelID).arg(status).toStdString());
    }
    // The panel fills the host, whatever frame its layout gave it; in a scroll
    // area it is never smaller than its own layout needs.
    if (mScroller) {
        panel->SetFrameBinding({});
        mScroller->setWidget(panel);
    } else {
        panel->setGeometry(mHost->rect());
    }
    mPanel = panel;
    mPanelID = panelID;
    std::vector<LPane*> pending { panel };
    while (!pending.empty()) {
        LPane* pane = pending.back();
        pending.pop_back();
        if (pane->GetPaneID() != 0 && !mPanes.contains(pane->GetPaneID()))
            mPanes.insert(pane->GetPaneID(), pane);
        if (auto* view = dynamic_cast<LView*>(pane))
            pending.insert(pending.end(), view->GetSubPanes().begin(), view->GetSubPanes().end());
    }
    if (mListener)
        mListener->ListenToControls();
    PanelBuilt();
    FillPanel();
    // A declared layout places the panes for the texts just filled in, before they show.
    if (QLayout* layout = panel->layout()) {
        layout->invalidate();
        layout->activate();
        if (mScroller)
            panel->setMinimumSize(layout->totalMinimumSize());
    }
    panel->Show();
    mHost->Refresh();
    // The new panel's controls take letters the window's others leave free.
    if (LWindow* window = mHost->GetContainingWindow(); window && window->IsVisible())
        window->GiveButtonsMnemonics();
}

LPane* ATabbedPanels::FindPanelPane(PaneIDT paneID) const
{
    return mPanes.value(paneID, nullptr);
}

const QHash<PaneIDT, LPane*>& ATabbedPanels::GetPanelPanes() const
{
    return mPanes;
}

bool ATabbedPanels::StepTab(LControl& tabs, SInt32 delta)
{
    const SInt32 value = tabs.GetValue() + delta;
    if (value < std::max<SInt32>(tabs.GetMinValue(), 1) || value > tabs.GetMaxValue())
        return false;
    tabs.SetValue(value);
    return true;
}
