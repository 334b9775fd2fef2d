// Printing an index of real photographs as a user does: the Print command, the
// print dialog answered with a PDF file, the pages looked at as paper.

#include "AppRunSupport.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "LCommander.h"
#include "Preferences.h"
#include "PrintDialogAnswer.h"
#include "TestSupport.h"
#include "ThemeText.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>

#include <algorithm>
#include <vector>

namespace {

// Chooses Print in the window and answers the print dialog with a PDF file on A4;
// true once the file is written.
bool PrintToPDF(CIndexView* view, const QString& pdf)
{
    StPrintDialogToPDF answer(pdf);
    EXPECT_TRUE(view->ProcessCommand(cmd_Print));
    return RunUntil([&] { return answer.Answered() && QFileInfo(pdf).size() > 0 && !gPrintingInProgress; });
}

// The pages of a PDF as the paper shows them, at 100 dots an inch.
QList<QImage> Pages(const QString& pdf)
{
    QProcess render;
    render.start("pdftoppm", { "-r", "100", "-png", pdf, pdf + "-page" });
    EXPECT_TRUE(render.waitForFinished(60000));
    QList<QImage> pages;
    const QFileInfo info(pdf);
    for (const QFileInfo& page : QDir(info.absolutePath()).entryInfoList({ info.fileName() + "-page*.png" }, QDir::Files, QDir::Name))
        pages << QImage(page.absoluteFilePath()).convertToFormat(QImage::Format_RGB32);
    return pages;
}


// The framed places of the pictures on a page, from the top row down and left to
// right: the marks of ink larger than any letter (the frame holds a place together
// whatever is inside it).
QList<QRect> PicturePlaces(const QImage& page)
{
    const int width = page.width(), height = page.height();
    auto ink = [&](int x, int y) { return qGray(page.pixel(x, y)) < 235; };
    std::vector<bool> seen(size_t(width) * height, false);
    QList<QRect> places;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (seen[size_t(y) * width + x] || !ink(x, y))
                continue;
            QRect box(x, y, 1, 1);
            std::vector<QPoint> todo { QPoint(x, y) };
            seen[size_t(y) * width + x] = true;
            while (!todo.empty()) {
                const QPoint p = todo.back();
                todo.pop_back();
                box |= QRect(p, QSize(1, 1));
                for (const QPoint step : { QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1) }) {
                    const QPoint next = p + step;
                    if (next.x() < 0 || next.y() < 0 || next.x() >= width || next.y() >= height)
                        continue;
                    const size_t at = size_t(next.y()) * width + next.x();
                    if (!seen[at] && ink(next.x(), next.y())) {
                        seen[at] = true;
                        todo.push_back(next);
                    }
                }
            }
            if (box.width() >= 30 && box.height() >= 30)
                places << box;
        }
    }
    std::sort(places.begin(), places.end(), [](const QRect& a, const QRect& b) {
        return a.bottom() < b.top() || (!(b.bottom() < a.top()) && a.left() < b.left());
    });
    return places;
}

// The share of a picture's place, inside its frame, that is not paper.
double InkedShare(const QImage& page, const QRect& place)
{
    const QRect inside = place.adjusted(3, 3, -3, -3);
    int inked = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            inked += qGray(page.pixel(x, y)) < 235 ? 1 : 0;
    return double(inked) / std::max(1, inside.width() * inside.height());
}

// Whether the place shows the cross of a missing picture: ink along both diagonals.
bool ShowsACross(const QImage& page, const QRect& place)
{
    const QRect inside = place.adjusted(3, 3, -3, -3);
    int marked = 0;
    const int steps = 40;
    for (int step = 1; step < steps; ++step) {
        const int x = inside.left() + inside.width() * step / steps;
        const int down = inside.top() + inside.height() * step / steps;
        const int up = inside.bottom() - inside.height() * step / steps;
        auto inkNear = [&](int cx, int cy) {
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx)
                    if (qGray(page.pixel(cx + dx, cy + dy)) < 160)
                        return true;
            return false;
        };
        marked += inkNear(x, down) && inkNear(x, up) ? 1 : 0;
    }
    return marked >= steps - 3;
}

// How far apart two printed pictures are, 0 alike to 255: the mean difference
// of their pixels, the second scaled to the first's place.
int Difference(const QImage& page, const QRect& one, const QImage& otherPage, const QRect& other)
{
    const QImage a = page.copy(one.adjusted(3, 3, -3, -3)).convertToFormat(QImage::Format_Grayscale8);
    const QImage b = otherPage.copy(other.adjusted(3, 3, -3, -3)).scaled(a.size()).convertToFormat(QImage::Format_Grayscale8);
    qint64 total = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            total += std::abs(int(a.constScanLine(y)[x]) - int(b.constScanLine(y)[x]));
    return int(total / std::max(1, a.width() * a.height()));
}

} // namespace

// An index of photographs, a turned one and sounds, printed from the window as
// soon as the files are in: every item gets its place on the paper, and no place
// is an empty frame. A photograph that is stored turned prints the right way up,
// as the grid shows it, and a sound, which has no picture, prints the cross of a
// missing picture.
TEST(Printing, EveryItemPrintsItsPictureOrTheMarkOfNoneTheRightWayUp)
{
    std::unique_ptr<IdleApp> app;
    CIndexDoc* document = StartWithNewIndex(app);
    ASSERT_NE(document, nullptr);
    app->StartRepeating();
    StTempPrefBoolean frame(QStringLiteral("PrintFrame"), true);
    StTempPrefBoolean fromTheFiles(QStringLiteral("HighQualityPrinting"), true);
    StTempPrefBoolean upright(QStringLiteral("TransformUsingEXIF"), true);
    const QString orientation = TestDataPath(QStringLiteral("exif-samples/jpg/orientation/"));
    QStringList files = CameraPhotos().mid(0, 4);
    files << orientation + "landscape_1.jpg" << orientation + "landscape_3.jpg" << orientation + "landscape_6.jpg"
          << TestDataPath(QStringLiteral("exiftool-images/AIFF.aif")) << TestDataPath(QStringLiteral("exiftool-images/RIFF.wav"));
    for (const QString& file : files)
        document->AddItem(QUrl::fromLocalFile(file));
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document) && document->CountAllItems() == files.size(); }));
    CIndexView* view = IndexViewOfDocument(document);
    ASSERT_NE(view, nullptr);
    QStringList order;
    for (SInt32 index = 1; index <= view->CountItems(); ++index) {
        CIndexItem* item = nullptr;
        ASSERT_TRUE(view->GetItemAt(index, item) && item);
        order << item->GetName();
    }
    document->GetWindow()->Select();
    LCommander::SwitchTarget(view);
    // The grid shows its pictures, as the user sees it before printing.
    for (int i = 0; i < 10; ++i) {
        document->GetWindow()->GetShell()->grab();
        ProcessEventsFor(100);
    }
    document->GetWindow()->GetShell()->grab().save(QStringLiteral(ORVEX_ARTEFACT_DIR "/print-photographs-window.png"));

    const QString pdf = TestTempDir() + QStringLiteral("/photographs.pdf");
    QFile::remove(pdf);
    ASSERT_TRUE(PrintToPDF(view, pdf));
    QList<std::pair<QImage, QRect>> places;
    const QList<QImage> pages = Pages(pdf);
    for (int i = 0; i < pages.size(); ++i) {
        pages[i].save(QStringLiteral(ORVEX_ARTEFACT_DIR "/print-photographs-%1.png").arg(i + 1));
        for (const QRect& place : PicturePlaces(pages[i]))
            places.push_back({ pages[i], place });
    }
    ASSERT_EQ(places.size(), order.size()) << "not every item has its place on the paper";
    auto placeOf = [&](const QString& name) { return places[order.indexOf(name)]; };
    for (int i = 0; i < order.size(); ++i) {
        const bool sound = order[i].endsWith(".aif") || order[i].endsWith(".wav");
        if (sound)
            EXPECT_TRUE(ShowsACross(places[i].first, places[i].second)) << order[i].toStdString() << " prints as an empty frame";
        else
            EXPECT_GT(InkedShare(places[i].first, places[i].second), 0.9) << order[i].toStdString() << " prints no picture";
    }
    // The same photograph stored upright, upside down and on its side prints alike.
    const auto asStored = placeOf("landscape_1.jpg");
    EXPECT_NEAR(double(asStored.second.width()) / asStored.second.height(), 600.0 / 450, 0.1);
    for (const QString& turned : { QStringLiteral("landscape_3.jpg"), QStringLiteral("landscape_6.jpg") }) {
        const auto place = placeOf(turned);
        EXPECT_NEAR(double(place.second.width()) / place.second.height(),
            double(asStored.second.width()) / asStored.second.height(), 0.1) << turned.toStdString();
        EXPECT_LT(Difference(asStored.first, asStored.second, place.first, place.second), 20) << turned.toStdString() << " prints turned";
    }
    CloseIndexDocumentsUnsaved();
}
