#include "LDragAndDrop.h"

#include "FourCharCode.h"
#include "LPane.h"
#include "UEvents.h"
#include "UReportErrors.h"

#include <QApplication>
#include <QDataStream>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>

namespace {
const QMimeData* sOwnDrag = nullptr; // the data of this program's drag under way

bool IsTextFlavor(FlavorType flavor)
{
    return flavor == flavorTypeText || flavor == flavorTypeUnicodeText;
}
} // namespace

QString MimeTypeForFlavor(FlavorType flavor)
{
    if (flavor == flavorTypeFileURL)
        return QStringLiteral("text/uri-list");
    if (IsTextFlavor(flavor))
        return QStringLiteral("text/plain");
    return QStringLiteral("application/x-orvex-") + FourCharCodeToQString(flavor);
}

DragReference::DragReference(const QMimeData* data, QPoint dropPoint, UInt16 modifiers, bool fromThisProgram)
    : mData(data)
    , mDropPoint(dropPoint)
    , mModifiers(modifiers)
    , mFromThisProgram(fromThisProgram)
{
}

QList<QByteArray> DragReference::Blocks(FlavorType flavor) const
{
    QList<QByteArray> blocks;
    if (!mData)
        return blocks;
    QByteArray encoded = mData->data(MimeTypeForFlavor(flavor));
    QDataStream in(encoded);
    in >> blocks;
    if (in.status() != QDataStream::Ok)
        blocks.clear(); // not ours, or damaged: no items of this flavour
    return blocks;
}

QList<QUrl> DragReference::GetFileURLs() const
{
    return mData && mData->hasUrls() ? mData->urls() : QList<QUrl>();
}

UInt16 DragReference::CountItems() const
{
    if (!mData)
        return 0;
    qsizetype count = 0;
    for (const QString& format : mData->formats()) {
        if (format.startsWith(QLatin1String("application/x-orvex-"))) {
            QByteArray encoded = mData->data(format);
            QDataStream in(encoded);
            QList<QByteArray> blocks;
            in >> blocks;
            if (in.status() == QDataStream::Ok)
                count = std::max(count, blocks.size());
        }
    }
    count = std::max(count, GetFileURLs().size());
    if (count == 0 && mData->hasText())
        count = 1;
    return UInt16(std::min<qsizetype>(count, 0xFFFF));
}

bool DragReference::HasFlavor(UInt16 item, FlavorType flavor) const
{
    if (!mData || item < 1)
        return false;
    if (flavor == flavorTypeFileURL)
        return item <= GetFileURLs().size();
    if (IsTextFlavor(flavor))
        return item == 1 && mData->hasText();
    return item <= Blocks(flavor).size();
}

QByteArray DragReference::GetFlavorData(UInt16 item, FlavorType flavor) const
{
    if (!HasFlavor(item, flavor))
        return {};
    if (flavor == flavorTypeFileURL)
        return GetFileURLs().at(item - 1).toString(QUrl::FullyEncoded).toUtf8();
    if (IsTextFlavor(flavor))
        return mData->text().toUtf8();
    return Blocks(flavor).at(item - 1);
}

// Forwards the pane's drag events to its drop area.
class DropAreaFilter : public QObject {
public:
    explicit DropAreaFilter(LDragAndDrop* area)
        : mArea(area)
    {
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter: {
            auto* enter = static_cast<QDragEnterEvent*>(event);
            DragReference drag = Reference(enter);
            RunReportingErrors([&] {
                mArea->mCanAcceptCurrentDrag = mArea->DragIsAcceptable(drag);
                mArea->EnterDropArea(drag, !drag.IsFromThisProgram() || enter->source() != mArea->GetDropPane());
            });
            if (mArea->mCanAcceptCurrentDrag)
                Accept(enter, drag);
            else
                enter->ignore();
            return true;
        }
        case QEvent::DragMove: {
            auto* move = static_cast<QDragMoveEvent*>(event);
            if (!mArea->mCanAcceptCurrentDrag) {
                move->ignore();
                return true;
            }
            DragReference drag = Reference(move);
            RunReportingErrors([&] { mArea->InsideDropArea(drag); });
            Accept(move, drag);
            return true;
        }
        case QEvent::DragLeave: {
            DragReference drag(nullptr);
            RunReportingErrors([&] { mArea->LeaveDropArea(drag); });
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            DragReference drag = Reference(drop);
            bool accepted = mArea->mCanAcceptCurrentDrag;
            RunReportingErrors([&] {
                mArea->LeaveDropArea(drag);
                if (accepted)
                    mArea->ReceiveDragEvent(drag);
            });
            if (accepted)
                Accept(drop, drag);
            else
                drop->ignore();
            return true;
        }
        default:
            return false;
        }
    }

private:
    void Accept(QDropEvent* event, const DragReference& drag) const
    {
        Qt::DropAction action = event->proposedAction();
        RunReportingErrors([&] { action = mArea->ChooseDropAction(drag, action, event->possibleActions()); });
        if (action != event->proposedAction() && (event->possibleActions() & action)) {
            event->setDropAction(action);
            event->accept();
        } else {
            event->acceptProposedAction();
        }
    }
    DragReference Reference(QDropEvent* event) const
    {
        return DragReference(event->mimeData(), event->position().toPoint(), ModifiersFromQt(int(event->modifiers())),
            LDragAndDrop::IsDragFromThisProgram(event->mimeData()));
    }
    LDragAndDrop* mArea;
};

LDragAndDrop::LDragAndDrop(LPane* pane)
    : mPane(pane)
{
    if (pane) {
        pane->setAcceptDrops(true);
        mFilter = std::make_unique<DropAreaFilter>(this);
        pane->installEventFilter(mFilter.get());
    }
}

LDragAndDrop::~LDragAndDrop()
{
    if (mPane && mFilter)
        mPane->removeEventFilter(mFilter.get());
}

bool LDragAndDrop::IsDragFromThisProgram(const QMimeData* data)
{
    return data && data == sOwnDrag;
}

bool LDragAndDrop::DragIsAcceptable(const DragReference& drag)
{
    UInt16 count = drag.CountItems();
    if (count == 0)
        return false;
    for (UInt16 item = 1; item <= count; ++item) {
        if (!ItemIsAcceptable(drag, item))
            return false;
    }
    return true;
}

bool LDragAndDrop::ItemIsAcceptable(const DragReference&, UInt16)
{
    return false;
}

void LDragAndDrop::EnterDropArea(const DragReference& drag, bool dragHasLeftSender)
{
    if (mCanAcceptCurrentDrag && dragHasLeftSender)
        HiliteDropArea(drag);
}

void LDragAndDrop::LeaveDropArea(const DragReference& drag)
{
    if (mIsHilited)
        UnhiliteDropArea(drag);
    mCanAcceptCurrentDrag = false;
}

void LDragAndDrop::HiliteDropArea(const DragReference&)
{
    mIsHilited = true;
    if (mPane)
        mPane->Refresh();
}

void LDragAndDrop::UnhiliteDropArea(const DragReference&)
{
    mIsHilited = false;
    if (mPane)
        mPane->Refresh();
}

void LDragAndDrop::ReceiveDragEvent(const DragReference& drag)
{
    UInt16 count = drag.CountItems();
    for (UInt16 item = 1; item <= count; ++item)
        ReceiveDragItem(drag, item);
}

LDragTask::LDragTask()
    : mData(new QMimeData)
{
}

LDragTask::~LDragTask()
{
    delete mData;
}

int LDragTask::ItemIndex(ItemReference item)
{
    int index = int(mItems.indexOf(item));
    if (index < 0) {
        mItems.append(item);
        index = int(mItems.size()) - 1;
    }
    return index;
}

void LDragTask::AddFlavor(ItemReference item, FlavorType flavor, const QByteArray& data)
{
    int index = ItemIndex(item);
    if (flavor == flavorTypeFileURL) {
        AddFileURL(item, QUrl::fromEncoded(data));
        return;
    }
    if (IsTextFlavor(flavor)) {
        mData->setText(QString::fromUtf8(data));
        return;
    }
    auto it = std::find_if(mFlavors.begin(), mFlavors.end(), [&](const auto& f) { return f.first == flavor; });
    if (it == mFlavors.end()) {
        mFlavors.append(qMakePair(flavor, QList<QByteArray>()));
        it = mFlavors.end() - 1;
    }
    while (it->second.size() <= index)
        it->second.append(QByteArray());
    it->second[index] = data;
    Encode();
}

void LDragTask::AddFileURL(ItemReference item, const QUrl& url)
{
    ItemIndex(item);
    mUrls.append(url);
    mData->setUrls(mUrls);
}

void LDragTask::AddRectangle(ItemReference item, const QRect& bounds)
{
    ItemIndex(item);
    mRectangles.append(bounds);
}

void LDragTask::SetDragImage(const QPixmap& image, QPoint hotSpot)
{
    mImage = image;
    mHotSpot = hotSpot;
}

void LDragTask::Encode()
{
    for (const auto& flavor : mFlavors) {
        QByteArray encoded;
        QDataStream out(&encoded, QIODevice::WriteOnly);
        out << flavor.second;
        mData->setData(MimeTypeForFlavor(flavor.first), encoded);
    }
}

Qt::DropAction LDragTask::DoDrag(QWidget* source, Qt::DropActions actions)
{
    auto* drag = new QDrag(source);
    drag->setMimeData(mData);
    QMimeData* data = mData;
    mData = new QMimeData; // QDrag owns the data now
    // The outlines of the dragged rectangles are what moves under the mouse.
    if (!mImage.isNull()) {
        drag->setPixmap(mImage);
        drag->setHotSpot(mHotSpot);
    } else if (!mRectangles.isEmpty()) {
        QRect all;
        for (const QRect& r : mRectangles)
            all = all.united(r);
        const qreal ratio = source ? source->devicePixelRatioF() : qApp->devicePixelRatio();
        QPixmap picture(all.size().expandedTo(QSize(1, 1)) * ratio);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.setPen(QPen(QColor(0, 0, 0, 160), 2));
        for (const QRect& r : mRectangles)
            painter.drawRect(r.translated(-all.topLeft()).adjusted(1, 1, -1, -1));
        painter.end();
        drag->setPixmap(picture);
        if (source)
            drag->setHotSpot(source->mapFromGlobal(QCursor::pos()) - all.topLeft());
    }
    sOwnDrag = data;
    mDropAction = drag->exec(actions);
    sOwnDrag = nullptr;
    return mDropAction;
}
