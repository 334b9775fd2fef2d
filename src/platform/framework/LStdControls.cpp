#include "LStdControls.h"

#include "BundleStrings.h"
#include "LCommander.h"
#include "LMenuBar.h"
#include "LWindow.h"
#include "UReportErrors.h"
#include "UResources.h"
#include "UTextDrawing.h"
#include "UTextTraits.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QSignalBlocker>
#include <QTabBar>
#include <QToolButton>

namespace {
QImage LoadImageResource(const QString& path)
{
    return UResources::ReadImage(path);
}
} // namespace

// Push button

LStdButton::LStdButton(const SPaneInfo& info, MessageT message, const QString& title)
    : LControlPane(info, message)
{
    auto* button = new QPushButton;
    Embed(button);
    SetCFDescriptor(title);
    QObject::connect(button, &QPushButton::clicked, [this] { RunReportingErrors([this] { HotSpotResult(kControlButtonPart); }); });
}

LStdButton::LStdButton(const LLayoutData& data)
    : LControlPane(data)
{
    auto* button = new QPushButton;
    Embed(button);
    button->setDefault(data.Bool("default", false));
    QObject::connect(button, &QPushButton::clicked, [this] { RunReportingErrors([this] { HotSpotResult(kControlButtonPart); }); });
}

void LStdButton::SetDefaultButton(bool isDefault)
{
    static_cast<QPushButton*>(mWidget)->setDefault(isDefault);
}

bool LStdButton::IsDefaultButton() const
{
    return static_cast<QPushButton*>(mWidget)->isDefault();
}

void LStdButton::SimulateHotSpotClick(SInt16 part)
{
    if (!IsEnabled())
        return;
    static_cast<QPushButton*>(mWidget)->setDown(true);
    static_cast<QPushButton*>(mWidget)->setDown(false);
    HotSpotResult(part);
}


void LStdButton::EnableSelf()
{
    mWidget->setEnabled(true);
}

// Check box

LStdCheckBox::LStdCheckBox(const SPaneInfo& info, MessageT message, SInt32 value, const QString& title)
    : LControlPane(info, message, value, 0, 1)
{
    Init();
    SetCFDescriptor(title);
}

LStdCheckBox::LStdCheckBox(const LLayoutData& data)
    : LControlPane(data)
{
    mMinValue = 0;
    mMaxValue = data.Int("max", 1);
    Init();
}

void LStdCheckBox::Init()
{
    EmbedToggle(new QCheckBox, kControlCheckBoxPart);
}

void LStdCheckBox::HotSpotResult(SInt16)
{
    SetValue(mValue == 0 ? 1 : 0);
}


void LStdCheckBox::ValueChanged()
{
    if (!mWidget)
        return;
    auto* box = static_cast<QCheckBox*>(mWidget);
    box->setTristate(mValue > 1);
    box->setCheckState(mValue == 0 ? Qt::Unchecked : (mValue == 1 ? Qt::Checked : Qt::PartiallyChecked));
}

// Radio button and group

LStdRadioButton::LStdRadioButton(const SPaneInfo& info, MessageT message, SInt32 value, const QString& title)
    : LControlPane(info, message, value, 0, 1)
{
    Init();
    SetCFDescriptor(title);
}

LStdRadioButton::LStdRadioButton(const LLayoutData& data)
    : LControlPane(data)
{
    mMinValue = 0;
    mMaxValue = 1;
    Init();
}

void LStdRadioButton::Init()
{
    auto* radio = new QRadioButton;
    radio->setAutoExclusive(false); // the radio group decides
    EmbedToggle(radio, kControlButtonPart);
}

void LStdRadioButton::HotSpotResult(SInt16)
{
    SetValue(1);
}


void LStdRadioButton::ValueChanged()
{
    if (mWidget)
        static_cast<QRadioButton*>(mWidget)->setChecked(mValue != 0);
}

LRadioGroup::LRadioGroup(const LLayoutData& data)
    : LAttachment(msg_FinishCreate, true)
{
    for (const QJsonValue& id : data.Array("buttons")) {
        FourCharCode code = 0;
        if (!LLayoutData::CodeFromValue(id, code))
            data.Fail(QStringLiteral("\"buttons\" must hold pane IDs"));
        mButtonIDs.push_back(PaneIDT(code));
    }
}

LRadioGroup::LRadioGroup(const std::vector<PaneIDT>& buttonIDs)
    : LAttachment(msg_FinishCreate, true)
    , mButtonIDs(buttonIDs)
{
}

void LRadioGroup::ExecuteSelf(MessageT, void*)
{
    auto* host = dynamic_cast<LView*>(GetOwnerHost());
    if (!host)
        return;
    for (PaneIDT id : mButtonIDs) {
        if (auto* radio = dynamic_cast<LControl*>(host->FindPaneByID(id)))
            AddRadio(radio);
    }
}

void LRadioGroup::AddRadio(LControl* radio)
{
    mRadios.push_back(radio);
    radio->AddListener(this);
    if (radio->GetValue() != 0) {
        if (mCurrent)
            mCurrent->SetValue(0);
        mCurrent = radio;
    }
}

PaneIDT LRadioGroup::GetCurrentRadioID() const
{
    return mCurrent ? mCurrent->GetPaneID() : PaneIDT_Undefined;
}

void LRadioGroup::SetCurrentRadioID(PaneIDT paneID)
{
    for (LControl* radio : mRadios) {
        if (radio->GetPaneID() == paneID)
            radio->SetValue(1);
    }
}

void LRadioGroup::ListenToMessage(MessageT message, void* ioParam)
{
    if (message == msg_BroadcasterDied) {
        auto* dead = static_cast<LBroadcaster*>(ioParam);
        mRadios.erase(std::remove_if(mRadios.begin(), mRadios.end(), [&](LControl* r) { return static_cast<LBroadcaster*>(r) == dead; }), mRadios.end());
        if (mCurrent && static_cast<LBroadcaster*>(mCurrent) == dead)
            mCurrent = nullptr;
        return;
    }
    for (LControl* radio : mRadios) {
        if (radio->GetValueMessage() != message || radio->GetValue() == 0 || radio == mCurrent)
            continue;
        LControl* old = mCurrent;
        mCurrent = radio;
        if (old)
            old->SetValue(0);
        PaneIDT id = radio->GetPaneID();
        BroadcastMessage(id, &id);
        return;
    }
}

// Popup menu

QStringList ControlMenuItems(const LLayoutData& data, ResIDT& outMenuID)
{
    QStringList items;
    outMenuID = ResIDT(data.Int("menu", 0));
    if (outMenuID != 0) {
        LMenu* menu = LMenuBar::GetCurrentMenuBar() ? LMenuBar::GetCurrentMenuBar()->FetchMenu(outMenuID) : nullptr;
        std::unique_ptr<LMenu> loaded;
        if (!menu) {
            loaded = LMenu::Load(outMenuID);
            menu = loaded.get();
        }
        for (SInt16 i = 1; i <= menu->CountItems(); ++i)
            items << menu->Item(i)->text;
    }
    for (const QJsonValue& item : data.Array("items"))
        items << BundleLocalizedString(item.toString());
    return items;
}

LStdPopupMenu::LStdPopupMenu(const SPaneInfo& info, MessageT message, const QStringList& items, SInt32 value)
    : LControlPane(info, message, value, 1, std::max<SInt32>(1, SInt32(items.size())))
{
    Init(items);
}

namespace {

// A popup whose chosen item is longer than the popup shows it shortened with an
// ellipsis, whole in its tool tip, rather than running under the arrow.
class ElidingComboBox : public QComboBox {
public:
    ElidingComboBox()
    {
        setProperty("elidesText", true); // tells a layout check the text is never cut
        QObject::connect(this, &QComboBox::currentTextChanged, this, [this] { UpdateTip(); });
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        painter.setPen(palette().color(QPalette::Text));
        QStyleOptionComboBox option;
        initStyleOption(&option);
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        option.currentText = ShownText(option);
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }
    void resizeEvent(QResizeEvent* event) override
    {
        QComboBox::resizeEvent(event);
        UpdateTip();
    }

private:
    QString ShownText(const QStyleOptionComboBox& option) const
    {
        const QRect room = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
        const int iconRoom = option.currentIcon.isNull() ? 0 : option.iconSize.width() + 4;
        return fontMetrics().elidedText(option.currentText, Qt::ElideRight, room.width() - iconRoom);
    }
    void UpdateTip()
    {
        QStyleOptionComboBox option;
        initStyleOption(&option);
        setToolTip(ShownText(option) == option.currentText ? QString() : option.currentText);
    }
};

} // namespace

LStdPopupMenu::LStdPopupMenu(const LLayoutData& data)
    : LControlPane(data)
{
    QStringList items = ControlMenuItems(data, mMenuID);
    mValue = data.Int("value", 1);
    Init(items);
}

void LStdPopupMenu::Init(const QStringList& items)
{
    mCombo = new ElidingComboBox;
    Embed(mCombo);
    SetItems(items);
    QObject::connect(mCombo, QOverload<int>::of(&QComboBox::activated), [this](int index) {
        RunReportingErrors([&] { SetValue(index + 1); });
    });
}

void LStdPopupMenu::SetItems(const QStringList& items)
{
    mCombo->clear();
    for (const QString& item : items) {
        if (item == QLatin1String("-"))
            mCombo->insertSeparator(mCombo->count());
        else
            mCombo->addItem(item);
    }
    mMinValue = items.isEmpty() ? 0 : 1;
    mMaxValue = SInt32(items.size());
    mValue = std::clamp(mValue, mMinValue, mMaxValue);
    ValueChanged();
}

QStringList LStdPopupMenu::GetItems() const
{
    QStringList items;
    for (int i = 0; i < mCombo->count(); ++i)
        items << mCombo->itemText(i);
    return items;
}

void LStdPopupMenu::AppendItem(const QString& text)
{
    QStringList items = GetItems();
    items << text;
    SetItems(items);
}

void LStdPopupMenu::ValueChanged()
{
    if (mCombo)
        mCombo->setCurrentIndex(mValue - 1);
}

// Bevel buttons

LBevelButton::LBevelButton(const LLayoutData& data)
    : LControlPane(data)
{
    Init();
    ResIDT menuID = 0;
    QStringList items = ControlMenuItems(data, menuID);
    if (!items.isEmpty())
        SetMenuItems(items);
    if (data.Has("image"))
        SetIcon(LoadImageResource(data.String("image")));
}

LBevelButton::LBevelButton(const SPaneInfo& info, MessageT message, const QString& title)
    : LControlPane(info, message)
{
    Init();
    SetCFDescriptor(title);
}

void LBevelButton::Init()
{
    auto* button = new QToolButton;
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    Embed(button);
    QObject::connect(button, &QToolButton::clicked, [this] { RunReportingErrors([this] { HotSpotResult(kControlButtonPart); }); });
}

void LBevelButton::SetMenuItems(const QStringList& items)
{
    auto* button = static_cast<QToolButton*>(mWidget);
    delete mMenu;
    mMenu = new QMenu(button);
    for (int i = 0; i < items.size(); ++i) {
        if (items[i].startsWith(QLatin1Char('-'))) {
            mMenu->addSeparator();
            continue;
        }
        QAction* action = mMenu->addAction(items[i]);
        QObject::connect(action, &QAction::triggered, [this, i] {
            mMenuItem = SInt16(i + 1);
            RunReportingErrors([this] { SetValue(mMenuItem); BroadcastValueMessage(); });
        });
    }
    button->setMenu(mMenu);
    button->setPopupMode(QToolButton::InstantPopup);
    mMinValue = 0;
    mMaxValue = SInt32(items.size());
}

void LBevelButton::SetIcon(const QImage& image)
{
    static_cast<QToolButton*>(mWidget)->setIcon(QIcon(QPixmap::fromImage(image)));
}

void LBevelButton::SetIcon(const QIcon& icon)
{
    static_cast<QToolButton*>(mWidget)->setIcon(icon);
}

void LBevelButton::HotSpotResult(SInt16)
{
    BroadcastValueMessage();
}


LCmdBevelButton::LCmdBevelButton(const LLayoutData& data)
    : LBevelButton(data)
    , mCommand(data.Int("command", 0))
{
}

void LCmdBevelButton::HotSpotResult(SInt16 part)
{
    LBevelButton::HotSpotResult(part);
    if (mCommand != cmd_Nothing) {
        if (LCommander* target = LCommander::GetTarget())
            target->ProcessCommand(mCommand, nullptr);
    }
}

// Group boxes

LGroupBox::LGroupBox(const LLayoutData& data)
    : LView(data)
{
    mBox = new QGroupBox(this);
    mBox->setGeometry(rect());
    mBox->lower();
    mBox->setTitle(BundleLocalizedString(data.String("title")));
    mBox->show();
}

LGroupBox::LGroupBox(const SPaneInfo& info, const QString& title)
    : LView(info)
{
    mBox = new QGroupBox(title, this);
    mBox->setGeometry(rect());
    mBox->lower();
    mBox->show();
}

void LGroupBox::SetCFDescriptor(const QString& title)
{
    LView::SetCFDescriptor(title);
    mBox->setTitle(title);
}

void LGroupBox::resizeEvent(QResizeEvent* event)
{
    LView::resizeEvent(event);
    mBox->setGeometry(rect());
}

LCheckBoxGroupBox::LCheckBoxGroupBox(const LLayoutData& data)
    : LGroupBox(data)
    , mMessage(MessageT(data.Code("message", 0)))
{
    mBox->setCheckable(true);
    mBox->setChecked(data.Int("value", 0) != 0);
    QObject::connect(mBox, &QGroupBox::toggled, [this](bool on) {
        SInt32 value = on ? 1 : 0;
        if (mMessage != msg_Nothing)
            RunReportingErrors([&] { BroadcastMessage(mMessage, &value); });
    });
}

SInt32 LCheckBoxGroupBox::GetValue() const
{
    return mBox->isChecked() ? 1 : 0;
}

void LCheckBoxGroupBox::SetValue(SInt32 value)
{
    mBox->setChecked(value != 0);
}

LPopupGroupBox::LPopupGroupBox(const LLayoutData& data)
    : LGroupBox(data)
{
    mBox->setTitle(QString());
    ResIDT menuID = 0;
    QStringList items = ControlMenuItems(data, menuID);
    SPaneInfo info;
    info.width = std::max(60, width() / 2);
    info.height = 22;
    info.left = 8;
    info.top = 0;
    info.superView = this;
    mPopup = new LStdPopupMenu(info, MessageT(data.Code("message", 0)), items, data.Int("value", 1));
    struct Relay : LListener {
        LPopupGroupBox* box;
        void ListenToMessage(MessageT message, void* param) override { box->BroadcastMessage(message, param); }
    };
    auto* relay = new Relay;
    relay->box = this;
    mPopup->AddListener(relay);
    QObject::connect(mPopup, &QObject::destroyed, [relay] { delete relay; });
}

SInt32 LPopupGroupBox::GetValue() const
{
    return mPopup->GetValue();
}

void LPopupGroupBox::SetValue(SInt32 value)
{
    mPopup->SetValue(value);
}

// Static text

LStaticText::LStaticText(const LLayoutData& data)
    : LControlPane(data)
{
    QString justification = data.String("justification", QStringLiteral("left"));
    int alignment = justification == QLatin1String("center") ? Qt::AlignHCenter : (justification == QLatin1String("right") ? Qt::AlignRight : Qt::AlignLeft);
    // The text of a layout is a key into the strings table.
    if (data.Has("text"))
        LPane::SetCFDescriptor(BundleLocalizedString(data.String("text")));
    const QString elide = data.String("elide", QString());
    if (elide == QLatin1String("left"))
        mElide = Qt::ElideLeft;
    else if (elide == QLatin1String("middle"))
        mElide = Qt::ElideMiddle;
    else if (elide == QLatin1String("right"))
        mElide = Qt::ElideRight;
    Init(alignment | Qt::AlignTop, mElide == Qt::ElideNone && data.Bool("wrap", true));
    mLabelFor = PaneIDT(data.Code("labelFor", 0));
}

void LStaticText::FinishCreateSelf()
{
    LControlPane::FinishCreateSelf();
    if (mLabelFor == 0)
        return;
    // The field is anywhere in the same layout: look from its top.
    LView* top = GetSuperView();
    while (top && top->GetSuperView())
        top = top->GetSuperView();
    LPane* field = top ? top->FindPaneByID(mLabelFor) : nullptr;
    if (!field)
        return;
    // The widget that takes the typing: a control's own, or the one a view hands the focus to.
    auto* control = dynamic_cast<LControlPane*>(field);
    QWidget* buddy = control && control->GetControlWidget() ? control->GetControlWidget() : field;
    if (QWidget* proxy = buddy->focusProxy())
        buddy = proxy;
    mLabel->setBuddy(buddy);
    NameBuddy();
}

// A screen reader names the field by its caption (Qt looks for a label only beside the field).
void LStaticText::NameBuddy()
{
    if (QWidget* field = mLabel ? mLabel->buddy() : nullptr) {
        QString name = LPane::GetCFDescriptor().trimmed();
        if (name.endsWith(QLatin1Char(':')))
            name.chop(1);
        field->setAccessibleName(name);
    }
}

LStaticText::LStaticText(const SPaneInfo& info, const QString& text)
    : LControlPane(info, 0)
{
    LPane::SetCFDescriptor(text);
    Init(Qt::AlignLeft | Qt::AlignTop, true);
}

void LStaticText::Init(int alignment, bool wrap)
{
    mLabel = new QLabel;
    mLabel->setAlignment(Qt::Alignment(alignment));
    mLabel->setWordWrap(wrap);
    mLabel->setTextFormat(Qt::PlainText);
    // The label fills its pane, deep inside the window: the window's safe area is
    // not its to keep, and asking for it walks up to the window at every new text.
    mLabel->setAttribute(Qt::WA_ContentsMarginsRespectsSafeArea, false);
    Embed(mLabel);
}

void LStaticText::SetCFDescriptor(const QString& text)
{
    if (text != StoredCFDescriptor())
        LControlPane::SetCFDescriptor(text);
}

void LStaticText::ShowText(const QString& text)
{
    if (!mLabel)
        return;
    mLabel->setText(text);
    FitText();
    NameBuddy();
    // A caption given a new text on the screen takes its mnemonic again.
    if (LWindow* window = HasBuddy() ? GetContainingWindow() : nullptr; window && window->IsVisible())
        window->GiveButtonsMnemonics();
}

bool LStaticText::HasBuddy() const
{
    return mLabel && mLabel->buddy() && mElide == Qt::ElideNone;
}

void LStaticText::ShowMnemonic(const QString& marked)
{
    if (HasBuddy() && mLabel->text() != marked)
        mLabel->setText(marked);
}

void LStaticText::resizeEvent(QResizeEvent* event)
{
    LControlPane::resizeEvent(event);
    FitText();
}

void LStaticText::FitText()
{
    if (!mLabel || mElide == Qt::ElideNone)
        return;
    const QString whole = LPane::GetCFDescriptor();
    const QString shown = mLabel->fontMetrics().elidedText(whole, mElide, mLabel->contentsRect().width());
    mLabel->setText(shown);
    mLabel->setToolTip(shown == whole ? QString() : whole);
}

QSize LStaticText::minimumSizeHint() const
{
    // A shortened text asks for no width of its own: the layout decides it.
    QSize size = LControlPane::minimumSizeHint();
    if (mElide != Qt::ElideNone)
        size.setWidth(0);
    return size;
}

// Captions

LCaption::LCaption(const LLayoutData& data)
    : LPane(data)
    , mTextTraitsID(ResIDT(data.Int("textTraits", 0)))
{
    if (data.Has("text"))
        LPane::SetCFDescriptor(BundleLocalizedString(data.String("text")));
    if (data.Has("justification")) {
        QString justification = data.String("justification");
        mHasJustification = true;
        mJustification = justification == QLatin1String("center") ? teCenter : (justification == QLatin1String("right") ? teFlushRight : teFlushLeft);
    }
}

LCaption::LCaption(const SPaneInfo& info, const QString& text, ResIDT textTraitsID)
    : LPane(info)
    , mTextTraitsID(textTraitsID)
{
    LPane::SetCFDescriptor(text);
}

void LCaption::SetTextTraitsID(ResIDT traitsID)
{
    mTextTraitsID = traitsID;
    Refresh();
}

void LCaption::DrawSelf(QPainter& painter)
{
    SInt16 justification = UTextTraits::SetPortTextTraits(painter, mTextTraitsID);
    if (mHasJustification)
        justification = mJustification;
    if (IsDimmed()) {
        QColor color = painter.pen().color();
        color.setAlpha(110);
        painter.setPen(color);
    }
    QRect frame;
    CalcLocalFrameRect(frame);
    UTextDrawing::DrawWithJustification(painter, GetCFDescriptor(), frame, justification);
}

LThemeTextBox::LThemeTextBox(const LLayoutData& data)
    : LCaption(data)
    , mDimWhenInactive(data.Bool("dimWhenInactive", false))
    , mDimWhenDisabled(data.Bool("dimWhenDisabled", true))
{
}

LThemeTextBox::LThemeTextBox(const SPaneInfo& info, const QString& text, ResIDT textTraitsID)
    : LCaption(info, text, textTraitsID)
{
}

bool LThemeTextBox::IsDimmed() const
{
    return (mDimWhenInactive && !IsActive()) || (mDimWhenDisabled && !IsEnabled());
}

// Edit field

LEditText::LEditText(const LLayoutData& data)
    : LControlPane(data)
{
    QString text = data.String("text");
    Init(SInt16(data.Int("keyFilter", keyFilter_Printing)), data.Int("maxChars", 255));
    if (!text.isEmpty())
        SetCFDescriptor(text);
}

LEditText::LEditText(const SPaneInfo& info, const QString& text, SInt16 keyFilter, int maxChars)
    : LControlPane(info, 0)
{
    Init(keyFilter, maxChars);
    SetCFDescriptor(text);
}

void LEditText::Init(SInt16 keyFilter, int maxChars)
{
    mKeyFilter = keyFilter;
    mEdit = new QLineEdit;
    mEdit->setMaxLength(std::max(0, maxChars));
    Embed(mEdit);
    QObject::connect(mEdit, &QLineEdit::textChanged, [this](const QString& text) {
        LPane::SetCFDescriptor(text);
        LCommander::SetUpdateCommandStatus(true);
        RunReportingErrors([this] { BroadcastValueMessage(); });
    });
}

bool LEditText::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mEdit && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        EventRecord record = EventRecordFromKeyEvent(*key);
        // A named key's own character code: the text of some (Shift-Tab) is another control character.
        const bool named = key->text().isEmpty() || key->text().at(0).unicode() < 0x20;
        QChar character = named ? QChar(EventCharCode(record)) : key->text().at(0);
        int start = mEdit->hasSelectedText() ? mEdit->selectionStart() : mEdit->cursorPosition();
        EKeyStatus status = UKeyFilters::FilterForID(mKeyFilter)(EventKeyCode(record), character, record.modifiers, start);
        switch (status) {
        case keyStatus_Reject:
            QApplication::beep();
            return true;
        case keyStatus_Ignore:
            return true;
        case keyStatus_PassUp:
            DispatchKeyToTarget(key, GetContainingWindow());
            return true;
        default:
            break;
        }
    }
    return LControlPane::eventFilter(watched, event);
}

SInt32 LEditText::GetValue() const
{
    return mEdit->text().toInt();
}

void LEditText::SetValue(SInt32 value)
{
    SetCFDescriptor(QString::number(value));
}

void LEditText::SetCFDescriptor(const QString& text)
{
    LPane::SetCFDescriptor(text);
    if (mEdit && mEdit->text() != text)
        mEdit->setText(UKeyFilters::FilterText(mKeyFilter, text));
}

QString LEditText::GetCFDescriptor() const
{
    return mEdit ? mEdit->text() : LPane::GetCFDescriptor();
}

QSize LEditText::sizeHint() const
{
    // A field's width is its frame's (a one-letter shortcut stays narrow); the
    // line edit's own hint is a guess at a typical text.
    QSize size = LControlPane::sizeHint();
    if (GetDeclaredSize().width() > 0)
        size.setWidth(GetDeclaredSize().width());
    return size;
}

void LEditText::SelectAll()
{
    mEdit->selectAll();
}

void LEditText::SetSelection(int start, int end)
{
    mEdit->setSelection(start, end - start);
}

void LEditText::GetSelection(int& outStart, int& outEnd) const
{
    if (mEdit->hasSelectedText()) {
        outStart = mEdit->selectionStart();
        outEnd = outStart + int(mEdit->selectedText().size());
    } else {
        outStart = outEnd = mEdit->cursorPosition();
    }
}

void LEditText::SetMaxChars(int maxChars)
{
    mEdit->setMaxLength(maxChars);
}

// Tabs

LTabsControl::LTabsControl(const LLayoutData& data)
    : LControlPane(data)
{
    mTabs = new QTabBar;
    for (const QJsonValue& title : data.Array("tabs"))
        mTabs->addTab(BundleLocalizedString(title.toString()));
    for (const QJsonValue& id : data.Array("panels")) {
        FourCharCode code = 0;
        LLayoutData::CodeFromValue(id, code);
        mPanelIDs.push_back(PaneIDT(code));
    }
    mMinValue = mTabs->count() > 0 ? 1 : 0;
    mMaxValue = mTabs->count();
    mValue = std::clamp(data.Int("value", 1), mMinValue, mMaxValue);
    Embed(mTabs);
    mTabs->setCurrentIndex(mValue - 1);
    QObject::connect(mTabs, &QTabBar::currentChanged, [this](int index) {
        RunReportingErrors([&] { SetValue(index + 1); });
    });
}

void LTabsControl::SetPanels(const std::vector<PaneIDT>& panelIDs)
{
    mPanelIDs = panelIDs;
    ShowPanel();
}

SInt32 LTabsControl::CountTabs() const
{
    return mTabs->count();
}

void LTabsControl::AppendTab(const QString& titleKey)
{
    const QSignalBlocker quiet(mTabs);
    mTabs->addTab(BundleLocalizedString(titleKey));
    mMinValue = 1;
    SetMaxValue(mTabs->count());
    mTabs->setCurrentIndex(mValue - 1);
    FitTabs();
}

void LTabsControl::SetTabCount(SInt32 count)
{
    count = std::max<SInt32>(count, 0);
    {
        const QSignalBlocker quiet(mTabs);
        while (mTabs->count() > count)
            mTabs->removeTab(mTabs->count() - 1);
    }
    SetMaxValue(mTabs->count());
    mTabs->setCurrentIndex(mValue - 1);
}

void LTabsControl::FinishCreateSelf()
{
    ShowPanel();
    FitTabs();
}

void LTabsControl::changeEvent(QEvent* event)
{
    LControlPane::changeEvent(event);
    // Another style or font makes the tabs another width.
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
        FitTabs();
}

void LTabsControl::FitTabs()
{
    // Scroll arrows would hide tabs (a style with roomier tabs than the layout
    // was drawn for, a longer title): the window widens instead.
    const int missing = mTabs->sizeHint().width() - width();
    if (missing <= 0)
        return;
    if (LWindow* window = GetContainingWindow())
        window->ResizeFrameBy(missing, 0, true);
    // A pane the window's width does not carry along widens itself.
    if (const int still = mTabs->sizeHint().width() - width(); still > 0)
        ResizeFrameBy(still, 0, true);
}

void LTabsControl::ValueChanged()
{
    mTabs->setCurrentIndex(mValue - 1);
    ShowPanel();
}

void LTabsControl::ShowPanel()
{
    LView* super = GetSuperView();
    if (!super)
        return;
    for (size_t i = 0; i < mPanelIDs.size(); ++i) {
        if (LPane* panel = super->FindPaneByID(mPanelIDs[i]))
            panel->SetVisible(SInt32(i) + 1 == mValue);
    }
}

// Progress bar

LProgressBar::LProgressBar(const LLayoutData& data)
    : LControlPane(data)
{
    mIndeterminate = data.Bool("indeterminate", false);
    Init();
}

LProgressBar::LProgressBar(const SPaneInfo& info, SInt32 value, SInt32 minValue, SInt32 maxValue)
    : LControlPane(info, 0, value, minValue, maxValue)
{
    Init();
}

void LProgressBar::Init()
{
    mBar = new QProgressBar;
    mBar->setTextVisible(false);
    Embed(mBar);
    ValueChanged();
}

void LProgressBar::SetIndeterminate(bool indeterminate)
{
    mIndeterminate = indeterminate;
    ValueChanged();
}

void LProgressBar::ValueChanged()
{
    if (!mBar)
        return;
    if (mIndeterminate) {
        mBar->setRange(0, 0);
        return;
    }
    mBar->setRange(mMinValue, std::max(mMinValue, mMaxValue));
    mBar->setValue(mValue);
}

// Slider

LSlider::LSlider(const LLayoutData& data)
    : LControlPane(data)
{
    mSlider = new QSlider(data.Bool("vertical", false) ? Qt::Vertical : Qt::Horizontal);
    Embed(mSlider);
    ValueChanged();
    QObject::connect(mSlider, &QSlider::valueChanged, [this](int value) {
        RunReportingErrors([&] { SetValue(value); });
    });
}

void LSlider::ValueChanged()
{
    if (!mSlider)
        return;
    QSignalBlocker block(mSlider);
    mSlider->setRange(mMinValue, std::max(mMinValue, mMaxValue));
    mSlider->setValue(mValue);
}

// List box

LListBox::LListBox(const LLayoutData& data)
    : LControlPane(data)
    , mDoubleClickMessage(MessageT(data.Code("doubleClickMessage", 0)))
{
    mValue = data.Int("value", -1);
    mList = new QListWidget;
    Embed(mList);
    QStringList items;
    for (const QJsonValue& item : data.Array("items"))
        items << BundleLocalizedString(item.toString());
    SetItems(items);
    QObject::connect(mList, &QListWidget::currentRowChanged, [this](int row) {
        RunReportingErrors([&] { SetValue(row); });
    });
    QObject::connect(mList, &QListWidget::itemDoubleClicked, [this] {
        if (mDoubleClickMessage != msg_Nothing)
            RunReportingErrors([&] { BroadcastMessage(mDoubleClickMessage, this); });
    });
}

void LListBox::SetItems(const QStringList& items)
{
    QSignalBlocker block(mList);
    mList->clear();
    mList->addItems(items);
    mMinValue = -1;
    mMaxValue = SInt32(items.size()) - 1;
    mValue = std::clamp(mValue, mMinValue, mMaxValue);
    ValueChanged();
}

QStringList LListBox::GetItems() const
{
    QStringList items;
    for (int i = 0; i < mList->count(); ++i)
        items << mList->item(i)->text();
    return items;
}

void LListBox::ValueChanged()
{
    if (!mList)
        return;
    QSignalBlocker block(mList);
    mList->setCurrentRow(mValue);
}

// Images

LImagePane::LImagePane(const LLayoutData& data)
    : LControl(data)
    , mImage(LoadImageResource(data.String("image")))
    , mFramed(data.Bool("framed", false))
{
}

LImagePane::LImagePane(const SPaneInfo& info, const QImage& image)
    : LControl(info, 0)
    , mImage(image)
{
}

void LImagePane::SetImage(const QImage& image)
{
    mImage = image;
    mIcon = QIcon();
    Refresh();
}

void LImagePane::SetIcon(const QIcon& icon)
{
    mIcon = icon;
    mImage = QImage();
    Refresh();
}

void LImagePane::DrawSelf(QPainter& painter)
{
    if (mFramed) {
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    if (!mIcon.isNull()) {
        mIcon.paint(&painter, rect());
        return;
    }
    if (mImage.isNull())
        return;
    QSize size = mImage.deviceIndependentSize().toSize();
    if (size.width() > width() || size.height() > height())
        size.scale(this->size(), Qt::KeepAspectRatio);
    QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, mImage);
}

void LImagePane::ClickSelf(const SMouseDownEvent&)
{
    BroadcastValueMessage();
}

// Decorations

LDecorPane::LDecorPane(const LLayoutData& data, Kind kind)
    : LView(data)
    , mKind(kind)
{
}

void LDecorPane::DrawSelf(QPainter& painter)
{
    QRect frame = rect();
    switch (mKind) {
    case kSeparator:
        painter.setPen(palette().color(QPalette::Mid));
        if (frame.width() >= frame.height())
            painter.drawLine(frame.left(), frame.center().y(), frame.right(), frame.center().y());
        else
            painter.drawLine(frame.center().x(), frame.top(), frame.center().x(), frame.bottom());
        break;
    case kPlacard:
    case kHeader:
        painter.fillRect(frame, palette().color(mKind == kHeader ? QPalette::Window : QPalette::Button));
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(frame.adjusted(0, 0, -1, -1));
        break;
    }
}

// Attachments

LDrawingAttachment::LDrawingAttachment(const LLayoutData& data, Kind kind)
    : LAttachment(msg_DrawOrPrint, true)
    , mKind(kind)
    , mColor(data.String("color", QStringLiteral("#ffffff")))
{
    if (!mColor.isValid())
        data.Fail(QStringLiteral("\"color\" is not a colour"));
}

void LDrawingAttachment::ExecuteSelf(MessageT, void* ioParam)
{
    auto* painter = static_cast<QPainter*>(ioParam);
    auto* pane = dynamic_cast<LPane*>(GetOwnerHost());
    if (!painter || !pane)
        return;
    QRect frame = pane->rect();
    switch (mKind) {
    case kErase:
    case kWindowTheme:
        painter->fillRect(frame, pane->palette().color(QPalette::Window));
        break;
    case kColorErase:
    case kPaint:
        painter->fillRect(frame, mColor);
        break;
    case kBorder:
        // Drawn over the host's own drawing would be ideal; drawn first it still frames it.
        painter->setPen(mColor == Qt::white ? QColor(Qt::black) : mColor);
        painter->drawRect(frame.adjusted(0, 0, -1, -1));
        break;
    }
}

LCmdEnablerAttachment::LCmdEnablerAttachment(const LLayoutData& data)
    : LAttachment(msg_CommandStatus, true)
    , mCommand(data.Int("command", 0))
{
}

LCmdEnablerAttachment::LCmdEnablerAttachment(CommandT command)
    : LAttachment(msg_CommandStatus, true)
    , mCommand(command)
{
}

void LCmdEnablerAttachment::ExecuteSelf(MessageT, void* ioParam)
{
    auto* status = static_cast<SCommandStatus*>(ioParam);
    mExecuteHost = true;
    if (status && status->command == mCommand) {
        *status->enabled = true;
        mExecuteHost = false;
    }
}
