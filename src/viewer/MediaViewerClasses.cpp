#include "MediaViewerClasses.h"

#include "CIndexItem.h"
#include "CIndexView.h"
#include "CMedia.h"
#include "CMediaCaptionFloater.h"
#include "CMediaImageView.h"
#include "CMediaMovieView.h"
#include "CMediaNavigator.h"
#include "CMediaWindow.h"
#include "CMediaWindowFS.h"
#include "ExceptionCode.h"
#include "MediaViewerServices.h"
#include "URegistrar.h"

namespace {
// The index items' way to print through a media window.
class CMediaViewer : public MediaViewerServices {
public:
    void PrintItem(CIndexItem& item, IndexViewServices*, bool withDialog) override
    {
        // A window never shown: its view lays the medium out for the page.
        auto* window = dynamic_cast<CMediaWindow*>(LWindow::CreateWindow(kMediaWindowLayout, LCommander::GetTopCommander()));
        ThrowIfNil_(window);
        const OSStatus status = CatchCode([&] {
            std::unique_ptr<CMedia> media(item.CreateMedia());
            ThrowIfNil_(media);
            auto* view = dynamic_cast<CMediaView*>(window->FindPaneByID(PaneIDT(media->GetKind())));
            ThrowIfNil_(view);
            view->SetMedia(std::move(media), &window->GetOptions());
            view->Print(!withDialog);
        });
        window->DoClose();
        ThrowIfOSErr_(status);
    }
};
} // namespace

void RegisterMediaViewerClasses()
{
    URegistrar::RegisterClass<CMediaImageView>(CMediaImageView::class_ID);
    URegistrar::RegisterClass<CMediaMovieView>(CMediaMovieView::class_ID);
    URegistrar::RegisterClass<CMediaWindow>(CMediaWindow::class_ID);
    URegistrar::RegisterClass<CMediaWindowFS>(CMediaWindowFS::class_ID);
    URegistrar::RegisterClass<CMediaNavigator>(CMediaNavigator::class_ID);
    URegistrar::RegisterClass<CMediaCaptionFloater>(CMediaCaptionFloater::class_ID);
}

void OpenItemsInMediaWindows(CIndexView& view)
{
    QObject::connect(&view, &CIndexView::itemActivated, &view,
        [](CIndexModel* model, SInt32 index, CIndexItem* item, bool windowed) {
            // An item without a medium opens nothing.
            std::unique_ptr<CMedia> media(item->CreateMedia());
            if (!media)
                return;
            if (index != 0)
                OpenMediaWindowAtIndex(index, model, windowed, std::move(media));
            else
                OpenMediaWindowForItem(item, model, windowed, std::move(media));
        });
}

void InstallMediaViewerServices()
{
    static CMediaViewer viewer;
    SetMediaViewerServices(&viewer);
}
