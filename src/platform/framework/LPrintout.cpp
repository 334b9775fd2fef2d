#include "LPrintout.h"

#include "ExceptionCode.h"
#include "UReanimator.h"
#include "UTextTraits.h"

#include <QPagedPaintDevice>
#include <QPainter>
#include <algorithm>

LPlaceHolder::LPlaceHolder(const LLayoutData& data)
    : LView(data)
{
}

LPlaceHolder::LPlaceHolder(const SPaneInfo& info)
    : LView(info)
{
}

LPlaceHolder::~LPlaceHolder()
{
    RemoveOccupant();
}

void LPlaceHolder::InstallOccupant(LPane* occupant)
{
    RemoveOccupant();
    if (!occupant)
        return;
    mOccupant = occupant;
    mOldSuper = occupant->GetSuperView();
    mOldFrame = occupant->GetFrame();
    mOldBindings = occupant->GetFrameBinding();
    if (auto* view = dynamic_cast<LView*>(occupant))
        mOldScroll = view->GetScrollPosition();
    occupant->PutInside(this, false);
    occupant->PlaceInSuperFrameAt(0, 0, false);
    occupant->ResizeFrameTo(width(), height(), false);
    occupant->Show();
}

LPane* LPlaceHolder::RemoveOccupant()
{
    LPane* occupant = mOccupant;
    if (!occupant)
        return nullptr;
    mOccupant = nullptr;
    occupant->PutInside(mOldSuper, false);
    occupant->ResizeFrameTo(mOldFrame.width(), mOldFrame.height(), false);
    occupant->PlaceInSuperFrameAt(mOldFrame.x(), mOldFrame.y(), false);
    occupant->SetFrameBinding(mOldBindings);
    if (auto* view = dynamic_cast<LView*>(occupant))
        view->ScrollImageTo(mOldScroll.h, mOldScroll.v, false);
    return occupant;
}

void LPlaceHolder::CountPanels(SInt32& outHoriz, SInt32& outVert) const
{
    // A panel is the occupant's frame: fitted to this place when installed, an
    // occupant may make it smaller (whole rows of a grid) for its pages.
    outHoriz = outVert = 1;
    auto* view = dynamic_cast<LView*>(mOccupant);
    if (!view || view->width() <= 0 || view->height() <= 0)
        return;
    const SDimension32 image = view->GetImageSize();
    outHoriz = SInt32(std::max<qint64>(1, (qint64(image.width) + view->width() - 1) / view->width()));
    outVert = SInt32(std::max<qint64>(1, (qint64(image.height) + view->height() - 1) / view->height()));
}

void LPlaceHolder::ScrollToPanel(const PanelSpec& panel)
{
    // An occupant with fewer panels than the job (a page header) shows its last one.
    SInt32 across = 1, down = 1;
    CountPanels(across, down);
    const SInt32 h = std::min(panel.horizIndex, across);
    const SInt32 v = std::min(panel.vertIndex, down);
    if (auto* view = dynamic_cast<LView*>(mOccupant))
        view->ScrollImageTo((h - 1) * view->width(), (v - 1) * view->height(), false);
}

LPrintout::LPrintout(const LLayoutData& data)
    : LView(data)
{
}

LPrintout::LPrintout(const SPaneInfo& info)
    : LView(info)
{
}

LPrintout* LPrintout::CreatePrintout(ResIDT layoutID)
{
    LPane* root = UReanimator::CreatePaneTree(layoutID, nullptr);
    auto* printout = dynamic_cast<LPrintout*>(root);
    if (!printout) {
        delete root;
        ThrowOSErr_(err_BadLayout, "the root of a printout layout is not a printout");
    }
    return printout;
}

namespace {
void CollectPlaceHolders(LView* view, std::vector<LPlaceHolder*>& out)
{
    for (LPane* pane : view->GetSubPanes()) {
        if (auto* holder = dynamic_cast<LPlaceHolder*>(pane))
            out.push_back(holder);
        else if (auto* sub = dynamic_cast<LView*>(pane))
            CollectPlaceHolders(sub, out);
    }
}
// Paints the panes inside `widget` with the printer's painter, so text and lines
// reach the page as vectors: QWidget::render hands a printer a bitmap of the
// widgets instead. A child that is no pane (a control's own widget) is rendered.
void PrintSubPanes(QPainter& painter, QWidget* widget)
{
    for (QObject* object : widget->children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (!child || child->isHidden() || child->isWindow())
            continue;
        painter.save();
        painter.translate(child->pos());
        painter.setClipRect(QRect(QPoint(0, 0), child->size()), Qt::IntersectClip);
        if (auto* pane = dynamic_cast<LPane*>(child)) {
            // Fonts as on screen: the page is the printout scaled, not the printer's own dots.
            painter.setFont(ScreenPixelFont(child->font()));
            painter.setPen(child->palette().color(QPalette::WindowText));
            pane->Draw(painter);
            PrintSubPanes(painter, child);
        } else {
            child->render(&painter, QPoint(0, 0), QRegion(), QWidget::DrawChildren);
        }
        painter.restore();
    }
}
} // namespace

void LPrintout::CountPanels(SInt32& outHoriz, SInt32& outVert) const
{
    outHoriz = outVert = 1;
    std::vector<LPlaceHolder*> holders;
    CollectPlaceHolders(const_cast<LPrintout*>(this), holders);
    for (LPlaceHolder* holder : holders) {
        SInt32 h = 1, v = 1;
        holder->CountPanels(h, v);
        outHoriz = std::max(outHoriz, h);
        outVert = std::max(outVert, v);
    }
}

SInt32 LPrintout::DoPrintJob(QPagedPaintDevice& printer, SInt32 fromPage, SInt32 toPage)
{
    SInt32 across = 1, down = 1;
    CountPanels(across, down);
    std::vector<LPlaceHolder*> holders;
    CollectPlaceHolders(this, holders);

    QPainter painter;
    if (!painter.begin(&printer))
        ThrowOSErr_(ioErr, "the printer could not be opened");
    // Each panel's pane tree is scaled to fit the page, keeping its proportions.
    const QRectF page = printer.pageLayout().paintRectPixels(printer.logicalDpiX());
    double scale = std::min(page.width() / std::max(1, width()), page.height() / std::max(1, height()));
    sPrinting = true;
    SInt32 printed = 0;
    SInt32 pageNumber = 0;
    try {
        for (SInt32 v = 1; v <= down; ++v) {
            for (SInt32 h = 1; h <= across; ++h) {
                ++pageNumber;
                if (pageNumber < fromPage || pageNumber > toPage)
                    continue;
                if (printed > 0)
                    printer.newPage();
                sPanel = { pageNumber, h, v };
                for (LPlaceHolder* holder : holders)
                    holder->ScrollToPanel(sPanel);
                painter.save();
                painter.scale(scale, scale);
                painter.setClipRect(QRect(QPoint(0, 0), size()));
                painter.setFont(ScreenPixelFont(font()));
                Draw(painter);
                PrintSubPanes(painter, this);
                painter.restore();
                ++printed;
            }
        }
    } catch (...) {
        sPrinting = false;
        painter.end();
        throw;
    }
    sPrinting = false;
    painter.end();
    return printed;
}
