#include "DisplayUtilities.h"
#include "LStream.h"
#include "LCommander.h"
#include "MediaCache.h"
#include "Preferences.h"
#include "RectUtilities.h"
#include "Sounds.h"
#include "ThemeColors.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QPainter>

#include <vector>

TEST(RectUtilities, FitScaleAndCentre)
{
    Rect source = MakeRect(0, 0, 50, 100);
    Rect frame = MakeRect(0, 0, 200, 200);
    Rect out;
    EXPECT_FLOAT_EQ(FitRectInRect(source, frame, out, false, false), 1.0f);
    EXPECT_EQ(out, MakeRect(0, 0, 50, 100));
    EXPECT_FLOAT_EQ(FitRectInRect(source, frame, out, true, false), 2.0f);
    EXPECT_EQ(out, MakeRect(0, 0, 100, 200));
    EXPECT_FLOAT_EQ(FitRectInRect(source, frame, out, true, true), 2.0f);
    EXPECT_EQ(out, MakeRect(50, 0, 150, 200));
    // Too big: shrunk to the frame's height, then centred across.
    EXPECT_FLOAT_EQ(FitRectInRect(MakeRect(0, 0, 400, 100), MakeRect(10, 10, 210, 210), out, false, true), 0.5f);
    EXPECT_EQ(out, MakeRect(10, 85, 210, 135));
    // Empty rectangles do not divide by zero.
    EXPECT_FLOAT_EQ(FitRectInRect(MakeRect(0, 0, 0, 0), frame, out, true, false), 1.0f);

    CenterRectInRect(MakeRect(5, 5, 15, 25), MakeRect(0, 0, 100, 100), out);
    EXPECT_EQ(out, MakeRect(45, 40, 55, 60));

    Rect r = MakeRect(-3, 3, 9, 10);
    ScaleRect(r, 0.5f);
    EXPECT_EQ(r, MakeRect(-1, 1, 4, 5));
}

TEST(RectUtilities, EtchedFrameDrawsLightOutsideDarkInside)
{
    QImage image(20, 20, QImage::Format_RGB32);
    image.fill(Qt::gray);
    {
        QPainter painter(&image);
        DrawEtchedFrame(painter, MakeRect(0, 0, 20, 20), Qt::white, Qt::black);
    }
    const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255), gray = QColor(Qt::gray).rgb();
    EXPECT_EQ(image.pixel(0, 0), black);
    EXPECT_EQ(image.pixel(18, 18), black);
    EXPECT_EQ(image.pixel(18, 0), black);
    EXPECT_EQ(image.pixel(19, 19), white);
    EXPECT_EQ(image.pixel(1, 1), white);
    EXPECT_EQ(image.pixel(19, 0), gray);
    EXPECT_EQ(image.pixel(10, 10), gray);
}

TEST(DisplayUtilities, FullScreenNests)
{
    ASSERT_EQ(gFullScreenNesting, 0);
    BeginFullScreenMode(false);
    BeginFullScreenMode(true);
    EndFullScreenMode();
    EXPECT_TRUE(IsSystemUIHidden());
    EndFullScreenMode();
    EXPECT_FALSE(IsSystemUIHidden());
    EndFullScreenMode();
    EXPECT_EQ(gFullScreenNesting, 0);
}

TEST(DisplayUtilities, FadeOffChangesNothing)
{
    SetPrefBoolean(QStringLiteral("MediaUseFadeEffect"), false);
    StDisplayFade fade(0.7f, true);
    EXPECT_FALSE(fade.IsFaded());
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
}

TEST(DisplayUtilities, CommandRangesAndTicks)
{
    EXPECT_TRUE(IsSavedSettingsCommand(9000));
    EXPECT_FALSE(IsSavedSettingsCommand(10000));
    EXPECT_EQ(SavedSettingsIndexFromCommand(9499), 499);
    EXPECT_EQ(SavedSettingsIndexFromCommand(9500), 0);
    EXPECT_EQ(SavedSettingsIndexFromCommand(9501), 1);
    EXPECT_EQ(SavedSettingsIndexFromCommand(10000), 0);
    CommandT command = 10001;
    SInt32 field = 0;
    EXPECT_TRUE(FieldIDFromCommand(&command, &field));
    EXPECT_EQ(field, 4001);
    command = 13000;
    EXPECT_FALSE(FieldIDFromCommand(&command, &field));
    EXPECT_FALSE(FieldIDFromCommand(nullptr, &field));

    EXPECT_EQ(SecondsToTicks(0.05), 3u);
    EXPECT_EQ(SecondsToTicks(-1), 0u);
    EXPECT_EQ(SecondsToTicks(1e12), 4294967295u);
}

TEST(DisplayUtilities, ScramblingLeavesLengthAndLastCharacter)
{
    Str255 password("secret");
    Str255 original = password;
    ScramblePString(password);
    EXPECT_EQ(password.Length(), 6);
    EXPECT_EQ(password.Bytes(), QByteArray("zljyl") + 't');
    UnscramblePString(password);
    EXPECT_EQ(password, original);

    Str255 wraps;
    wraps.AssignBytes("\xFC\xFDz", 3);
    ScramblePString(wraps);
    EXPECT_EQ(wraps.Bytes(), QByteArray("\x03\x04z", 3));
    Str255 one("a");
    ScramblePString(one);
    EXPECT_EQ(one.Bytes(), QByteArray("a"));
}

namespace {

class CountingCommander : public LCommander {
public:
    bool ObeyCommand(CommandT command, void*) override
    {
        obeyed.push_back(command);
        return true;
    }
    std::vector<CommandT> obeyed;
};

} // namespace

TEST(DisplayUtilities, PostedCommandRunsOnceFromTheEventLoop)
{
    CountingCommander commander;
    ASSERT_EQ(PostCommandEvent(1234, &commander), noErr);
    ASSERT_EQ(PostCommandEvent('quit', &commander), noErr);
    EXPECT_TRUE(commander.obeyed.empty());
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(commander.obeyed, (std::vector<CommandT> {1234, 10}));
}

TEST(DisplayUtilities, MenuTextAndItemListLock)
{
    QMenu menu;
    menu.addAction(QStringLiteral("Open"));
    menu.addAction(QStringLiteral("Close"));
    EXPECT_TRUE(MenuHasItemText(&menu, QStringLiteral("Open")));
    EXPECT_FALSE(MenuHasItemText(&menu, QStringLiteral("open")));
    EXPECT_FALSE(MenuHasItemText(nullptr, QStringLiteral("Open")));

    struct View : AItemListLockable {
        int level = 0;
        void LockItemList() override { ++level; }
        void UnlockItemList() override { --level; }
    } view;
    {
        StItemListLock outer(&view);
        StItemListLock inner(&view);
        StItemListLock none(nullptr);
        EXPECT_EQ(view.level, 2);
    }
    EXPECT_EQ(view.level, 0);
}

namespace {

struct CachedItem : ACachedMediaHolder {
    explicit CachedItem(std::vector<int>& log, int id) : log(log), id(id) { }
    void DropCachedMedia() override
    {
        log.push_back(id);
        RemoveFromPurgeList(this); // as an item does when its picture goes
    }
    std::vector<int>& log;
    int id;
};

} // namespace

TEST(MediaCache, DropsOldestFirstAndStopsQuietly)
{
    std::vector<int> dropped;
    CachedItem a(dropped, 1), b(dropped, 2), c(dropped, 3);
    SInt64 free = -1;
    PurgeMemoryCaches(kPurgeMemoryNeed, free); // empty list: only reports
    EXPECT_GT(free, 0);
    EXPECT_TRUE(dropped.empty());

    AddToMediaCacheList(&a);
    AddToMediaCacheList(&b);
    AddToMediaCacheList(&c);
    RemoveFromPurgeList(&b);
    RemoveFromPurgeList(&b);
    PurgeCachedMedia(1);
    EXPECT_EQ(dropped, std::vector<int>({1}));
    AddToMediaCacheList(&b);
    PurgeCachedMedia(5);
    EXPECT_EQ(dropped, std::vector<int>({1, 3, 2}));
    EXPECT_EQ(CountMediaCacheList(), 0);

    AddToMediaCacheList(&a);
    PurgeMemoryCaches(std::numeric_limits<SInt64>::max(), free);
    EXPECT_EQ(dropped.back(), 1);
    EXPECT_EQ(CountMediaCacheList(), 0);
}

TEST(MediaCache, AnItemIsOnTheListOnceAndACopyIsNot)
{
    std::vector<int> dropped;
    CachedItem a(dropped, 1), b(dropped, 2), c(dropped, 3);
    AddToMediaCacheList(&a);
    AddToMediaCacheList(&b);
    AddToMediaCacheList(&c);
    AddToMediaCacheList(&a); // used again: now the newest
    EXPECT_EQ(CountMediaCacheList(), 3);
    CachedItem copy(b);
    RemoveFromPurgeList(&copy); // never on the list: the original stays
    EXPECT_EQ(CountMediaCacheList(), 3);
    RemoveFromPurgeList(&c); // from the middle
    PurgeCachedMedia(5);
    EXPECT_EQ(dropped, std::vector<int>({2, 1}));
    EXPECT_EQ(CountMediaCacheList(), 0);
}

TEST(CompletionSound, PlaysOnlyPastTwentySeconds)
{
    StCompletionSound sound(20);
    UInt32 start = UInt32(sound.StartTicks());
    EXPECT_FALSE(sound.IsPastThreshold(start + 1200));
    EXPECT_TRUE(sound.IsPastThreshold(start + 1201));
    SetPrefBoolean(QStringLiteral("PlayCompletionSound"), true);
}

TEST(DisplayUtilities, PoofPlaysItsFiveFramesAndLeavesNothingBehind)
{
    const QImage& poof = GetPoofImage();
    ASSERT_FALSE(poof.isNull());
    EXPECT_EQ(poof.width() % 5, 0);
    EXPECT_TRUE(poof.hasAlphaChannel());

    QWidget hidden;
    ShowPoofEffect(&hidden, QRect(0, 0, 10, 10)); // not visible: nothing
    ShowPoofEffect(nullptr, QRect(0, 0, 10, 10));
    QElapsedTimer clock;
    clock.start();
    AnimatePoof(QPoint(100, 100));
    EXPECT_GE(clock.elapsed(), 5 * 40); // five frames, 3 ticks each
    EXPECT_TRUE(QApplication::topLevelWidgets().size() <= 1);
}

TEST(DisplayUtilities, FilePositionComesBack)
{
    QByteArray data("0123456789");
    LDataStream stream(data);
    stream.SetMarker(3);
    {
        StFilePosition keep(stream, 8);
        EXPECT_EQ(stream.GetMarker(), 8);
        stream.SetMarker(9);
    }
    EXPECT_EQ(stream.GetMarker(), 3);
    {
        StFilePosition keep(stream);
        stream.SetMarker(0);
    }
    EXPECT_EQ(stream.GetMarker(), 3);
}

namespace {

struct GroupPane : AMediaGroupPane {
    SInt16 mode = 0;
    QColor light = Qt::white, dark = Qt::black;
    QStringList drawn;
    SInt16 GetBackgroundMode() const override { return mode; }
    void GetFrameColors(QColor& l, QColor& d) const override
    {
        l = light;
        d = dark;
    }
    void DrawOwnFrame(QPainter&, const QRect&) override { drawn << QStringLiteral("own"); }
    void DrawPatternFrame(QPainter&, const QRect&) override { drawn << QStringLiteral("pattern"); }
    void DrawThemeGroup(QPainter&, const QRect&, bool primary) override
    {
        drawn << (primary ? QStringLiteral("primary") : QStringLiteral("secondary"));
    }
};

} // namespace

TEST(DisplayUtilities, MediaGroupChoosesItsFrame)
{
    QImage image(10, 10, QImage::Format_RGB32);
    QPainter painter(&image);
    const QRect frame(0, 0, 10, 10);
    GroupPane pane;
    SetPrefNumber(QStringLiteral("MediaPatternID"), 2);
    DrawMediaPrimaryGroup(painter, frame, -10, pane);
    DrawMediaPrimaryGroup(painter, frame, -11, pane);
    DrawMediaSecondaryGroup(painter, frame, 0, pane);
    SetPrefNumber(QStringLiteral("MediaPatternID"), 1);
    DrawMediaPrimaryGroup(painter, frame, -11, pane);
    EXPECT_EQ(pane.drawn, QStringList({"own", "pattern", "secondary", "primary"}));

    pane.drawn.clear();
    pane.mode = 1;
    DrawMediaPrimaryGroup(painter, frame, -10, pane);
    pane.mode = 0;
    pane.dark = pane.light;
    DrawMediaPrimaryGroup(painter, frame, 0, pane);
    EXPECT_TRUE(pane.drawn.isEmpty());
}

TEST(ThemeColors, BrushesPickTheirRampEntries)
{
    EXPECT_EQ(GetColorRampEntry(0), QColor(Qt::white));
    EXPECT_EQ(GetColorRampEntry13(), QColor(Qt::black));
    EXPECT_EQ(GetColorRampEntry(99), QColor(Qt::black));
    const std::pair<SInt16, int> table[] = {{-2, 0}, {12, 0}, {35, 0}, {10, 1}, {5, 2}, {39, 2}, {34, 6}, {28, 7},
        {32, 8}, {31, 9}, {1, 13}, {40, 13}};
    for (auto [brush, entry] : table)
        EXPECT_EQ(ColorRampIndexForBrush(brush), entry) << brush;
    QImage image(1, 1, QImage::Format_RGB32);
    QPainter painter(&image);
    ApplyThemePen(painter, 34);
    EXPECT_EQ(painter.pen().color(), GetColorRampEntry(6));
}
