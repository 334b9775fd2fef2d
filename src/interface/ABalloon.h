#pragma once

#include "LAttachment.h"
#include "LLayoutData.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>
#include <vector>

class LPane;
class LWindow;

// The base of help tags: an attachment of the pane the tag describes. Texts are
// null when the tag has none of that kind.
class ABalloonBase : public LAttachment {
public:
    ABalloonBase();
    ~ABalloonBase() override;

    LPane* GetHostPane() const;
    bool IsAlwaysShown() const { return mAlwaysShown; }
    void SetOwnerHost(LAttachable* host) override;

    virtual QString GetHelpString(LPane* pane) { Q_UNUSED(pane); return {}; }
    virtual QString CopyShortText(LPane* pane) { Q_UNUSED(pane); return {}; }
    virtual QString GetLongHelpString(LPane* pane) { Q_UNUSED(pane); return {}; }
    virtual QString CopyLongText(LPane* pane) { Q_UNUSED(pane); return {}; }

protected:
    void ExecuteSelf(MessageT, void*) override {}
    bool mAlwaysShown = false;
};

// A tag from a string list by the pane's state. Layout fields: "stringList" and
// "strings" (the indices for disabled-off, enabled-off, disabled-on, enabled-on).
class ABalloon : public ABalloonBase {
public:
    static constexpr ClassIDT class_ID = 'ABal';

    ABalloon(SInt16 stringListID, SInt16 disabledOff, SInt16 enabledOff, SInt16 disabledOn, SInt16 enabledOn);
    explicit ABalloon(const LLayoutData& data);

    QString GetHelpString(LPane* pane) override;

private:
    SInt16 mListID;
    SInt16 mIndices[4]; // disabled-off, enabled-off, disabled-on, enabled-on
};

// A string-list tag shown even while help tags are switched off.
class AAutoBalloon : public ABalloon {
public:
    static constexpr ClassIDT class_ID = 'AABa';

    AAutoBalloon(SInt16 stringListID, SInt16 disabledOff, SInt16 enabledOff, SInt16 disabledOn, SInt16 enabledOn);
    explicit AAutoBalloon(const LLayoutData& data);
};

// A tag looked up by key in the help-tag texts: key + " enabled"/" disabled"
// + " on"/" off" first, then shorter forms, then the key; the long text the same
// with " long". Layout field: "key".
class ALocalizedTag : public ABalloonBase {
public:
    static constexpr ClassIDT class_ID = 'ALTg';

    explicit ALocalizedTag(const QString& key);
    explicit ALocalizedTag(const LLayoutData& data);

    QString CopyShortText(LPane* pane) override;
    QString CopyLongText(LPane* pane) override;

private:
    QString Lookup(LPane* pane, const QString& suffix) const;
    QString mKey;
};

// Every tag attached; the engine that shows them. It lives while a tag exists.
class ABalloonHelper {
public:
    virtual ~ABalloonHelper() = default;
    virtual void AddBalloon(ABalloonBase* balloon);
    virtual void RemoveBalloon(ABalloonBase* balloon);
    const std::vector<ABalloonBase*>& GetBalloons() const { return mBalloons; }

protected:
    std::vector<ABalloonBase*> mBalloons;
};

class ABalloonHelperTag : public QObject, public ABalloonHelper {
public:
    ABalloonHelperTag();
    ~ABalloonHelperTag() override;

    void AddBalloon(ABalloonBase* balloon) override;
    void RemoveBalloon(ABalloonBase* balloon) override;
    virtual void InstallAppHandler();
    virtual void RemoveAppHandler();

    // The tag for a point of a window: false when none is to be shown there.
    bool FindContent(LWindow* window, QPoint global, QString& outShort, QString& outLong, QRect& outHotRect) const;
    // Shows the tag under a global point now (the long text while Command is down).
    bool ShowTagAt(QPoint global);
    // The timer that waits out the tag delay after the mouse moved.
    const QTimer& GetDelayTimer() const { return mDelay; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTimer mDelay;
    bool mHandlerInstalled = false;
};

// The hot rectangle of a pane in global coordinates: its exposed frame (a
// check-box or popup group box: its title line only); empty when none shows.
QRect HelpTagHotRect(LPane* pane);

void EnableHelpTags();
void DisableHelpTags();
bool AreHelpTagsEnabled();
// Tags on or off by the preference "ShowToolTips".
void ApplyShowToolTipsPreference();
// The delay in ticks (the program uses 20); tags wait ticks x 17 milliseconds.
void SetHelpTagDelay(SInt32 ticks);
// The delay now in milliseconds (1 while Control is held and the handler installed).
int GetHelpTagDelayMilliseconds();
// Holding Control shows tags at once and even while tags are off.
void InstallHelpTagHandler();
bool IsControlKeyDownForHelpTags();
// The help-tag text of a key; null when there is none (or it is the key itself).
QString CopyHelpTagString(const QString& key);
ABalloonHelperTag* GetBalloonHelper();
