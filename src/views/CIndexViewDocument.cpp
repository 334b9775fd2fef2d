#include "CIndexViewDocument.h"

#include "CIndexListView.h"

#include "PrefKeys.h"

#include "CCriteria.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "CItemInfoWindow.h"
#include "CFileBrowserListView.h"
#include "CMetaDataListView.h"
#include "CInfoView.h"
#include "CSearchTask.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "IndexPrintCaptions.h"
#include "IndexWindowPanes.h"
#include "LWindow.h"
#include "LocalizedStrings.h"
#include "MediaViewerServices.h"
#include "Preferences.h"
#include "PropertyList.h"
#include "URegistrar.h"

#include <QApplication>
#include <QDialog>

#include <utility>

CIndexViewDocument::CIndexViewDocument(CIndexView& view)
    : mView(view)
{
}

void CIndexViewDocument::ReleaseModel()
{
    mView.ReleaseModel();
}

LBroadcaster& CIndexViewDocument::GetViewBroadcaster()
{
    return mView;
}

bool CIndexViewDocument::IsWindowBusy() const
{
    // A sheet or dialog open on the window.
    QWidget* shell = mWindow ? mWindow->GetShell() : nullptr;
    if (!shell)
        return false;
    for (QDialog* dialog : shell->findChildren<QDialog*>()) {
        if (dialog->isVisible() && dialog->windowModality() != Qt::NonModal)
            return true;
    }
    return false;
}

bool CIndexViewDocument::UnlockWithPassword()
{
    return !gIndexWindowLocked || mView.UnlockWithPassword();
}

bool CIndexViewDocument::VerifyPassword()
{
    return mView.VerifyPassword();
}

void CIndexViewDocument::RevealSelection()
{
    mView.RevealFirstSelected();
}

SInt32 CIndexViewDocument::ImportURL(const QUrl& url, SInt32 position, bool select)
{
    return mView.ImportURL(url, position, select);
}

bool CIndexViewDocument::ReceiveAddress(const QUrl& url)
{
    return mView.ReceiveRemoteURL(url);
}

void CIndexViewDocument::ShowAllItems(bool refresh)
{
    mView.ShowAllItems(refresh);
}

void CIndexViewDocument::StartQuickSearch(SInt32 fieldKey, const QString& text)
{
    mView.StartQuickSearch(fieldKey, text);
}

void CIndexViewDocument::OpenSelectedItem()
{
    mView.OpenSelectedItem();
}

void CIndexViewDocument::RebuildThumbnails()
{
    mView.RebuildThumbnails();
}

SInt32 CIndexViewDocument::GetViewMode() const
{
    return mView.GetViewMode();
}

void CIndexViewDocument::SetViewMode(SInt32 command)
{
    // The list view is a pane of its own; the grid shows thumbnails or extended thumbnails.
    if (command == kCmdThumbnailView)
        mView.SetViewMode(kThumbnailViewMode);
    else if (command == kCmdExtendedView)
        mView.SetViewMode(kExtendedViewMode);
}

SInt32 CIndexViewDocument::GetModeScrollPosition() const
{
    return mView.GetScrollPosition().v;
}

void CIndexViewDocument::SetModeScrollPosition(SInt32 position, bool refresh)
{
    mView.ScrollPinnedImageTo(0, position, refresh);
}

void CIndexViewDocument::ShowSettings()
{
    mView.ShowSettings();
}

SInt32 CIndexViewDocument::GetFirstVisibleItem() const
{
    return mView.FindFirstVisibleItem();
}

void CIndexViewDocument::RemoveAllItems()
{
    mView.ShowAllItems(true);
    mView.RemoveAllItems();
}

bool CIndexViewDocument::IsFullScreen() const
{
    return mView.IsFullScreen();
}

QRect CIndexViewDocument::GetSavedFrame() const
{
    return mView.GetSavedFrame();
}

void CIndexViewDocument::EnterFullScreen()
{
    mView.SetFullScreen(true);
}

void CIndexViewDocument::SetTheme(SInt32 theme, bool redraw)
{
    mView.SetTheme(theme, redraw);
}

void CIndexViewDocument::PrepareForPrinting(double)
{
    // The grid is laid out again for the page's body, in whole cells, so that a
    // page shows no row cut in two.
    mSizeBeforePrinting = mView.IsExtendedView() ? mView.GetExtendedSize() : mView.GetThumbnailSize();
    mView.FitToPage();
}

void CIndexViewDocument::SetPrintScale(double scale)
{
    mPrintScale = scale;
    // The job is over and the view back in its window: the window's layout returns.
    if (scale == 1.0 && mSizeBeforePrinting > 0) {
        mView.SetThumbnailSize(std::exchange(mSizeBeforePrinting, 0), false);
        mView.AdjustImageSize();
    }
}

void InstallIndexViewDocumentServices()
{
    SetIndexDocViewAdapterMaker([](LPane* pane) -> std::unique_ptr<IndexDocViewServices> {
        CIndexView* view = CIndexView::ViewOfPane(pane);
        if (!view)
            return nullptr;
        return std::make_unique<CIndexViewDocument>(*view);
    });
}

void RegisterIndexWindowClasses()
{
    URegistrar::RegisterClass<CIndexView>(CIndexView::class_ID);
    URegistrar::RegisterClass<CItemInfoWindow>(CItemInfoWindow::class_ID);
    URegistrar::RegisterClass<CMetaDataListView>(CMetaDataListView::class_ID);
    URegistrar::RegisterClass<CFileBrowserListView>(CFileBrowserListView::class_ID);
    URegistrar::RegisterClass<CSourceListHeader>(CSourceListHeader::class_ID);
    RegisterIndexPrintClasses();
    RegisterPlacardClasses();
    RegisterIndexWindowPaneClasses();
    RegisterIndexListViewClass();
}
