// Thumbnails on the worker pool, paired in one run with vipsthumbnail on the same
// files: camera photographs from the test data (copied under new names), and four
// made sets of camera-size JPEGs (plain, with an ICC profile, 4:3 frames with the
// cameras' 160x120 EXIF thumbnail that fits them, 3:2 frames with the same
// thumbnail letterboxed, which must be refused). Both sides do the same work: as
// many processes as we have workers, each of them single-threaded
// (VIPS_CONCURRENCY=1), every thumbnail written to a file, no turning by the EXIF
// orientation (Orvex keeps the picture as stored). Target, on every set, both
// where both decode the whole picture (vipsthumbnail never uses a camera's
// preview) and with the previews Orvex uses by default: at most half
// vipsthumbnail's time. Every thumbnail either side
// wrote is checked after its run, outside the time: its size from the file's
// frame, a picture in it, and vips' ones against ours of the same file.
#include "BenchMain.h"
#include "CameraJpegs.h"

#include "ThumbnailFile.h"

#include "CIndexItem.h"
#include "ItemThumbnails.h"
#include "ThumbnailMaker.h"
#include "WorkerPool.h"

#include <QDir>
#include <QDirIterator>
#include <QImageReader>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kPhotoCopies = 4; // of each camera photograph of the test data

// Camera photographs from the test data, copied under new names into the build
// folder: their EXIF (orientations, previews) as the cameras wrote it.
const std::vector<QString>& CameraPhotos()
{
    static const std::vector<QString> files = [] {
        std::vector<QString> made;
        const QString folder = QStringLiteral(ORVEX_BENCH_FILES_DIR "/camera-photos");
        QDir().mkpath(folder);
        // The cameras' own files and the orientation set (every EXIF orientation).
        QStringList samples;
        for (const char* folder : {"/exif-samples/jpg", "/exif-samples/jpg/orientation"}) {
            QDirIterator it(QStringLiteral(ORVEX_TEST_DATA_DIR) + QLatin1String(folder), {QStringLiteral("*.jpg")}, QDir::Files);
            while (it.hasNext())
                samples.append(it.next());
        }
        samples.sort();
        for (int copy = 0; copy < kPhotoCopies; ++copy) {
            for (const QString& sample : samples) {
                const QString path = folder + QStringLiteral("/%1-%2-%3").arg(copy).arg(QFileInfo(sample).dir().dirName(), QFileInfo(sample).fileName());
                if (!QFileInfo::exists(path))
                    QFile::copy(sample, path);
                made.push_back(path);
            }
        }
        return made;
    }();
    return files;
}

std::vector<ThumbnailRequest> Requests(const std::vector<QString>& files)
{
    std::vector<ThumbnailRequest> requests;
    for (const QString& path : files) {
        ThumbnailRequest r;
        r.path = path;
        r.fileType = 'JPEG';
        requests.push_back(r);
    }
    return requests;
}

// The frame of a file's thumbnail: its stored picture fitted into 160 pixels.
Rect ExpectedFrame(const QString& path)
{
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QSize stored = reader.size();
    return ThumbnailFrame(MakeRect(0, 0, SInt16(stored.height()), SInt16(stored.width())), 160);
}

// Whether a thumbnail has a picture in it rather than one flat colour, and (for
// the made sets, `noBars`) no black bars of a camera preview standing in for it.
const char* CheckPicture(const QImage& image, bool noBars)
{
    double sum = 0, squares = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4) {
            const double v = qGray(image.pixel(x, y));
            sum += v;
            squares += v * v;
        }
    const double n = double((image.height() + 3) / 4) * ((image.width() + 3) / 4);
    if (squares / n - (sum / n) * (sum / n) < 25.0)
        return "a thumbnail is blank";
    if (!noBars)
        return nullptr;
    for (int y : { 0, image.height() - 1 }) {
        double row = 0;
        for (int x = 0; x < image.width(); ++x)
            row += qGray(image.pixel(x, y));
        if (row / image.width() < 16)
            return "a thumbnail has black bars";
    }
    return nullptr;
}

// Our thumbnail of a file as written: of the frame the file calls for (the
// picture as stored, never turned), drawing a picture. Answers the fault, or null
// with the drawn image.
const char* CheckOurs(const QByteArray& file, const Rect& frame, bool noBars, QImage& image)
{
    if (file.size() <= kThumbHeaderSize)
        return "a thumbnail of ours was not written";
    const Picture picture(file.mid(kThumbHeaderSize));
    if (picture.Frame() != frame)
        return "a thumbnail has the wrong size";
    if (picture.Render(image) != noErr || image.width() != frame.Width() || image.height() != frame.Height())
        return "a thumbnail does not draw";
    return CheckPicture(image, noBars);
}

// The mean difference of grey between two pictures of one size, on a coarse grid.
double MeanGreyDifference(const QImage& a, const QImage& b)
{
    double total = 0;
    int n = 0;
    for (int y = 0; y < a.height(); y += 2)
        for (int x = 0; x < a.width(); x += 2, ++n)
            total += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y)));
    return n ? total / n : 255;
}

// One set: its files, each one's expected frame, and our thumbnails of them to
// check vips' against.
struct ThumbnailSet {
    std::vector<QString> files;
    std::vector<Rect> frames;
    std::vector<QImage> ours;
    bool noBars = false;
};

QString OursFile(const QString& outFolder, size_t i)
{
    return QDir(outFolder).filePath(QString::number(i) + QStringLiteral(".pict"));
}

// Our side: the pooled batch, each thumbnail then written to a file as the
// package's thumbs are (header and picture), without forcing it to the disk.
void OursWritingFiles(const std::vector<ThumbnailRequest>& requests, const ThumbnailSettings& settings,
    const QString& outFolder)
{
    const std::vector<ThumbnailResult> results = MakeThumbnails(requests, settings);
    for (size_t i = 0; i < results.size(); ++i) {
        if (results[i].status != noErr)
            continue; // the check finds no file
        QByteArray bytes(kThumbHeaderSize, '\0');
        bytes.append(results[i].picture.Data());
        QFile out(OursFile(outFolder, i));
        if (out.open(QIODevice::WriteOnly))
            out.write(bytes);
    }
}

// What our side wrote, checked (untimed); our pictures kept to check vips' against.
void CheckOursWritten(ThumbnailSet& set, const QString& outFolder)
{
    for (size_t i = 0; i < set.files.size(); ++i) {
        QFile in(OursFile(outFolder, i));
        const QByteArray file = in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
        QImage image;
        if (const char* fault = CheckOurs(file, set.frames[i], set.noBars, image)) {
            CheckTarget(fault, false, set.files[i].toStdString());
            return;
        }
        set.ours[i] = image;
    }
}

// vipsthumbnail on the files, shrinking to 160 pixels but never enlarging (as ours),
// in as many single-threaded processes at once as we have workers (xargs -P).
void VipsWritingFiles(const ThumbnailSet& set, const QString& outFolder)
{
    const std::vector<QString>& files = set.files;
    const unsigned processes = WorkerPool::ThreadCount();
    const int perProcess = int((files.size() + processes - 1) / processes);
    QByteArray list;
    for (const QString& path : files)
        list += QFile::encodeName(path) + '\0';
    QProcess vips;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VIPS_CONCURRENCY"), QStringLiteral("1"));
    vips.setProcessEnvironment(environment);
    vips.start("xargs", { "-0", "-P", QString::number(processes), "-n", QString::number(perProcess), "vipsthumbnail",
                            "--no-rotate", "-s", "160x160>", "-o", QDir(outFolder).filePath("%s.jpg") });
    vips.write(list);
    vips.closeWriteChannel();
    if (!vips.waitForFinished(600000) || vips.exitStatus() != QProcess::NormalExit || vips.exitCode() != 0)
        CheckTarget("vipsthumbnail ran (Debian package libvips-tools)", false);
}

// What vips wrote, checked (untimed): the frame the file calls for (a pixel either
// way for rounding), a picture in it, and close to ours of the same file (not
// turned, not another picture).
void CheckVipsWritten(const ThumbnailSet& set, const QString& outFolder)
{
    const std::vector<QString>& files = set.files;
    for (size_t i = 0; i < files.size(); ++i) {
        const QString made = QDir(outFolder).filePath(QFileInfo(files[i]).completeBaseName() + QStringLiteral(".jpg"));
        QImageReader reader(made);
        reader.setAutoTransform(false);
        const QImage image = reader.read();
        const Rect& frame = set.frames[i];
        const char* fault = nullptr;
        if (image.isNull())
            fault = "vipsthumbnail made no thumbnail";
        else if (std::abs(image.width() - frame.Width()) > 1 || std::abs(image.height() - frame.Height()) > 1)
            fault = "a thumbnail of vipsthumbnail has the wrong size";
        else if ((fault = CheckPicture(image, set.noBars)) != nullptr) {
        } else if (!set.ours[i].isNull()
            && MeanGreyDifference(image.scaled(set.ours[i].size()), set.ours[i]) > 24.0)
            fault = "a thumbnail of vipsthumbnail is not the picture ours shows";
        if (fault) {
            CheckTarget(fault, false, files[i].toStdString());
            return;
        }
    }
}

// Our batch and vipsthumbnail on one set, in pairs; `limit` is the stated target
// for our time over vips' (none when zero).
void PairedThumbnails(benchmark::State& state, const std::vector<QString>& files, bool useBuiltIn, bool noBars,
    const std::string& name, double limit)
{
    const auto requests = Requests(files);
    ThumbnailSettings settings;
    settings.useBuiltInThumbnail = useBuiltIn;
    ThumbnailSet set;
    set.files = files;
    set.noBars = noBars;
    set.ours.resize(files.size());
    for (const QString& path : files)
        set.frames.push_back(ExpectedFrame(path));
    std::unique_ptr<QTemporaryDir> out;
    enum class Side { None, Ours, Vips } last = Side::None;
    // After every run, untimed: that side's files checked, then a fresh folder.
    const auto checkAndFresh = [&] {
        if (last == Side::Ours)
            CheckOursWritten(set, out->path());
        else if (last == Side::Vips)
            CheckVipsWritten(set, out->path());
        out = std::make_unique<QTemporaryDir>();
    };
    out = std::make_unique<QTemporaryDir>();
    const std::string what = "thumbnails of " + name + " (" + std::to_string(files.size()) + " files, "
        + std::to_string(WorkerPool::ThreadCount()) + " processes) / vipsthumbnail";
    BenchmarkPaired(
        state, what, limit, 5,
        [&] {
            last = Side::Ours;
            OursWritingFiles(requests, settings, out->path());
        },
        [&] {
            last = Side::Vips;
            VipsWritingFiles(set, out->path());
        },
        checkAndFresh);
}

constexpr double kLimit = 0.5; // of vipsthumbnail's time: at least twice its speed

// The camera photographs, every picture decoded by both.
void BM_CameraPhotos(benchmark::State& state)
{
    PairedThumbnails(state, CameraPhotos(), false, false, "camera photographs, both decoding", kLimit);
}
BENCHMARK(BM_CameraPhotos)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();

// The same photographs with their cameras' previews used where they fit, as
// Orvex does by default, against vips decoding.
void BM_CameraPhotosPreviews(benchmark::State& state)
{
    PairedThumbnails(state, CameraPhotos(), true, false, "camera photographs, previews used", kLimit);
}
BENCHMARK(BM_CameraPhotosPreviews)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();

void MadeSet(benchmark::State& state, CameraSet set, bool useBuiltIn)
{
    PairedThumbnails(state, CameraJpegFiles(set), useBuiltIn, true,
        std::string("made ") + CameraSetName(set) + (useBuiltIn ? "" : ", previews ignored"), kLimit);
}
#define ORVEX_MADE_SET(name, set, useBuiltIn) \
    BENCHMARK_CAPTURE(MadeSet, name, set, useBuiltIn)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime()
ORVEX_MADE_SET(plain, CameraSet::Plain, true);
ORVEX_MADE_SET(profiled, CameraSet::Profiled, true);
ORVEX_MADE_SET(fitting_thumbnail, CameraSet::ExifThumbnail, true);
// "IgnoreBuiltInThumbnail" on: every file decoded.
ORVEX_MADE_SET(fitting_thumbnail_ignored, CameraSet::ExifThumbnail, false);
ORVEX_MADE_SET(letterboxed_thumbnail, CameraSet::Letterboxed, true);

} // namespace

int main(int argc, char** argv)
{
    // The made sets are made (once, kept in the build folder) when their benchmark runs.
    return RunBenchmarks(argc, argv, [] { CameraPhotos(); });
}
