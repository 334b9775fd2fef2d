#include "CToolbarCustomizeDialog.h"

#include "BundleStrings.h"
#include "CToolbar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
bool MayRepeat(const QString& identifier)
{
    return identifier == kToolbarSpaceIdentifier || identifier == kToolbarFlexibleSpaceIdentifier
        || identifier == kToolbarSeparatorIdentifier;
}

QString Text(const char* key)
{
    return BundleLocalizedString(QString::fromLatin1(key));
}

// The pictures of the items that have none of their own: spaces and the separator.
QPixmap PlaceholderImage(const QString& identifier)
{
    QPixmap image(48, 32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(QColor(120, 124, 130), 1, Qt::DashLine);
    painter.setPen(pen);
    if (identifier == kToolbarSeparatorIdentifier) {
        painter.setPen(QPen(QColor(120, 124, 130), 2));
        painter.drawLine(24, 4, 24, 28);
    } else if (identifier == kToolbarSpaceIdentifier) {
        painter.drawRect(QRectF(14.5, 6.5, 19, 19));
    } else {
        painter.drawRect(QRectF(2.5, 6.5, 43, 19));
        painter.setPen(QPen(QColor(120, 124, 130), 1.5));
        painter.drawLine(8, 16, 40, 16);
        painter.drawLine(8, 16, 12, 12);
        painter.drawLine(8, 16, 12, 20);
        painter.drawLine(40, 16, 36, 12);
        painter.drawLine(40, 16, 36, 20);
    }
    return image;
}

// The allowed set: items are copied out of it; a bar item dropped on it goes away.
class AllowedList : public QListWidget {
public:
    QListWidget* bar = nullptr;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (event->source() == bar) {
            event->setDropAction(Qt::MoveAction);
            event->accept();
        } else {
            QListWidget::dragEnterEvent(event);
        }
    }
    void dragMoveEvent(QDragMoveEvent* event) override
    {
        if (event->source() == bar) {
            event->setDropAction(Qt::MoveAction);
            event->accept();
        } else {
            QListWidget::dragMoveEvent(event);
        }
    }
    void dropEvent(QDropEvent* event) override
    {
        // Accepted as a move, so the bar removes what was dragged; nothing is added here.
        if (event->source() == bar) {
            event->setDropAction(Qt::MoveAction);
            event->accept();
        }
    }
};

// The bar: items from the allowed set are copied in, its own items move.
class BarList : public QListWidget {
public:
    QListWidget* allowed = nullptr;
    std::function<void(int)> dropped;

protected:
    void dropEvent(QDropEvent* event) override
    {
        if (event->source() == allowed)
            event->setDropAction(Qt::CopyAction);
        int before = count();
        QListWidget::dropEvent(event);
        if (event->source() == allowed && count() > before && dropped)
            dropped(currentRow());
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) {
            delete takeItem(currentRow());
            return;
        }
        QListWidget::keyPressEvent(event);
    }
};
} // namespace

CToolbarCustomizeDialog::CToolbarCustomizeDialog(CToolbar* toolbar, QWidget* parent)
    : QDialog(parent)
    , mToolbar(toolbar)
{
    setWindowTitle(Text("TOOLBAR_CUSTOMIZE_TITLE"));
    setWindowModality(Qt::WindowModal);

    auto* allowed = new AllowedList;
    auto* bar = new BarList;
    allowed->bar = bar;
    bar->allowed = allowed;
    bar->dropped = [this](int row) { RemoveRepeats(row); };
    mAllowed = allowed;
    mBar = bar;

    for (QListWidget* list : { mAllowed, mBar }) {
        list->setViewMode(QListView::IconMode);
        list->setIconSize(QSize(84, 32)); // the selectors are wide
        list->setGridSize(QSize(96, 64));
        list->setMovement(QListView::Snap);
        list->setResizeMode(QListView::Adjust);
        list->setWordWrap(true);
        list->setDragEnabled(true);
        list->setAcceptDrops(true);
        list->setDropIndicatorShown(true);
    }
    mAllowed->setDragDropMode(QAbstractItemView::DragDrop);
    mAllowed->setDefaultDropAction(Qt::CopyAction);
    mAllowed->setMinimumSize(600, 220);
    mBar->setDragDropMode(QAbstractItemView::DragDrop);
    mBar->setDefaultDropAction(Qt::MoveAction);
    mBar->setFlow(QListView::LeftToRight);
    mBar->setWrapping(false);
    mBar->setFixedHeight(86);

    QStringList allowedIdentifiers;
    toolbar->CopyAllowedIdentifiers(allowedIdentifiers);
    for (const QString& identifier : allowedIdentifiers) {
        if (QListWidgetItem* item = MakeItem(identifier))
            mAllowed->addItem(item);
    }
    QObject::connect(mAllowed, &QListWidget::itemDoubleClicked, this,
        [this](QListWidgetItem* item) { AddItem(item->data(Qt::UserRole).toString()); });
    for (const QString& identifier : toolbar->GetItemIdentifiers()) {
        if (QListWidgetItem* item = MakeItem(identifier))
            mBar->addItem(item);
    }

    mDisplayMode = new QComboBox;
    mDisplayMode->addItem(Text("TOOLBAR_ICON_AND_TEXT"), toolbarDisplay_IconAndLabel);
    mDisplayMode->addItem(Text("TOOLBAR_ICON_ONLY"), toolbarDisplay_IconOnly);
    mDisplayMode->addItem(Text("TOOLBAR_TEXT_ONLY"), toolbarDisplay_LabelOnly);
    int mode = mDisplayMode->findData(toolbar->GetDisplayMode());
    mDisplayMode->setCurrentIndex(mode < 0 ? 0 : mode);
    mSmall = new QCheckBox(Text("TOOLBAR_USE_SMALL_SIZE"));
    mSmall->setChecked(toolbar->GetSizeMode() == toolbarSize_Small);

    auto* restore = new QPushButton(Text("TOOLBAR_RESTORE_DEFAULTS"));
    QObject::connect(restore, &QPushButton::clicked, this, [this] { RestoreDefaultSet(); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(Text("TOOLBAR_DONE"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(Text("TOOLBAR_CUSTOMIZE_HINT")));
    layout->addWidget(mAllowed, 1);
    layout->addWidget(new QLabel(Text("TOOLBAR_CUSTOMIZE_BAR")));
    layout->addWidget(mBar);
    auto* options = new QHBoxLayout;
    options->addWidget(new QLabel(Text("TOOLBAR_SHOW")));
    options->addWidget(mDisplayMode);
    options->addWidget(mSmall);
    options->addStretch(1);
    options->addWidget(restore);
    options->addWidget(buttons);
    layout->addLayout(options);
}

QListWidgetItem* CToolbarCustomizeDialog::MakeItem(const QString& identifier) const
{
    QString label;
    QPixmap image;
    if (!mToolbar->DescribeItem(identifier, label, image))
        return nullptr;
    if (image.isNull())
        image = PlaceholderImage(identifier);
    auto* item = new QListWidgetItem(QIcon(image), label);
    item->setData(Qt::UserRole, identifier);
    item->setToolTip(label);
    return item;
}

QStringList CToolbarCustomizeDialog::ItemIdentifiers() const
{
    QStringList identifiers;
    for (int row = 0; row < mBar->count(); ++row)
        identifiers.append(mBar->item(row)->data(Qt::UserRole).toString());
    return identifiers;
}

QStringList CToolbarCustomizeDialog::AllowedIdentifiers() const
{
    QStringList identifiers;
    for (int row = 0; row < mAllowed->count(); ++row)
        identifiers.append(mAllowed->item(row)->data(Qt::UserRole).toString());
    return identifiers;
}

SInt32 CToolbarCustomizeDialog::DisplayMode() const
{
    return mDisplayMode->currentData().toInt();
}

SInt32 CToolbarCustomizeDialog::SizeMode() const
{
    return mSmall->isChecked() ? toolbarSize_Small : toolbarSize_Normal;
}

void CToolbarCustomizeDialog::AddItem(const QString& identifier, int row)
{
    QListWidgetItem* item = MakeItem(identifier);
    if (!item)
        return;
    if (row < 0 || row > mBar->count())
        row = mBar->count();
    mBar->insertItem(row, item);
    RemoveRepeats(row);
}

void CToolbarCustomizeDialog::RemoveItem(int row)
{
    delete mBar->takeItem(row);
}

void CToolbarCustomizeDialog::MoveItem(int from, int to)
{
    if (from < 0 || from >= mBar->count())
        return;
    QListWidgetItem* item = mBar->takeItem(from);
    mBar->insertItem(std::clamp(to, 0, mBar->count()), item);
}

void CToolbarCustomizeDialog::RestoreDefaultSet()
{
    mBar->clear();
    for (const QString& identifier : mToolbar->DefaultItemIdentifiers()) {
        if (QListWidgetItem* item = MakeItem(identifier))
            mBar->addItem(item);
    }
}

void CToolbarCustomizeDialog::RemoveRepeats(int keptRow)
{
    // An item that may appear once moves to where it was put.
    if (keptRow < 0 || keptRow >= mBar->count())
        return;
    QString identifier = mBar->item(keptRow)->data(Qt::UserRole).toString();
    if (MayRepeat(identifier))
        return;
    for (int row = mBar->count() - 1; row >= 0; --row) {
        if (row != keptRow && mBar->item(row)->data(Qt::UserRole).toString() == identifier)
            delete mBar->takeItem(row);
    }
}
