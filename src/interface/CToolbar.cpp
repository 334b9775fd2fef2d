#include "CToolbar.h"

#include "AccessiblePart.h"
#include "BundleStrings.h"
#include "CContextualMenu.h"
#include "CFloater.h"
#include "CToolbarCustomizeDialog.h"
#include "DeferredIcon.h"
#include "ExceptionCode.h"
#include "InkColour.h"
#include "LApplication.h"
#include "LMenuBar.h"
#include "LWindow.h"
#include "Preferences.h"
#include "UReportErrors.h"
#include "UResources.h"

#include <QAccessibleWidget>
#include <QActionGroup>
#include <QApplication>
#include <QHash>
#include <QIconEngine>
#include <QLabel>
#include <QLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidgetAction>

#include <algorithm>
#include <functional>

Q_LOGGING_CATEGORY(lcToolbar, "orvex.errors.toolbar")

namespace {
constexpr const char* kIdentifierProperty = "orvexIdentifier";
constexpr const char* kCommandProperty = "orvexCommand";
constexpr int kSmallIconSize = 24;
constexpr int kNormalIconSize = 32;
constexpr int kSpaceWidth = 16;

// Stored configuration keys (under the toolbar identifier).
const QString kItemsKey = QStringLiteral("ItemIdentifiers");
const QString kDisplayModeKey = QStringLiteral("DisplayMode");
const QString kSizeModeKey = QStringLiteral("SizeMode");

struct CommandLabel {
    const char* labelKey;  // null: the menu-bar item's text
    const char* systemIcon; // null: the menu item's icon or the bundle image
};

const QHash<CommandT, CommandLabel>& LabelTable()
{
    static const QHash<CommandT, CommandLabel> table = {
        { 15, { nullptr, "15.png" } }, // the system's delete icon
        { 1003, { "ACTUAL_SIZE_LABEL", nullptr } },
        { 1008, { "VIEW_AS_LABEL", nullptr } },
        { 1009, { "VIEW_AS_LABEL", nullptr } },
        { 1013, { "VIEW_AS_LABEL", nullptr } },
        { 1019, { "VIEW_AS_LABEL", nullptr } },
        { 1082, { "VIEW_AS_LABEL", nullptr } },
        { 1083, { "VIEW_AS_LABEL", nullptr } },
        { 1012, { "SLIDESHOW_LABEL", nullptr } },
        { 1016, { "REVEAL_FILE_LABEL", nullptr } },
        { 1023, { "IMPORT_LOCAL_LABEL", nullptr } },
        { 1024, { "IMPORT_IPHOTO_LABEL", nullptr } },
        { 1025, { "IMPORT_CAMERA_LABEL", nullptr } },
        { 1028, { "DELETE_LABEL", "1028.png" } }, // the trash
        { 1032, { "TASK_MANAGER_LABEL", "1032.png" } },
        { 1033, { "SET_DESKTOP_LABEL", nullptr } },
        { 1035, { "ADD_URL_LABEL", "1035.png" } }, // the network
        { 1046, { "MEDIA_PLAY_LABEL", nullptr } },
        { 1058, { "EXPORT_MEDIA_LABEL", nullptr } },
        { 1059, { "EXPORT_XML_LABEL", nullptr } },
        { 1064, { "ACTIVATE_FONT_LABEL", "1075.png" } }, // a font file
        { 1066, { "DEACTIVATE_FONT_LABEL", "1075.png" } },
        { 1067, { "PRINT_SELECTION_LABEL", nullptr } },
        { 1068, { "FULL_SCREEN_LABEL", nullptr } },
        { 1069, { "ZOOM_IN_LABEL", nullptr } },
        { 1070, { "ZOOM_OUT_LABEL", nullptr } },
        { 1072, { "SCALE_TO_FIT_LABEL", nullptr } },
        { 1075, { "IMPORT_INSTALLED_FONTS_LABEL", nullptr } },
        { 1077, { "NEXT_LABEL", nullptr } },
        { 1089, { "ADD_DESKTOP_LABEL", nullptr } },
    };
    return table;
}

// A menu item's text as a toolbar label: blanks and trailing ellipses trimmed.
QString TrimmedMenuText(QString text)
{
    const QStringList ellipses = { BundleLocalizedString(QStringLiteral("...")), QStringLiteral("..."), QString(QChar(0x2026)) };
    text = text.trimmed();
    for (const QString& ellipsis : ellipses) {
        if (ellipsis.isEmpty())
            continue;
        while (text.endsWith(ellipsis))
            text.chop(ellipsis.size());
        while (text.startsWith(ellipsis))
            text.remove(0, ellipsis.size());
    }
    return text.trimmed();
}

bool IsStandardItem(const QString& identifier)
{
    return identifier == kToolbarSpaceIdentifier || identifier == kToolbarFlexibleSpaceIdentifier
        || identifier == kToolbarSeparatorIdentifier || identifier == kToolbarPrintIdentifier
        || identifier == kToolbarCustomizeIdentifier;
}

// A custom item's view with its label under it, as the command items show theirs.
class LabelledItem : public QWidget {
public:
    LabelledItem(QWidget* control, const QString& label)
        : mControl(control)
    {
        auto* layout = new QVBoxLayout(this);
        // Laid out as the tool buttons beside it: the control where their icons
        // are, the label where theirs are.
        layout->setContentsMargins(4, 3, 4, 3);
        layout->setSpacing(2);
        layout->addStretch(1);
        layout->addWidget(control, 0, Qt::AlignHCenter);
        mLabel = new QLabel(label, this);
        mLabel->setAlignment(Qt::AlignHCenter);
        layout->addWidget(mLabel, 0, Qt::AlignHCenter);
        setToolTip(label);
    }
    QWidget* Control() const { return mControl; }
    void ShowLabel(bool show) { mLabel->setVisible(show); }

private:
    QWidget* mControl;
    QLabel* mLabel;
};

// A part of a selector: the command it sends and where it lies across the image.
struct SelectorPart {
    CommandT command;
    int left, right; // inclusive
};

// The view or browser selector: an image whose click picks a command by the
// horizontal position. From the keyboard (Tab reaches it, a click leaves the
// keyboard where it was) Left and Right move the focus mark from segment to
// segment and Space or Return picks the marked one.
class SelectorView : public QWidget {
public:
    SelectorView(CToolbar* owner, int width, std::vector<SelectorPart> parts, std::function<void(CommandT)> after)
        : mOwner(owner)
        , mParts(std::move(parts))
        , mAfter(std::move(after))
    {
        setFixedSize(width, 25);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
    }
    void SetImage(const QPixmap& image)
    {
        mImage = image;
        update();
    }
    const QPixmap& Image() const { return mImage; }
    int FocusSegment() const { return mFocusSegment; }
    const std::vector<SelectorPart>& Parts() const { return mParts; }
    CToolbar* Owner() const { return mOwner; }
    // The part's command goes to the window's target, as a click on it sends it.
    void Choose(CommandT command)
    {
        mAfter(command);
        mOwner->PostSelectorCommand(command);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setOpacity(isEnabled() ? 1.0 : 0.5);
        painter.drawPixmap(rect(), mImage);
        if (hasFocus()) { // the keyboard's segment, ringed in the highlight colour
            painter.setOpacity(1.0);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
            painter.drawRoundedRect(QRectF(PartRect(mFocusSegment)).adjusted(1.5, 1.5, -1.5, -1.5), 3, 3);
        }
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton)
            return;
        const int x = int(event->position().x());
        for (const SelectorPart& part : mParts) {
            if (x <= part.right || &part == &mParts.back()) {
                Choose(part.command);
                return;
            }
        }
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        const int segments = int(mParts.size());
        switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
            mFocusSegment = std::clamp(mFocusSegment + (event->key() == Qt::Key_Left ? -1 : 1), 0, segments - 1);
            update();
            return;
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Choose(mParts[size_t(mFocusSegment)].command);
            return;
        default:
            QWidget::keyPressEvent(event);
        }
    }
    void focusInEvent(QFocusEvent* event) override
    {
        update();
        QWidget::focusInEvent(event);
    }
    void focusOutEvent(QFocusEvent* event) override
    {
        update();
        QWidget::focusOutEvent(event);
    }

private:
    // The part's span; the last reaches the selector's right edge.
    QRect PartRect(int index) const
    {
        const SelectorPart& part = mParts[size_t(index)];
        const int right = index + 1 == int(mParts.size()) ? width() - 1 : part.right;
        return QRect(QPoint(part.left, 0), QPoint(right, height() - 1));
    }

    CToolbar* mOwner;
    std::vector<SelectorPart> mParts;
    std::function<void(CommandT)> mAfter;
    QPixmap mImage;
    int mFocusSegment = 0;
};

// A selector's part as screen readers see it: a toggle button named as its
// command's menu item, pressed when the command is marked.
class SelectorPartAccessible : public AccessiblePart, public QAccessibleActionInterface {
public:
    SelectorPartAccessible(SelectorView* selector, size_t part)
        : AccessiblePart(selector)
        , mPart(part)
    {
    }
    bool isValid() const override { return Selector() && mPart < Selector()->Parts().size(); }
    QAccessible::Role role() const override { return QAccessible::PushButton; }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }
    QString text(QAccessible::Text kind) const override
    {
        if (kind != QAccessible::Name || !isValid())
            return {};
        LMenu* menu = nullptr;
        SInt16 index = 0;
        LMenuBar* menuBar = LMenuBar::GetCurrentMenuBar();
        if (menuBar && menuBar->FindMenuItem(Part().command, menu, index) && menu && menu->Item(index))
            return TrimmedMenuText(menu->Item(index)->text).remove(QLatin1Char('&'));
        return QString::number(Part().command);
    }
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect local(Part().left, 0, Part().right - Part().left + 1, Selector()->height());
        return QRect(Selector()->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        bool enabled = false, marked = false;
        Selector()->Owner()->GetCommandStatus(Part().command, enabled, marked);
        state.checkable = true;
        state.checked = marked;
        state.disabled = !enabled || !Selector()->isEnabled();
        state.invisible = !Selector()->isVisible();
        return state;
    }
    QStringList actionNames() const override { return { pressAction() }; }
    void doAction(const QString& action) override
    {
        if (action == pressAction() && isValid() && !state().disabled)
            Selector()->Choose(Part().command);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    SelectorView* Selector() const { return static_cast<SelectorView*>(Owner()); }
    const SelectorPart& Part() const { return Selector()->Parts()[mPart]; }

    size_t mPart;
};

// The selector: a group named by its label, its parts the children.
class SelectorAccessible : public QAccessibleWidget {
public:
    explicit SelectorAccessible(SelectorView* selector)
        : QAccessibleWidget(selector, QAccessible::Grouping)
    {
    }
    ~SelectorAccessible() override
    {
        for (QAccessible::Id id : mParts)
            QAccessible::deleteAccessibleInterface(id);
    }
    int childCount() const override { return int(Selector()->Parts().size()); }
    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        if (mParts.empty()) {
            for (size_t part = 0; part < Selector()->Parts().size(); ++part)
                mParts.push_back(QAccessible::registerAccessibleInterface(new SelectorPartAccessible(Selector(), part)));
        }
        return QAccessible::accessibleInterface(mParts[size_t(index)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        const QAccessible::Id id = child ? QAccessible::uniqueId(const_cast<QAccessibleInterface*>(child)) : 0;
        const auto found = std::find(mParts.begin(), mParts.end(), id);
        return child && found != mParts.end() ? int(found - mParts.begin()) : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i) {
            if (child(i)->rect().contains(x, y))
                return child(i);
        }
        return nullptr;
    }

private:
    SelectorView* Selector() const { return static_cast<SelectorView*>(widget()); }
    mutable std::vector<QAccessible::Id> mParts;
};

QAccessibleInterface* SelectorAccessibleFactory(const QString&, QObject* object)
{
    auto* selector = dynamic_cast<SelectorView*>(object);
    return selector ? new SelectorAccessible(selector) : nullptr;
}

// An item's identifier, also its object name, by which FindItem looks it up.
void SetIdentifier(QAction* item, const QString& identifier)
{
    item->setProperty(kIdentifierProperty, identifier);
    item->setObjectName(identifier);
}

QWidgetAction* MakeWidgetItem(QWidget* view, const QString& identifier)
{
    auto* action = new QWidgetAction(nullptr);
    action->setDefaultWidget(view);
    SetIdentifier(action, identifier);
    action->setProperty(kCommandProperty, 0);
    return action;
}

LabelledItem* LabelledOf(const QAction* action)
{
    auto* widgetAction = qobject_cast<const QWidgetAction*>(action);
    return widgetAction ? dynamic_cast<LabelledItem*>(widgetAction->defaultWidget()) : nullptr;
}
} // namespace

namespace {
// Every toolbar that exists, so that renumbered commands reach the bars on screen.
std::vector<CToolbar*>& LiveToolbars()
{
    static std::vector<CToolbar*> toolbars;
    return toolbars;
}

// The identifiers with each renumbered command's item following its command; an
// item whose command maps to cmd_Nothing is dropped.
QStringList RenumberedIdentifiers(const QStringList& items, const QHash<CommandT, CommandT>& renumbered)
{
    QStringList result;
    for (const QString& identifier : items) {
        const CommandT command = CToolbar::CommandForIdentifier(identifier);
        if (command == cmd_Nothing || !renumbered.contains(command)) {
            result << identifier;
            continue;
        }
        if (const CommandT now = renumbered.value(command); now != cmd_Nothing)
            result << CToolbar::CopyIdentifierForCommand(now);
    }
    return result;
}
} // namespace

// A bar joins the commander chain of its window in Create, not the default
// commander's: it is a member of its window and must never be deleted as a sub.
CToolbar::CToolbar()
    : LCommander(static_cast<LCommander*>(nullptr))
{
    LiveToolbars().push_back(this);
    static const bool selectorsAccessible = [] {
        QAccessible::installFactory(SelectorAccessibleFactory);
        return true;
    }();
    (void)selectorsAccessible;
}

CToolbar::~CToolbar()
{
    std::erase(LiveToolbars(), this);
    delete mBarWatcher; // nothing calls back into a toolbar that is gone
    // A window being deleted takes its bars with it.
    if (mToolBar && mWindow && mWindow->GetShell() && mWindow->GetToolBar() == mToolBar)
        mWindow->SetToolBar(nullptr);
}

QPixmap CToolbar::ToolbarImage(const QString& name, bool ownFace)
{
    const QPalette palette = QGuiApplication::palette();
    const bool darkBar = !ownFace && IsDarkGround(palette, QPalette::Window, QPalette::WindowText);
    // Shared by every toolbar for the life of the program, for each look of the bar.
    static QHash<QString, QPixmap> cache;
    const QString key = (darkBar ? QStringLiteral("dark:") : QString()) + name;
    auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    QPixmap image = QPixmap::fromImage(UResources::ReadImage(QStringLiteral(":/toolbar/") + name));
    if (darkBar && !image.isNull())
        image = InkFollowingPalette(image, palette.color(QPalette::WindowText));
    cache.insert(key, image);
    return image;
}

namespace {
// Calls back, once the events at hand are handled, when the bar it watches
// changes size, shows or lays out again.
class BarLayoutWatcher : public QObject {
public:
    BarLayoutWatcher(QObject* bar, std::function<void()> changed)
        : QObject(bar)
        , mChanged(std::move(changed))
    {
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if ((type == QEvent::Resize || type == QEvent::Show || type == QEvent::LayoutRequest) && !mPending) {
            mPending = true;
            QTimer::singleShot(0, this, [this] {
                mPending = false;
                RunReportingErrors([&] { mChanged(); });
            });
        }
        return false;
    }

private:
    std::function<void()> mChanged;
    bool mPending = false;
};

// The "»" of the button that shows the items past the bar's end, drawn in the
// palette's button text colour at the moment it is painted: the style's own
// picture is dark whatever the palette, and vanishes on a dark bar.
class MoreItemsIconEngine : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        const QColor ink = QApplication::palette().color(
            mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active, QPalette::ButtonText);
        const qreal side = std::min(rect.width(), rect.height());
        const QRectF box(QPointF(rect.center()) - QPointF(side / 2, side / 2) + QPointF(0.5, 0.5), QSizeF(side, side));
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(ink, std::max<qreal>(1.0, side / 8), Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        painter->setBrush(Qt::NoBrush);
        const qreal high = box.top() + side * 0.3, low = box.top() + side * 0.7, middle = box.center().y();
        for (const qreal left : { box.left() + side * 0.2, box.left() + side * 0.5 })
            painter->drawPolyline(QPolygonF({ QPointF(left, high), QPointF(left + side * 0.2, middle), QPointF(left, low) }));
        painter->restore();
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap picture(size);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return picture;
    }
    QIconEngine* clone() const override { return new MoreItemsIconEngine; }
};

// Gives the bar's "»" button its picture in the palette's colours, again when
// the style has put its own back.
void PaintMoreItemsFromPalette(QToolBar* bar)
{
    QToolButton* more = bar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
    if (!more || more->icon().cacheKey() == more->property("orvexMoreIcon").toLongLong())
        return;
    const QIcon icon(new MoreItemsIconEngine);
    more->setIcon(icon);
    more->setProperty("orvexMoreIcon", icon.cacheKey());
}
} // namespace

void CToolbar::Create(const QString& toolbarIdentifier, LWindow* window, UInt32 attributes)
{
    if (!window)
        ThrowOSErr_('nilP', "a toolbar needs a window");
    mWindow = window;
    mIdentifier = toolbarIdentifier;
    mAttributes = attributes;
    SetSuperCommander(window);

    auto* bar = new QToolBar;
    bar->setObjectName(toolbarIdentifier);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(bar, &QWidget::customContextMenuRequested, bar, [this](const QPoint& where) {
        QMenu menu;
        auto* group = new QActionGroup(&menu);
        const std::pair<SInt32, const char*> modes[] = { { toolbarDisplay_IconAndLabel, "TOOLBAR_ICON_AND_TEXT" },
            { toolbarDisplay_IconOnly, "TOOLBAR_ICON_ONLY" }, { toolbarDisplay_LabelOnly, "TOOLBAR_TEXT_ONLY" } };
        SInt32 current = mDisplayMode == toolbarDisplay_Default ? toolbarDisplay_IconAndLabel : mDisplayMode;
        for (auto [mode, key] : modes) {
            QAction* item = menu.addAction(PlainMenuText(BundleLocalizedString(QString::fromLatin1(key))));
            item->setCheckable(true);
            item->setChecked(mode == current);
            group->addAction(item);
            QObject::connect(item, &QAction::triggered, [this, mode] { SetDisplayMode(mode); });
        }
        menu.addSeparator();
        QAction* small = menu.addAction(BundleLocalizedString(QStringLiteral("TOOLBAR_USE_SMALL_SIZE")));
        small->setCheckable(true);
        small->setChecked(mSizeMode == toolbarSize_Small);
        QObject::connect(small, &QAction::triggered, [this](bool on) { SetSizeMode(on ? toolbarSize_Small : toolbarSize_Normal); });
        if (mAttributes & toolbarAttr_Configurable) {
            menu.addSeparator();
            QAction* customize = menu.addAction(BundleLocalizedString(QStringLiteral("TOOLBAR_CUSTOMIZE_MENU")));
            QObject::connect(customize, &QAction::triggered, [this] { RunCustomizeDialog(); });
        }
        menu.exec(mToolBar->mapToGlobal(where));
    });
    // The button that shows the items past the bar's end says what it is.
    if (auto* more = bar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"))) {
        more->setAccessibleName(BundleLocalizedString(QStringLiteral("TOOLBAR_MORE_ITEMS")));
        more->setToolTip(more->accessibleName());
    }
    mToolBar = bar;
    window->SetToolBar(bar);
    // A bar that changes width or lays out again may have to keep its search field.
    PaintMoreItemsFromPalette(bar);
    mBarWatcher = new BarLayoutWatcher(bar, [this, bar] {
        PaintMoreItemsFromPalette(bar);
        KeepSearchFieldOnBar();
    });
    bar->installEventFilter(mBarWatcher);

    if (!LoadConfiguration())
        mItems = DefaultItemIdentifiers();
    Rebuild();
    if (LApplication* application = LApplication::GetApplication())
        application->AddListener(this);
    mCreated = true;
    ConfigureOnFirstUse();
    UpdateAllCommandStatus();
}

void CToolbar::Show()
{
    if (!mWindow || !mToolBar)
        return;
    mWindow->SetToolBarVisible(true);
    // The taller window stays on its screen, moved even when it does not fit.
    ConstrainWindowToScreen(mWindow->GetShell(), nullptr);
}

void CToolbar::Hide()
{
    if (mWindow && mToolBar)
        mWindow->SetToolBarVisible(false);
}

bool CToolbar::IsVisible() const
{
    return mWindow && mToolBar && mWindow->IsToolBarVisible();
}

QAction* CToolbar::FindItem(const QString& identifier) const
{
    if (!mToolBar)
        return nullptr;
    // By object name: asked for every command at each menu update, a dynamic
    // property's lookup by name would cost more than the update itself.
    for (QAction* action : mToolBar->actions()) {
        if (action->objectName() == identifier)
            return action;
    }
    return nullptr;
}

QLineEdit* CToolbar::GetSearchField() const
{
    LabelledItem* item = LabelledOf(FindItem(kSearchFieldIdentifier));
    return item ? qobject_cast<QLineEdit*>(item->Control()) : nullptr;
}

void CToolbar::UpdateCommandStatus(CommandT command, bool enabled, bool marked)
{
    if (!mToolBar)
        return;
    auto setSelector = [this](const QString& identifier, QString& name, const QString& image) {
        name = image;
        if (LabelledItem* item = LabelledOf(FindItem(identifier)))
            static_cast<SelectorView*>(item->Control())->SetImage(ToolbarImage(image, true));
    };
    bool viewCommand = command == 1083 || command == 1019 || command == 1082;
    if (viewCommand && enabled && marked) {
        setSelector(kViewSelectorIdentifier, mViewSelectorImage, QString::number(command) + QStringLiteral(".png"));
        return;
    }
    static const QHash<CommandT, QString> browserImages = { { 1008, QStringLiteral("1092.png") },
        { 1009, QStringLiteral("1091.png") }, { 1013, QStringLiteral("1090.png") }, { 1014, QStringLiteral("1093.png") } };
    if (browserImages.contains(command)) {
        setSelector(kBrowserSelectorIdentifier, mBrowserSelectorImage, browserImages.value(command));
        return;
    }
    QAction* item = FindItem(CopyIdentifierForCommand(command));
    if (!item && command == cmd_Print)
        item = FindItem(kToolbarPrintIdentifier); // the standard Print item has an identifier of its own
    if (!item)
        return;
    item->setEnabled(enabled);
    // A command that is on (full screen) shows its item pressed.
    if (marked || item->isCheckable()) {
        item->setCheckable(true);
        item->setChecked(marked);
    }
}

void CToolbar::UpdateAllCommandStatus()
{
    if (!mToolBar || !mWindow)
        return;
    auto ask = [&](CommandT command) {
        bool enabled = false, marked = false;
        GetCommandStatus(command, enabled, marked);
        UpdateCommandStatus(command, enabled, marked);
    };
    for (QAction* action : mToolBar->actions()) {
        CommandT command = action->property(kCommandProperty).toInt();
        if (command != cmd_Nothing)
            ask(command);
    }
    if (FindItem(kViewSelectorIdentifier)) {
        for (CommandT command : { 1083, 1019, 1082 })
            ask(command);
    }
}

void CToolbar::GetCommandStatus(CommandT command, bool& outEnabled, bool& outMarked) const
{
    outEnabled = outMarked = false;
    if (!mWindow)
        return;
    LCommander* asked = mWindow->IsOnDuty() && LCommander::GetTarget() ? LCommander::GetTarget() : static_cast<LCommander*>(mWindow);
    Boolean enabled = false, usesMark = false;
    UInt16 mark = noMark;
    Str255 name;
    RunReportingErrors([&] { asked->ProcessCommandStatus(command, enabled, usesMark, mark, name); });
    outEnabled = enabled;
    outMarked = usesMark && mark != noMark;
}

void CToolbar::ListenToMessage(MessageT message, void*)
{
    if (message == msg_CommandStatusUpdated)
        UpdateAllCommandStatus();
}

void CToolbar::AppendCommandIdentifier(CommandT command, QStringList& ioIdentifiers)
{
    QString identifier = CopyIdentifierForCommand(command);
    if (identifier.isEmpty())
        ThrowOSErr_('nilP', "no toolbar identifier for the command");
    ioIdentifiers.append(identifier);
}

void CToolbar::FocusSearchField()
{
    QLineEdit* field = GetSearchField();
    if (!field)
        return;
    if (!IsVisible())
        Show();
    field->setFocus(Qt::ShortcutFocusReason);
    field->selectAll();
}

CommandT CToolbar::CommandForIdentifier(const QString& identifier)
{
    if (!identifier.startsWith(kToolbarItemPrefix))
        return cmd_Nothing;
    bool ok = false;
    CommandT command = identifier.mid(kToolbarItemPrefix.size()).toInt(&ok);
    return ok ? command : cmd_Nothing;
}

QString CToolbar::CopyIdentifierForCommand(CommandT command)
{
    return kToolbarItemPrefix + QString::number(command);
}

void CToolbar::SetItemImageForCommand(QAction* item, CommandT command)
{
    QPixmap image = ToolbarImage(QString::number(command) + QStringLiteral(".png"));
    if (image.isNull()) {
        if (command >= 9000 && command <= 9499)
            image = ToolbarImage(QStringLiteral("genericsearch.png"));
        else if (command >= 9500 && command <= 9999)
            image = ToolbarImage(QStringLiteral("genericbatch.png"));
        else
            image = ToolbarImage(QStringLiteral("generic.png")); // the generic document
    }
    item->setIcon(QIcon(image));
}

QAction* CToolbar::CreateItemForCommand(const QString& identifier)
{
    CommandT command = CommandForIdentifier(identifier);
    if (command == cmd_Nothing) {
        if (identifier == kViewSelectorIdentifier)
            return CreateViewSelectorItem(identifier);
        if (identifier == kBrowserSelectorIdentifier)
            return CreateBrowserSelectorItem(identifier);
        if (identifier == kSearchFieldIdentifier)
            return CreateSearchFieldItem(identifier);
        return nullptr;
    }

    CommandLabel entry = LabelTable().value(command, CommandLabel { nullptr, nullptr });
    LMenu* menu = nullptr;
    SInt16 index = 0;
    LMenuBar* menuBar = LMenuBar::GetCurrentMenuBar();
    bool inMenu = menuBar && menuBar->FindMenuItem(command, menu, index) && menu && menu->Item(index);
    QString label;
    if (entry.labelKey)
        label = BundleLocalizedString(QString::fromLatin1(entry.labelKey));
    else if (inMenu)
        label = TrimmedMenuText(menu->Item(index)->text);
    else
        ThrowOSErr_('asrt', "toolbar command " + std::to_string(command) + " is in no menu");

    auto* item = new QAction(label, nullptr);
    item->setToolTip(label);
    SetIdentifier(item, identifier);
    item->setProperty(kCommandProperty, command);
    if (entry.systemIcon) {
        // Decoded when the toolbar first draws it, not while the window is built.
        const QString image = QString::fromLatin1(entry.systemIcon);
        item->setIcon(DeferredIcon([image] { return QIcon(ToolbarImage(image)); }, kNormalIconSize));
    }
    else if (inMenu && !menu->Item(index)->icon.isNull())
        item->setIcon(menu->Item(index)->icon);
    else
        SetItemImageForCommand(item, command);
    QObject::connect(item, &QAction::triggered, item, [this, command] { SendCommand(command); });
    return item;
}

QAction* CToolbar::CreateViewSelectorItem(const QString& identifier)
{
    auto* view = new SelectorView(
        this, 83, { { 1083, 0, 26 }, { 1019, 27, 53 }, { 1082, 54, 82 } },
        [this](CommandT command) {
            mViewSelectorImage = QString::number(command) + QStringLiteral(".png");
        });
    view->setObjectName(QStringLiteral("viewselector"));
    view->setProperty("controlID", kViewSelectorControlID);
    view->SetImage(ToolbarImage(mViewSelectorImage, true));
    view->setAccessibleName(BundleLocalizedString(QStringLiteral("VIEW_AS_LABEL")));
    return MakeWidgetItem(new LabelledItem(view, view->accessibleName()), identifier);
}

QAction* CToolbar::CreateBrowserSelectorItem(const QString& identifier)
{
    auto* view = new SelectorView(this, 56, { { 1009, 0, 26 }, { 1008, 27, 55 } }, [](CommandT) {});
    view->setObjectName(QStringLiteral("browserselector"));
    view->setProperty("controlID", kBrowserSelectorControlID);
    view->SetImage(ToolbarImage(mBrowserSelectorImage, true));
    view->setAccessibleName(BundleLocalizedString(QStringLiteral("BROWSER_LABEL")));
    return MakeWidgetItem(new LabelledItem(view, view->accessibleName()), identifier);
}

namespace {
// The search field: Return runs its search and goes no further (the window would
// open the selected item with it).
class SearchField : public QLineEdit {
protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        QLineEdit::keyPressEvent(event);
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            event->accept();
    }
};
} // namespace

QAction* CToolbar::CreateSearchFieldItem(const QString& identifier)
{
    auto* field = new SearchField;
    field->setObjectName(QStringLiteral("searchfield"));
    field->setProperty("controlID", kSearchFieldControlID);
    field->setMinimumSize(72, 22);
    field->setMaximumSize(240, 22);
    field->setFixedHeight(22);
    field->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    const QString label = BundleLocalizedString(QStringLiteral("SEARCH_FIELD_LABEL"));
    field->setAccessibleName(label);
    QAction* search = field->addAction(QIcon(ToolbarImage(QStringLiteral("genericsearchinput.png"))), QLineEdit::LeadingPosition);
    search->setText(label);
    // The clear button shows only over a text: its icon (a search of the icon theme) is
    // made when it is first drawn.
    QAction* cancel = field->addAction(
        DeferredThemeIcon([field] { return field->style()->standardIcon(QStyle::SP_LineEditClearButton); }),
        QLineEdit::TrailingPosition);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setText(BundleLocalizedString(QStringLiteral("SEARCH_FIELD_CLEAR")));
    cancel->setVisible(false);
    QObject::connect(field, &QLineEdit::textChanged, cancel, [cancel](const QString& text) { cancel->setVisible(!text.isEmpty()); });
    QObject::connect(field, &QLineEdit::returnPressed, field, [this, field] {
        if (mSearchClient && !field->text().isEmpty())
            RunReportingErrors([&] { mSearchClient->StartQuickSearch(kSearchFieldKey, field->text()); });
    });
    QObject::connect(cancel, &QAction::triggered, field, [this, field] {
        if (mSearchClient)
            RunReportingErrors([&] { mSearchClient->ShowAllItems(true); });
        field->clear();
    });
    field->setToolTip(label);
    auto* item = new LabelledItem(field, label);
    item->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    item->setMaximumWidth(244);
    return MakeWidgetItem(item, identifier);
}

namespace {
QAction* MakeStandardItem(const QString& identifier, CToolbar* toolbar, std::function<void()> customize)
{
    QAction* item = nullptr;
    if (identifier == kToolbarSeparatorIdentifier) {
        item = new QAction(nullptr);
        item->setSeparator(true);
    } else if (identifier == kToolbarSpaceIdentifier || identifier == kToolbarFlexibleSpaceIdentifier) {
        auto* space = new QWidget;
        if (identifier == kToolbarSpaceIdentifier)
            space->setFixedWidth(kSpaceWidth);
        else
            space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        item = MakeWidgetItem(space, identifier);
    } else if (identifier == kToolbarPrintIdentifier) {
        QString label = BundleLocalizedString(QStringLiteral("TOOLBAR_PRINT_LABEL"));
        item = new QAction(QIcon(CToolbar::ToolbarImage(QStringLiteral("9.png"))), label, nullptr);
        item->setProperty(kCommandProperty, cmd_Print);
        QObject::connect(item, &QAction::triggered, item, [toolbar] { toolbar->PostSelectorCommand(cmd_Print); });
    } else if (identifier == kToolbarCustomizeIdentifier) {
        QString label = BundleLocalizedString(QStringLiteral("TOOLBAR_CUSTOMIZE_LABEL"));
        item = new QAction(QIcon(CToolbar::ToolbarImage(QStringLiteral("customize.png"))), label, nullptr);
        QObject::connect(item, &QAction::triggered, item, std::move(customize));
    }
    if (item)
        SetIdentifier(item, identifier);
    return item;
}
} // namespace

bool CToolbar::DescribeItem(const QString& identifier, QString& outLabel, QPixmap& outImage)
{
    static const QHash<QString, const char*> standardLabels = {
        { kToolbarSpaceIdentifier, "TOOLBAR_SPACE_LABEL" },
        { kToolbarFlexibleSpaceIdentifier, "TOOLBAR_FLEXIBLE_SPACE_LABEL" },
        { kToolbarSeparatorIdentifier, "TOOLBAR_SEPARATOR_LABEL" },
        { kToolbarPrintIdentifier, "TOOLBAR_PRINT_LABEL" },
        { kToolbarCustomizeIdentifier, "TOOLBAR_CUSTOMIZE_LABEL" },
        { kViewSelectorIdentifier, "VIEW_AS_LABEL" },
        { kBrowserSelectorIdentifier, "BROWSER_LABEL" },
        { kSearchFieldIdentifier, "SEARCH_FIELD_LABEL" },
    };
    static const QHash<QString, QString> standardImages = {
        { kToolbarPrintIdentifier, QStringLiteral("9.png") },
        { kToolbarCustomizeIdentifier, QStringLiteral("customize.png") },
        { kViewSelectorIdentifier, QStringLiteral("1083.png") },
        { kBrowserSelectorIdentifier, QStringLiteral("1090.png") },
        { kSearchFieldIdentifier, QStringLiteral("genericsearch.png") },
    };
    if (standardLabels.contains(identifier)) {
        outLabel = BundleLocalizedString(QString::fromLatin1(standardLabels.value(identifier)));
        outImage = standardImages.contains(identifier) ? ToolbarImage(standardImages.value(identifier)) : QPixmap();
        return true;
    }
    QAction* item = nullptr;
    OSStatus code = CatchCode([&] { item = CreateItemForCommand(identifier); });
    if (code != noErr || !item)
        return false;
    outLabel = item->text();
    outImage = item->icon().pixmap(kNormalIconSize, kNormalIconSize);
    delete item;
    return true;
}

QStringList CToolbar::GetItemIdentifiers() const
{
    return mItems;
}

void CToolbar::SetItemIdentifiers(const QStringList& identifiers)
{
    mItems = identifiers;
    Rebuild();
    SaveConfiguration();
    UpdateAllCommandStatus();
}

void CToolbar::SetDisplayMode(SInt32 mode)
{
    mDisplayMode = mode;
    ApplyDisplayMode();
    SaveConfiguration();
}

void CToolbar::SetSizeMode(SInt32 size)
{
    mSizeMode = size;
    ApplyDisplayMode();
    SaveConfiguration();
}

QStringList CToolbar::DefaultItemIdentifiers()
{
    QStringList identifiers;
    CopyDefaultIdentifiers(identifiers);
    return identifiers;
}

void CToolbar::Rebuild()
{
    if (!mToolBar)
        return;
    const QList<QAction*> old = mToolBar->actions();
    mToolBar->clear();
    qDeleteAll(old);
    for (const QString& identifier : mItems) {
        QAction* item = nullptr;
        OSStatus code = CatchCode([&] {
            item = IsStandardItem(identifier) ? MakeStandardItem(identifier, this, [this] { RunCustomizeDialog(); })
                                              : CreateItemForCommand(identifier);
        });
        // An item that cannot be made now (a saved batch that is gone) stays in the
        // configuration but not on the bar.
        if (code != noErr || !item) {
            qCInfo(lcToolbar) << "toolbar item left out:" << identifier << "code" << code;
            continue;
        }
        item->setParent(mToolBar);
        mToolBar->addAction(item);
    }
    const QList<QAction*> items = mToolBar->actions();
    const qsizetype field = items.indexOf(FindItem(kSearchFieldIdentifier));
    mSearchFieldNext = field >= 0 && field + 1 < items.size() ? items[field + 1] : nullptr;
    mSearchFieldMovedAt = -1;
    ApplyDisplayMode();
}

void CToolbar::KeepSearchFieldOnBar()
{
    QAction* field = FindItem(kSearchFieldIdentifier);
    QWidget* shown = field && mToolBar && mToolBar->isVisible() ? mToolBar->widgetForAction(field) : nullptr;
    if (!shown || mKeepingSearchField)
        return;
    const int width = mToolBar->width();
    if (!shown->isHidden() && (mSearchFieldMovedAt < 0 || width <= mSearchFieldMovedAt))
        return;
    QScopedValueRollback keeping(mKeepingSearchField, true);
    QLineEdit* edit = GetSearchField();
    const bool typing = edit && edit->hasFocus();
    auto layOut = [this] {
        mToolBar->layout()->invalidate();
        mToolBar->layout()->activate();
    };
    // Its configured place first, then one place further left while it does not fit.
    mToolBar->insertAction(mSearchFieldNext, field);
    layOut();
    mSearchFieldMovedAt = -1;
    for (QWidget* item = mToolBar->widgetForAction(field); item && item->isHidden(); item = mToolBar->widgetForAction(field)) {
        const QList<QAction*> items = mToolBar->actions();
        const qsizetype at = items.indexOf(field);
        if (at <= 0)
            break;
        mToolBar->insertAction(items[at - 1], field);
        layOut();
        mSearchFieldMovedAt = width;
    }
    if (typing)
        edit->setFocus(Qt::OtherFocusReason);
}

void CToolbar::ApplyDisplayMode()
{
    if (!mToolBar)
        return;
    Qt::ToolButtonStyle style = Qt::ToolButtonTextUnderIcon;
    if (mDisplayMode == toolbarDisplay_IconOnly)
        style = Qt::ToolButtonIconOnly;
    else if (mDisplayMode == toolbarDisplay_LabelOnly)
        style = Qt::ToolButtonTextOnly;
    mToolBar->setToolButtonStyle(style);
    int side = mSizeMode == toolbarSize_Small ? kSmallIconSize : kNormalIconSize;
    mToolBar->setIconSize(QSize(side, side));
    for (QAction* action : mToolBar->actions()) {
        if (LabelledItem* item = LabelledOf(action))
            item->ShowLabel(style != Qt::ToolButtonIconOnly);
    }
    if (mWindow)
        mWindow->SetToolBarVisible(IsVisible()); // the bar's height may have changed
}

void RenumberToolbarCommands(const QHash<CommandT, CommandT>& renumbered)
{
    if (renumbered.isEmpty())
        return;
    for (const QString& key : { kIndexToolbarIdentifier, kMediaToolbarIdentifier }) {
        QVariantMap config = CopyPrefValue(key).toMap();
        if (!config.contains(kItemsKey))
            continue;
        QStringList items;
        for (const QVariant& item : config.value(kItemsKey).toList())
            items << item.toString();
        const QStringList now = RenumberedIdentifiers(items, renumbered);
        if (now == items)
            continue;
        config.insert(kItemsKey, QVariant(QVariantList(now.begin(), now.end())));
        SetPrefValue(key, config);
    }
    for (CToolbar* toolbar : LiveToolbars()) {
        const QStringList items = toolbar->GetItemIdentifiers();
        const QStringList now = RenumberedIdentifiers(items, renumbered);
        if (now != items && toolbar->GetToolbarRef())
            toolbar->SetItemIdentifiers(now);
    }
}

void CToolbar::SaveConfiguration() const
{
    if (!(mAttributes & toolbarAttr_AutoSavesConfig) || mIdentifier.isEmpty())
        return;
    QVariantMap config;
    config.insert(kItemsKey, QVariant(QVariantList(mItems.begin(), mItems.end())));
    config.insert(kDisplayModeKey, mDisplayMode);
    config.insert(kSizeModeKey, mSizeMode);
    SetPrefValue(mIdentifier, config);
}

bool CToolbar::LoadConfiguration()
{
    if (!(mAttributes & toolbarAttr_AutoSavesConfig) || mIdentifier.isEmpty())
        return false;
    QVariantMap config = CopyPrefValue(mIdentifier).toMap();
    if (!config.contains(kItemsKey))
        return false;
    mItems.clear();
    for (const QVariant& item : config.value(kItemsKey).toList()) {
        if (item.typeId() == QMetaType::QString)
            mItems.append(item.toString());
    }
    mDisplayMode = config.value(kDisplayModeKey).toInt();
    mSizeMode = config.value(kSizeModeKey).toInt();
    return true;
}

bool CToolbar::RunCustomizeDialog()
{
    if (!(mAttributes & toolbarAttr_Configurable) || !mToolBar)
        return false;
    CToolbarCustomizeDialog dialog(this, mWindow ? mWindow->GetShell() : nullptr);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    mDisplayMode = dialog.DisplayMode();
    mSizeMode = dialog.SizeMode();
    SetItemIdentifiers(dialog.ItemIdentifiers());
    return true;
}

void CToolbar::SendCommand(CommandT command)
{
    if (!mWindow)
        return;
    LCommander* target = mWindow->IsOnDuty() && LCommander::GetTarget() ? LCommander::GetTarget() : static_cast<LCommander*>(mWindow);
    RunReportingErrors([&] { target->ProcessCommand(command); });
    LCommander::SetUpdateCommandStatus(true);
}

void CToolbar::PostSelectorCommand(CommandT command)
{
    // Like a command event posted to the queue: it runs once the click is over.
    QPointer<QToolBar> bar = mToolBar;
    QTimer::singleShot(0, bar, [this, command] { SendCommand(command); });
}

QList<CommandT> SavedSettingCommands(const std::function<bool(CommandT)>& filter)
{
    QList<CommandT> commands;
    LMenuBar* menuBar = LMenuBar::GetCurrentMenuBar();
    LMenu* menu = menuBar ? menuBar->FetchMenu(133) : nullptr;
    if (!menu)
        return commands;
    for (SInt16 index = 7; index <= menu->CountItems(); ++index) {
        const SMenuItem* item = menu->Item(index);
        if (!item || item->IsSeparator())
            continue;
        CommandT command = menu->CommandFromIndex(index);
        if (!filter || filter(command))
            commands.append(command);
    }
    return commands;
}

bool SavedBatchExists(CommandT command, SInt32 sourceKind)
{
    if (command < 9500 || command > 9999)
        return false;
    QVariantList settings;
    if (CatchCode([&] { settings = CopyPrefValue(QStringLiteral("BatchSettings_6")).toList(); }) != noErr)
        return false;
    qsizetype index = command - 9500;
    if (index >= settings.size())
        return false;
    if (sourceKind == 0)
        return true;
    QVariantMap setting = settings.at(index).toMap();
    return setting.contains(QStringLiteral("SourceKind")) && setting.value(QStringLiteral("SourceKind")).toInt() == sourceKind;
}
