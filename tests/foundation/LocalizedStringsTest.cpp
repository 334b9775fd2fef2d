#include "LocalizedStrings.h"

#include "BundleStrings.h"
#include "LString.h"
#include "ThemeText.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>

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

namespace {

// The arguments of the call whose opening parenthesis is at `open`, split at its top-level commas.
QStringList CallArguments(const QString& text, qsizetype open)
{
    QStringList arguments;
    QString current;
    int depth = 0;
    for (qsizetype i = open; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('(') && depth++ == 0)
            continue;
        if (c == QLatin1Char(')') && --depth == 0) {
            arguments << current.trimmed();
            break;
        }
        if (c == QLatin1Char(',') && depth == 1) {
            arguments << current.trimmed();
            current.clear();
            continue;
        }
        current += c;
    }
    return arguments;
}

// The texts of the program's files (sources and resource descriptions) under the folders.
QStringList ProgramSources(std::initializer_list<const char*> folders)
{
    QStringList sources;
    for (const char* folder : folders) {
        QDirIterator it(QStringLiteral(ORVEX_SOURCE_DIR "/") + folder, { "*.cpp", "*.h", "*.json" }, QDir::Files,
            QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
            sources << QString::fromUtf8(file.readAll());
        }
    }
    return sources;
}

bool ResourceExists(const QString& relative)
{
    return QFileInfo::exists(QStringLiteral(ORVEX_SOURCE_DIR "/resources/") + relative);
}

} // namespace

// Every layout, menu and help page (with its anchor) the program names is there:
// named constants of layouts and menus, the numbers handed to the calls that make
// windows and menus, the menus that layouts and menus name, and the help pages
// and anchors the help commands open.
TEST(ResourceIDs, EveryLayoutMenuAndHelpAnchorTheSourcesNameExists)
{
    const QStringList code = ProgramSources({ "src" });
    const QStringList layouts = ProgramSources({ "resources/layouts" });
    const QStringList menus = ProgramSources({ "resources/menus" });
    ASSERT_GT(code.size(), 100);

    QSet<QString> layoutIDs, menuIDs;
    const QRegularExpression layoutConstant(
        QStringLiteral(R"(\bk\w*(?:Layout|Dialog|Window|Panel|Sheet)\s*=\s*(\d+)\s*[,;])"));
    const QRegularExpression menuConstant(QStringLiteral(R"(\bk\w*Menu(?:ID)?\s*=\s*(\d+)\s*[,;])"));
    const QRegularExpression layoutCall(QStringLiteral(
        R"(\b(?:CreateWindow|CreateWindowFromLayout|CreatePaneTree|StDialogHandler\s+\w+|StModalLayout\s+\w+)\(\s*(\d+)\s*[,)])"));
    const QRegularExpression menuCall(QStringLiteral(R"(\b(?:CachedMenu|FetchMenu|GetMenu)\(\s*(\d+)\s*\))"));
    for (const QString& text : code) {
        for (const QRegularExpression* pattern : { &layoutConstant, &layoutCall }) {
            for (auto m = pattern->globalMatch(text); m.hasNext();)
                layoutIDs << m.next().captured(1);
        }
        for (const QRegularExpression* pattern : { &menuConstant, &menuCall }) {
            for (auto m = pattern->globalMatch(text); m.hasNext();)
                menuIDs << m.next().captured(1);
        }
    }
    const QRegularExpression menuOfResource(QStringLiteral(R"re("(?:menu|submenu)"\s*:\s*(\d+))re"));
    for (const QStringList* resources : { &layouts, &menus }) {
        for (const QString& text : *resources) {
            for (auto m = menuOfResource.globalMatch(text); m.hasNext();)
                menuIDs << m.next().captured(1);
        }
    }
    EXPECT_GT(layoutIDs.size(), 25);
    EXPECT_GT(menuIDs.size(), 25);
    for (const QString& id : std::as_const(layoutIDs))
        EXPECT_TRUE(ResourceExists(QStringLiteral("layouts/%1.json").arg(id))) << "layout " << id.toStdString();
    for (const QString& id : std::as_const(menuIDs))
        EXPECT_TRUE(ResourceExists(QStringLiteral("menus/%1.json").arg(id))) << "menu " << id.toStdString();

    // Help: every page named, and every anchor a help command opens, whether
    // written in the call or in a name given to it in the same file.
    const QRegularExpression page(QStringLiteral(R"re("(pgs/\w+\.html)")re"));
    const QRegularExpression helpCall(QStringLiteral(R"(\bGotoHelpPage\s*\()"));
    const QRegularExpression literal(QStringLiteral(R"re("([^"]*)")re"));
    int anchors = 0;
    for (const QString& text : code) {
        QHash<QString, QString> named; // names given to texts: `name = QStringLiteral("...")`
        const QRegularExpression naming(QStringLiteral(R"re(\b(\w+)\s*=\s*([^;]*QStringLiteral\("[^;]*);)re"));
        for (auto m = naming.globalMatch(text); m.hasNext();) {
            const auto match = m.next();
            named.insert(match.captured(1), match.captured(2));
        }
        for (auto m = helpCall.globalMatch(text); m.hasNext();) {
            const QStringList arguments = CallArguments(text, m.next().capturedEnd() - 1);
            if (arguments.size() < 2 || arguments.at(0).startsWith(QLatin1String("const")))
                continue; // a declaration, or a page without an anchor
            auto texts = [&](const QString& argument) {
                QStringList found;
                const QString source = named.contains(argument) ? named.value(argument) : argument;
                for (auto l = literal.globalMatch(source); l.hasNext();)
                    found << l.next().captured(1);
                return found;
            };
            const QStringList pages = texts(arguments.at(0));
            ASSERT_FALSE(pages.isEmpty()) << arguments.at(0).toStdString();
            for (const QString& anchor : texts(arguments.at(1))) {
                for (const QString& name : pages) {
                    QFile help(QStringLiteral(ORVEX_SOURCE_DIR "/resources/help/") + name);
                    ASSERT_TRUE(help.open(QIODevice::ReadOnly)) << name.toStdString();
                    const QString html = QString::fromUtf8(help.readAll());
                    EXPECT_TRUE(html.contains(QStringLiteral("id=\"%1\"").arg(anchor))
                        || html.contains(QStringLiteral("name=\"%1\"").arg(anchor)))
                        << name.toStdString() << "#" << anchor.toStdString();
                    ++anchors;
                }
            }
        }
        for (auto m = page.globalMatch(text); m.hasNext();) {
            const QString name = m.next().captured(1);
            EXPECT_TRUE(ResourceExists(QStringLiteral("help/") + name)) << name.toStdString();
        }
    }
    EXPECT_GE(anchors, 3);
}

// Every key the program looks up has a text of its own, so that no raw "600:87" reaches the user:
// literal keys anywhere in the sources, layouts and menus, and the list and index of the lookup
// calls, where each is a number, a named constant, or a choice of them.
TEST(LocalizedStrings, EveryKeyTheSourcesUseHasAText)
{
    const QStringList sources = ProgramSources({ "src", "resources/layouts", "resources/menus" });
    ASSERT_GT(sources.size(), 100);

    QHash<QString, QString> constants; // k-names with a single value
    const QRegularExpression constant(QStringLiteral(R"(\b(k\w+)\s*=\s*(-?\d+)\s*[;,])"));
    for (const QString& text : sources) {
        for (auto m = constant.globalMatch(text); m.hasNext();) {
            const auto match = m.next();
            const QString value = constants.value(match.captured(1), match.captured(2));
            constants.insert(match.captured(1), value == match.captured(2) ? value : QStringLiteral("?"));
        }
    }
    // The values an argument may take, or none when it is computed.
    auto choices = [&](const QString& argument) {
        QStringList values;
        const QStringList parts = argument.contains(QLatin1Char('?')) ? argument.section(QLatin1Char('?'), 1).split(QLatin1Char(':'))
                                                                       : QStringList { argument };
        static const QRegularExpression number(QStringLiteral(R"(^-?\d+$)"));
        static const QRegularExpression name(QStringLiteral(R"(^(?:SInt16\()?(k\w+)\)?$)"));
        for (const QString& part : parts) {
            const QString token = part.trimmed();
            const QString value = number.match(token).hasMatch() ? token : constants.value(name.match(token).captured(1));
            if (value.isEmpty() || value == QLatin1String("?"))
                return QStringList();
            values << value;
        }
        return values;
    };

    const QHash<QString, std::pair<int, int>> calls = { { "CopyLocalizedCFString", { 0, 1 } },
        { "GetLocalizedString", { 1, 2 } }, { "LString", { 0, 1 } }, { "LoadIndexed", { 0, 1 } },
        { "AssignLocalized", { 1, 2 } }, { "LocalizedStringKey", { 0, 1 } } };
    const QRegularExpression call(QStringLiteral(R"(\b(\w+)\s*\()"));
    const QRegularExpression listKey(QStringLiteral(R"re("(\d+:\d+)")re"));
    const QRegularExpression namedKey(QStringLiteral(
        R"re(\b(?:BundleLocalizedString|CopyLocalizedString|LocalizedText|Localized|ALocalizedTag)\(\s*(?:QStringLiteral\(|QLatin1String\()?"([A-Z][A-Z0-9_]+)")re"));
    QSet<QString> used;
    int computed = 0;
    for (const QString& text : sources) {
        for (auto m = call.globalMatch(text); m.hasNext();) {
            const auto match = m.next();
            const auto which = calls.find(match.captured(1));
            if (which == calls.end())
                continue;
            const QStringList arguments = CallArguments(text, match.capturedEnd() - 1);
            if (arguments.size() <= which->second)
                continue; // a declaration or definition
            const QStringList lists = choices(arguments.at(which->first));
            const QStringList indexes = choices(arguments.at(which->second));
            computed += lists.isEmpty() || indexes.isEmpty();
            for (const QString& list : lists) {
                for (const QString& index : indexes)
                    used << list + QLatin1Char(':') + index;
            }
        }
        for (const QRegularExpression* literal : { &listKey, &namedKey }) {
            for (auto m = literal->globalMatch(text); m.hasNext();)
                used << m.next().captured(1);
        }
    }
    EXPECT_GT(used.size(), 80);
    EXPECT_GT(computed, 0); // lookups with computed indexes are left to the list checks above
    for (const QString& key : std::as_const(used))
        EXPECT_TRUE(BundleHasLocalizedString(key)) << key.toStdString();
}
