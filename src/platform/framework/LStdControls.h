#pragma once

#include "LAttachment.h"
#include "LBroadcaster.h"
#include "LControl.h"
#include "LView.h"
#include "UKeyFilters.h"

#include <QIcon>
#include <QImage>
#include <QStringList>

class QAbstractButton;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QSlider;
class QTabBar;

// Push button ('pbut'). Layout: "default", "cancel". A click broadcasts the value message.
class LStdButton : public LControlPane {
public:
    LStdButton(const SPaneInfo& info, MessageT message, const QString& title);
    explicit LStdButton(const LLayoutData& data);
    void SetDefaultButton(bool isDefault);
    bool IsDefaultButton() const;
    void SimulateHotSpotClick(SInt16 part = kControlButtonPart) override;

protected:
    void EnableSelf() override;
};

// Check box ('cbox'): value 0 or 1; a click toggles it.
class LStdCheckBox : public LControlPane {
public:
    LStdCheckBox(const SPaneInfo& info, MessageT message, SInt32 value, const QString& title);
    explicit LStdCheckBox(const LLayoutData& data);
    void HotSpotResult(SInt16 part) override;

protected:
    void ValueChanged() override;

private:
    void Init();
};

// Radio button ('rbut'): value 0 or 1; a click turns it on (a radio group turns the others off).
class LStdRadioButton : public LControlPane {
public:
    LStdRadioButton(const SPaneInfo& info, MessageT message, SInt32 value, const QString& title);
    explicit LStdRadioButton(const LLayoutData& data);
    void HotSpotResult(SInt16 part) override;

protected:
    void ValueChanged() override;

private:
    void Init();
};

// Radio group ('radg'): an attachment of the view that holds the buttons
// ("buttons": [pane IDs]); keeps one on and broadcasts the pane ID of the one turned on.
class LRadioGroup : public LAttachment, public LListener, public LBroadcaster {
public:
    explicit LRadioGroup(const LLayoutData& data);
    LRadioGroup(const std::vector<PaneIDT>& buttonIDs);
    void AddRadio(LControl* radio);
    PaneIDT GetCurrentRadioID() const;
    void SetCurrentRadioID(PaneIDT paneID);
    void ListenToMessage(MessageT message, void* ioParam) override;

protected:
    void ExecuteSelf(MessageT message, void* ioParam) override;

private:
    std::vector<PaneIDT> mButtonIDs;
    std::vector<LControl*> mRadios;
    LControl* mCurrent = nullptr;
};

// Menu items of a control: "menu" (a menu resource ID) or "items" (keys into the
// strings table).
QStringList ControlMenuItems(const LLayoutData& data, ResIDT& outMenuID);

// Popup menu button ('popm'): the value is the 1-based item chosen.
class LStdPopupMenu : public LControlPane {
public:
    LStdPopupMenu(const SPaneInfo& info, MessageT message, const QStringList& items, SInt32 value = 1);
    explicit LStdPopupMenu(const LLayoutData& data);
    void SetItems(const QStringList& items);
    QStringList GetItems() const;
    void AppendItem(const QString& text);
    ResIDT GetMenuID() const { return mMenuID; }

protected:
    void ValueChanged() override;

private:
    void Init(const QStringList& items);
    QComboBox* mCombo = nullptr;
    ResIDT mMenuID = 0;
};

// Bevel button ('bevl'), optionally with a menu whose chosen item becomes the
// value; 'cbbt' sends a command ("command") to the target instead of only broadcasting.
class LBevelButton : public LControlPane {
public:
    explicit LBevelButton(const LLayoutData& data);
    LBevelButton(const SPaneInfo& info, MessageT message, const QString& title);
    void SetMenuItems(const QStringList& items);
    QMenu* GetMenu() const { return mMenu; }
    SInt16 GetCurrentMenuItem() const { return mMenuItem; }
    void SetCurrentMenuItem(SInt16 item) { mMenuItem = item; }
    void SetIcon(const QImage& image);
    // An icon with its own sizes, drawn sharp at any pixel ratio.
    void SetIcon(const QIcon& icon);
    void HotSpotResult(SInt16 part) override;

private:
    void Init();
    QMenu* mMenu = nullptr;
    SInt16 mMenuItem = 0;
};

class LCmdBevelButton : public LBevelButton {
public:
    explicit LCmdBevelButton(const LLayoutData& data);
    void HotSpotResult(SInt16 part) override;

private:
    CommandT mCommand = 0;
};

// Group box ('gbox'): a titled frame around subpanes. 'cbgb' has a check box as its
// title and 'pgbx' a popup; their value is that control's.
class LGroupBox : public LView {
public:
    explicit LGroupBox(const LLayoutData& data);
    LGroupBox(const SPaneInfo& info, const QString& title);
    void SetCFDescriptor(const QString& title) override;
    QGroupBox* GetGroupBox() const { return mBox; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    QGroupBox* mBox = nullptr;
};

class LCheckBoxGroupBox : public LGroupBox, public LBroadcaster {
public:
    explicit LCheckBoxGroupBox(const LLayoutData& data);
    SInt32 GetValue() const override;
    void SetValue(SInt32 value) override;

private:
    MessageT mMessage = 0;
};

class LPopupGroupBox : public LGroupBox, public LBroadcaster {
public:
    explicit LPopupGroupBox(const LLayoutData& data);
    SInt32 GetValue() const override;
    void SetValue(SInt32 value) override;
    LStdPopupMenu* GetPopup() const { return mPopup; }

private:
    LStdPopupMenu* mPopup = nullptr;
};

// Static text ('stxt', 'capt') and the theme text box ('ttxb'): the descriptor drawn
// in the pane ("justification": "left", "center", "right"; "wrap"). A text that may
// be longer than the pane ("elide": "left", "middle", "right") stays on one line,
// shortened with an ellipsis where told, and shows whole in its tool tip.
class LStaticText : public LControlPane {
public:
    explicit LStaticText(const LLayoutData& data);
    LStaticText(const SPaneInfo& info, const QString& text);
    // A text the pane shows already is not set again (nor laid out, nor redrawn).
    void SetCFDescriptor(const QString& text) override;
    QSize minimumSizeHint() const override;
    // A caption of a field: Alt and its marked letter (`marked`, "&Size:") take the keyboard there.
    bool HasBuddy() const;
    void ShowMnemonic(const QString& marked);

protected:
    void ShowText(const QString& text) override;
    void resizeEvent(QResizeEvent* event) override;
    // "labelFor": the pane ID of the field the text is the caption of.
    void FinishCreateSelf() override;

private:
    void Init(int alignment, bool wrap);
    void FitText();
    void NameBuddy();
    QLabel* mLabel = nullptr;
    Qt::TextElideMode mElide = Qt::ElideNone;
    PaneIDT mLabelFor = 0;
};

// Caption ('capt') and theme text box ('ttxb'): the descriptor drawn by the pane
// itself in a text style ("textTraits", a text traits resource ID; "justification"
// overrides the style's), wrapped to the frame. The theme text box draws dimmed
// while inactive ("dimWhenInactive") or disabled ("dimWhenDisabled", the default).
class LCaption : public LPane {
public:
    explicit LCaption(const LLayoutData& data);
    LCaption(const SPaneInfo& info, const QString& text, ResIDT textTraitsID = 0);
    ResIDT GetTextTraitsID() const { return mTextTraitsID; }
    void SetTextTraitsID(ResIDT traitsID);
    void DrawSelf(QPainter& painter) override;

protected:
    // The colour and justification the text is drawn with.
    virtual bool IsDimmed() const { return false; }
    ResIDT mTextTraitsID = 0;
    SInt16 mJustification = 0;
    bool mHasJustification = false;
};

class LThemeTextBox : public LCaption {
public:
    explicit LThemeTextBox(const LLayoutData& data);
    LThemeTextBox(const SPaneInfo& info, const QString& text, ResIDT textTraitsID = 0);
    bool DimsWhenInactive() const { return mDimWhenInactive; }
    bool DimsWhenDisabled() const { return mDimWhenDisabled; }

protected:
    bool IsDimmed() const override;

private:
    bool mDimWhenInactive = false;
    bool mDimWhenDisabled = true;
};

// Edit field ('etxt', 'edit'): "maxChars", "keyFilter" (the UKeyFilters IDs); the
// value is the text as a number. Each change broadcasts the value message.
class LEditText : public LControlPane {
public:
    explicit LEditText(const LLayoutData& data);
    LEditText(const SPaneInfo& info, const QString& text, SInt16 keyFilter = keyFilter_Printing, int maxChars = 255);
    SInt32 GetValue() const override;
    void SetValue(SInt32 value) override;
    void SetCFDescriptor(const QString& text) override;
    QString GetCFDescriptor() const override;
    void SelectAll();
    void SetSelection(int start, int end);
    void GetSelection(int& outStart, int& outEnd) const;
    void SetMaxChars(int maxChars);
    SInt16 GetKeyFilter() const { return mKeyFilter; }
    void SetKeyFilter(SInt16 keyFilter) { mKeyFilter = keyFilter; }
    QLineEdit* GetLineEdit() const { return mEdit; }
    QSize sizeHint() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Init(SInt16 keyFilter, int maxChars);
    QLineEdit* mEdit = nullptr;
    SInt16 mKeyFilter = keyFilter_Printing;
};

// The edit field of layouts that name the older class.
using LEditField = LEditText;

// Tabs ('tabs'): "tabs" (titles, keys) and "panels" (pane IDs, one per tab); the
// value (1-based) selects the tab and shows its panel, hiding the others.
class LTabsControl : public LControlPane {
public:
    explicit LTabsControl(const LLayoutData& data);
    void SetPanels(const std::vector<PaneIDT>& panelIDs);
    SInt32 CountTabs() const;
    // Adds a tab at the end (a localized title key); cutting the count drops the
    // last tabs, and a value past the new end moves to the last tab left.
    void AppendTab(const QString& titleKey);
    void SetTabCount(SInt32 count);

protected:
    void ValueChanged() override;
    void FinishCreateSelf() override;
    void changeEvent(QEvent* event) override;

private:
    void ShowPanel();
    // Widens the pane, and its window first, until every tab shows whole.
    void FitTabs();
    QTabBar* mTabs = nullptr;
    std::vector<PaneIDT> mPanelIDs;
};

// Progress bar ('pbar'): determinate between min and max, or indeterminate.
class LProgressBar : public LControlPane {
public:
    explicit LProgressBar(const LLayoutData& data);
    LProgressBar(const SPaneInfo& info, SInt32 value, SInt32 minValue, SInt32 maxValue);
    void SetIndeterminate(bool indeterminate);
    bool IsIndeterminate() const { return mIndeterminate; }

protected:
    void ValueChanged() override;

private:
    void Init();
    QProgressBar* mBar = nullptr;
    bool mIndeterminate = false;
};

// Slider ('slid').
class LSlider : public LControlPane {
public:
    explicit LSlider(const LLayoutData& data);

protected:
    void ValueChanged() override;

private:
    QSlider* mSlider = nullptr;
};

// List box ('lbox'): "items"; the value is the selected row counted from 0, -1
// when none is selected. Double-clicking a row broadcasts "doubleClickMessage"
// with the list box.
class LListBox : public LControlPane {
public:
    explicit LListBox(const LLayoutData& data);
    void SetItems(const QStringList& items);
    QStringList GetItems() const;
    QListWidget* GetList() const { return mList; }

protected:
    void ValueChanged() override;

private:
    QListWidget* mList = nullptr;
    MessageT mDoubleClickMessage = 0;
};

// Picture ('pict'), icon pane ('icnp', 'cicn'), image well ('iwel'): an image
// ("image": a resource path such as ":/icons/x.png") drawn into the frame, centred
// and scaled down to fit; a click broadcasts the value message.
class LImagePane : public LControl {
public:
    explicit LImagePane(const LLayoutData& data);
    LImagePane(const SPaneInfo& info, const QImage& image);
    void SetImage(const QImage& image);
    const QImage& GetImage() const { return mImage; }
    // An icon instead, drawn from its own sizes at the screen's pixel ratio.
    void SetIcon(const QIcon& icon);
    const QIcon& GetIcon() const { return mIcon; }
    void DrawSelf(QPainter& painter) override;
    void ClickSelf(const SMouseDownEvent& event) override;

private:
    QImage mImage;
    QIcon mIcon;
    bool mFramed = false;
};

// Separator line ('sepl'), placard ('plcd'), window header ('wshd'): drawn frames.
class LDecorPane : public LView {
public:
    enum Kind { kSeparator, kPlacard, kHeader };
    LDecorPane(const LLayoutData& data, Kind kind);
    void DrawSelf(QPainter& painter) override;

private:
    Kind mKind;
};

// Attachments that draw: erase ('eras') and colour erase ('cers') fill the frame
// before the host draws, paint ('pnta') fills it with "color", border ('brda')
// frames it afterwards; 'cena' enables the command "command" while it is attached;
// 'wtha' gives a window the theme's background.
class LDrawingAttachment : public LAttachment {
public:
    enum Kind { kErase, kColorErase, kPaint, kBorder, kWindowTheme };
    LDrawingAttachment(const LLayoutData& data, Kind kind);

protected:
    void ExecuteSelf(MessageT message, void* ioParam) override;

private:
    Kind mKind;
    QColor mColor;
};

class LCmdEnablerAttachment : public LAttachment {
public:
    explicit LCmdEnablerAttachment(const LLayoutData& data);
    explicit LCmdEnablerAttachment(CommandT command);

protected:
    void ExecuteSelf(MessageT message, void* ioParam) override;

private:
    CommandT mCommand;
};
