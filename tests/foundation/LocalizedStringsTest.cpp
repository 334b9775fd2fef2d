#include "LocalizedStrings.h"

#include "BundleStrings.h"
#include "LString.h"
#include "ThemeText.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPushButton>

TEST(LocalizedStrings, MissingKeysComeBackAsTheirOwnText)
{
    Str255 text;
    GetLocalizedString(text, 600, 999);
    EXPECT_EQ(text.Bytes(), QByteArray("600:999"));
    EXPECT_EQ(CopyLocalizedCFString(-3, 7), QStringLiteral("-3:7"));
    EXPECT_EQ(CopyLocalizedString(QStringLiteral("NO_SUCH_KEY")), QStringLiteral("NO_SUCH_KEY"));
}

TEST(LocalizedStrings, ErrorListsHaveRealTexts)
{
    for (int index = 1; index <= 71; ++index)
        EXPECT_TRUE(BundleHasLocalizedString(LocalizedStringKey(500, SInt16(index)))) << index;
    for (int index = 1; index <= 33; ++index)
        EXPECT_TRUE(BundleHasLocalizedString(LocalizedStringKey(700, SInt16(index)))) << index;

    Str255 text;
    GetLocalizedString(text, 500, 50);
    EXPECT_EQ(text.Bytes(), QByteArray("No item matches the search."));
}

TEST(LocalizedStrings, IndexedLoaderGoesThroughTheLookup)
{
    InstallIndexedStringLoader();
    LString text(500, 58);
    EXPECT_EQ(text.ToQString(), QStringLiteral("No duplicates were found."));
    LString small(10);
    small.LoadIndexed(500, 58);
    EXPECT_EQ(small.ToQString(), QStringLiteral("No duplica"));
    // Index 0 reads the single string resource of the list, never "500:0".
    LString single(500, 0);
    EXPECT_TRUE(single.IsEmpty());
}

TEST(LocalizedStrings, ControlTitlesAndCriteriaMenus)
{
    QPushButton button(QStringLiteral("500:58"));
    EXPECT_EQ(LocalizeControlTitle(&button), noErr);
    EXPECT_EQ(button.text(), QStringLiteral("No duplicates were found."));
    EXPECT_EQ(LocalizeControlTitle(nullptr), err_NilPointer);

    QMenu menu;
    for (int i = 0; i < 7; ++i)
        menu.addAction(QStringLiteral("item %1").arg(i + 1));
    LocalizeCriteriaMenu(&menu);
    EXPECT_EQ(menu.actions().at(0)->text(), QStringLiteral("item 1"));
    EXPECT_EQ(menu.actions().at(1)->text(), BundleLocalizedString(QStringLiteral("602:24")));
    EXPECT_EQ(menu.actions().at(5)->text(), BundleLocalizedString(QStringLiteral("602:28")));
    EXPECT_EQ(menu.actions().at(6)->text(), QStringLiteral("item 7"));
}

namespace {

// Rows of `image` (from `top`, `count` rows) that hold any dark pixel.
bool HasInk(const QImage& image, int top, int count)
{
    for (int y = top; y < top + count && y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 128)
                return true;
        }
    }
    return false;
}

QImage Draw(const QString& text, const Rect& box, bool wrap, bool wholeLines)
{
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    DrawThemeTextInRect(text, box, kThemeSystemFont, teFlushLeft, kThemeStateActive, wrap, wholeLines, painter);
    painter.end();
    return image;
}

} // namespace

TEST(ThemeText, WholeLinesOnlyDropsThePartLine)
{
    const QString text = QStringLiteral("many words that wrap onto several lines in a narrow box of text");
    const int line = QFontMetrics(ThemeFont(kThemeSystemFont)).lineSpacing();
    const Rect box { 0, 0, SInt16(line + line / 2), 200 };

    // Wrapped into whole lines: nothing below the first line.
    EXPECT_TRUE(HasInk(Draw(text, box, true, true), 0, line));
    EXPECT_FALSE(HasInk(Draw(text, box, true, true), line, 100));
    // Without whole lines the second line shows, cut by the box.
    EXPECT_TRUE(HasInk(Draw(text, box, true, false), line, line / 2));
    EXPECT_FALSE(HasInk(Draw(text, box, true, false), box.bottom, 100));
    // Whole lines without wrapping draws into the full box.
    const Rect shortBox { 0, 0, SInt16(line / 2), 200 };
    EXPECT_TRUE(HasInk(Draw(QStringLiteral("Wy"), shortBox, false, true), 0, line / 2));
}

TEST(ThemeText, PrintingDrawsTextOutsideMacRoman)
{
    gPrintingInProgress = 1;
    const QImage image = Draw(QStringLiteral("\u041f\u0440\u0438\u0432\u0435\u0442"), Rect { 0, 0, 50, 200 }, false, false);
    gPrintingInProgress = 0;
    EXPECT_TRUE(HasInk(image, 0, 50));

    EXPECT_GT(GetThemeTextWidth(QStringLiteral("Wide text"), kThemeSystemFont, kThemeStateActive),
              GetThemeTextWidth(QStringLiteral("W"), kThemeSystemFont, kThemeStateActive));
    EXPECT_EQ(GetThemeTextWidth(QString(), kThemeSystemFont, kThemeStateActive), 0);
}
