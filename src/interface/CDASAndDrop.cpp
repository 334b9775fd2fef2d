#include "CDASAndDrop.h"

#include "ExceptionCode.h"
#include "LCommander.h"
#include "LView.h"

#include <QDir>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStandardPaths>

namespace {
// The hilite ring, drawn over the area's content while a drag can drop there.
class HiliteRing : public QWidget {
public:
    explicit HiliteRing(QWidget* parent)
        : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QRegion ring = QRegion(rect()) - QRegion(rect().adjusted(CDASAndDrop::kHiliteInset, CDASAndDrop::kHiliteInset,
                                                   -CDASAndDrop::kHiliteInset, -CDASAndDrop::kHiliteInset));
        painter.setClipRegion(ring);
        painter.fillRect(rect(), colour);
    }

public:
    QColor colour;
};

QUrl& NotedDropLocation()
{
    static QUrl location;
    return location;
}
} // namespace

CDASAndDrop::CDASAndDrop(LPane* pane)
    : LDragAndDrop(pane)
{
}

CDASAndDrop::~CDASAndDrop()
{
    StopAutoScroll();
    delete mRing;
}

LView* CDASAndDrop::ScrolledView() const
{
    return dynamic_cast<LView*>(GetDropPane());
}

void CDASAndDrop::EnterDropArea(const DragReference& drag, bool dragHasLeftSender)
{
    mDragPoint = drag.GetDropPoint();
    LDragAndDrop::EnterDropArea(drag, dragHasLeftSender);
    StartAutoScroll(drag);
}

void CDASAndDrop::InsideDropArea(const DragReference& drag)
{
    mDragPoint = drag.GetDropPoint();
    LDragAndDrop::InsideDropArea(drag);
}

void CDASAndDrop::LeaveDropArea(const DragReference& drag)
{
    LDragAndDrop::LeaveDropArea(drag);
    StopAutoScroll();
}

void CDASAndDrop::HiliteDropArea(const DragReference&)
{
    mIsHilited = true;
    LPane* pane = GetDropPane();
    if (!pane)
        return;
    if (!mRing)
        mRing = new HiliteRing(pane);
    static_cast<HiliteRing*>(mRing.data())->colour = GetHiliteColor();
    mRing->setGeometry(pane->rect());
    mRing->raise();
    mRing->show();
}

QColor CDASAndDrop::GetHiliteColor() const
{
    LPane* pane = GetDropPane();
    return pane ? pane->palette().color(QPalette::Highlight) : QColor(Qt::blue);
}

void CDASAndDrop::UnhiliteDropArea(const DragReference&)
{
    if (!mIsHilited)
        return;
    mIsHilited = false;
    if (mRing)
        mRing->hide(); // the ring's place is drawn again without it
}

void CDASAndDrop::StartAutoScroll(const DragReference&)
{
    if (mTimer.IsInstalled())
        return;
    mStepCount = 0;
    mTimer.Install(0, kSlowInterval, [this] { AutoScrollStep(); });
}

void CDASAndDrop::StopAutoScroll()
{
    mTimer.Remove();
}

void CDASAndDrop::AutoScrollStep()
{
    LView* view = ScrolledView();
    if (!view)
        return;
    QPoint where = mDragPoint;
    SInt32 h = 0, v = 0;
    if (where.x() < kScrollBand)
        h = -1;
    if (where.x() >= view->width() - kScrollBand)
        h = 1; // overlapping bands: the right one wins
    if (where.y() < kScrollBand)
        v = -1;
    if (where.y() >= view->height() - kScrollBand)
        v = 1;
    LimitScroll(h, v);
    if (h == 0 && v == 0)
        return;
    DragReference none(nullptr);
    bool hilited = mIsHilited;
    UnhiliteDropArea(none);
    SPoint32 unit = view->GetScrollUnit();
    view->ScrollPinnedImageBy(h * unit.h, v * unit.v, true);
    if (hilited)
        HiliteDropArea(none);
    if (++mStepCount == kSlowSteps) {
        mTimer.Remove();
        mTimer.Install(0, kFastInterval, [this] { AutoScrollStep(); });
    }
}

void CDASAndDrop::LimitScroll(SInt32& ioHorizontal, SInt32& ioVertical) const
{
    LView* view = ScrolledView();
    if (!view) {
        ioHorizontal = ioVertical = 0;
        return;
    }
    SPoint32 scrolled = view->GetScrollPosition();
    SDimension32 image = view->GetImageSize();
    auto limit = [](SInt32& step, SInt32 position, SInt32 imageSize, SInt32 frameSize) {
        if (imageSize <= frameSize)
            step = 0; // the whole image shows
        else if (step < 0 && position <= 0)
            step = 0;
        else if (step > 0 && position + frameSize >= imageSize)
            step = 0;
    };
    limit(ioHorizontal, scrolled.h, image.width, view->width());
    limit(ioVertical, scrolled.v, image.height, view->height());
}

CDragTask::CDragTask() = default;

CDragTask::~CDragTask() = default;

void CDragTask::AddRectangle(ItemReference item, const QRect& bounds)
{
    QRegion outline = QRegion(bounds) - QRegion(bounds.adjusted(2, 2, -2, -2));
    mOutline += outline;
    LDragTask::AddRectangle(item, outline.boundingRect());
}

Qt::DropAction CDragTask::DoDrag(QWidget* source, Qt::DropActions actions)
{
    NotedDropLocation() = QUrl();
    Qt::DropAction action = LDragTask::DoDrag(source, actions);
    mDropLocation = NotedDropLocation();
    NotedDropLocation() = QUrl();
    return action;
}

QUrl CDragTask::CopyDropLocationURL() const
{
    return mDropLocation.isLocalFile() ? mDropLocation : QUrl();
}

bool CDragTask::DroppedInTrash() const
{
    QUrl location = CopyDropLocationURL();
    if (location.isEmpty())
        return false;
    QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash/files");
    return QDir::cleanPath(location.toLocalFile()).compare(QDir::cleanPath(trash), Qt::CaseInsensitive) == 0;
}

void CDragTask::NoteDropLocation(const QUrl& folder)
{
    NotedDropLocation() = folder;
}

namespace {
// The replacement of a field's whole text by a dropped one.
class DroppedTextAction : public LAction {
public:
    DroppedTextAction(LEditText* field, QString before, QString after)
        : LAction(150, 5, true)
        , mField(field)
        , mBefore(std::move(before))
        , mAfter(std::move(after))
    {
    }

protected:
    void UndoSelf() override
    {
        if (mField)
            mField->SetCFDescriptor(mBefore);
    }
    void RedoSelf() override
    {
        if (mField)
            mField->SetCFDescriptor(mAfter);
    }

private:
    QPointer<LEditText> mField;
    QString mBefore;
    QString mAfter;
};
} // namespace

CDragEditField::CDragEditField(const SPaneInfo& info, const QString& text)
    : LEditText(info, text)
    , LDragAndDrop(this)
{
    InitDragEditField();
}

CDragEditField::CDragEditField(const LLayoutData& data)
    : LEditText(data)
    , LDragAndDrop(this)
{
    InitDragEditField();
}

void CDragEditField::InitDragEditField()
{
    // The field's own widget drags its selection out; drops come to the pane.
    GetLineEdit()->setDragEnabled(true);
    GetLineEdit()->setAcceptDrops(false);
}

bool CDragEditField::ItemIsAcceptable(const DragReference& drag, UInt16 item)
{
    // Text of its own: a list of files also reads as text, but is not one.
    return drag.HasFlavor(item, flavorTypeText) && drag.MimeData() && drag.MimeData()->hasFormat(QStringLiteral("text/plain"));
}

void CDragEditField::ReceiveDragItem(const DragReference& drag, UInt16 item)
{
    QByteArray bytes = drag.GetFlavorData(item, flavorTypeText);
    if (bytes.isEmpty())
        return;
    if (bytes.size() > kMaxDroppedBytes)
        ThrowOSErr_('asrt', "a dropped text of more than 255 bytes");
    QString before = GetCFDescriptor();
    QString after = QString::fromUtf8(bytes);
    LCommander* previous = LCommander::GetTarget();
    GetLineEdit()->setFocus(Qt::OtherFocusReason);
    Refresh();
    SelectAll();
    SetCFDescriptor(after);
    auto* action = new DroppedTextAction(this, before, GetCFDescriptor());
    if (LCommander* target = LCommander::GetTarget())
        target->PostAction(action);
    else
        delete action;
    if (previous && previous != LCommander::GetTarget())
        LCommander::SwitchTarget(previous);
}

bool CDragEditField::eventFilter(QObject* watched, QEvent* event)
{
    // A click in a field that is not being edited only starts editing, caret at the start.
    if (watched == GetLineEdit() && event->type() == QEvent::MouseButtonPress && !GetLineEdit()->hasFocus()) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            GetLineEdit()->setFocus(Qt::MouseFocusReason);
            GetLineEdit()->setCursorPosition(0);
            return true;
        }
    }
    return LEditText::eventFilter(watched, event);
}
