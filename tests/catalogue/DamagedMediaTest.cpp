#include "CANPAInfo.h"
#include "CEXIFInfo.h"
#include "CIndexItem.h"
#include "CIndexPackage.h"
#include "ExceptionCode.h"
#include "IndexDbRecord.h"
#include "ItemThumbnails.h"
#include "LStream.h"
#include "TestMovies.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kScatteredCopies = 8;

struct Sample {
    QString name;
    QByteArray bytes;
};

void Put32(QByteArray& d, quint32 value)
{
    for (int shift : { 24, 16, 8, 0 })
        d.append(char((value >> shift) & 0xFF));
}

QByteArray Atom(const char* type, const QByteArray& body, quint32 size = 0)
{
    QByteArray atom;
    Put32(atom, size ? size : quint32(8 + body.size()));
    atom.append(type, 4);
    return atom + body;
}

// Damaged copies of one good file, each damaged the way disks and downloads
// damage files: cut short, a run of bytes overwritten (sizes and counts
// become huge), a block zeroed.
std::vector<Sample> DamagedCopies(const QString& name, const QByteArray& good)
{
    std::vector<Sample> out;
    const QString base = QFileInfo(name).completeBaseName();
    const QString suffix = QLatin1Char('.') + QFileInfo(name).suffix();
    auto add = [&](const QString& how, const QByteArray& bytes) { out.push_back({ base + "-" + how + suffix, bytes }); };
    for (int eighth : { 1, 3, 6 })
        add(QStringLiteral("cut%1").arg(eighth), good.left(good.size() * eighth / 8));
    for (qsizetype at : { qsizetype(4), qsizetype(24), qsizetype(40), good.size() / 3, good.size() - 200 }) {
        if (at < 0 || at + 8 > good.size())
            continue;
        QByteArray bytes = good;
        bytes.replace(at, 8, QByteArray(8, '\xFF'));
        add(QStringLiteral("ff%1").arg(at), bytes);
    }
    // Scattered bytes changed, the same ones at every run.
    quint32 seed = 0x5EED0000u + quint32(good.size());
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < kScatteredCopies; ++round) {
        QByteArray bytes = good;
        for (int i = 0; i < 12; ++i)
            bytes[qsizetype(next() % quint32(bytes.size()))] = char(next() >> 24);
        add(QStringLiteral("scatter%1").arg(round), bytes);
    }
    QByteArray zeroed = good;
    zeroed.replace(good.size() / 2, std::min<qsizetype>(4096, good.size() / 4), QByteArray(std::min<qsizetype>(4096, good.size() / 4), '\0'));
    add(QStringLiteral("zero"), zeroed);
    return out;
}

// Files that lie from their first bytes.
std::vector<Sample> HostileFiles()
{
    std::vector<Sample> out;
    // A tag header claiming 256 MB, then a frame header with a reserved layer.
    QByteArray mp3("ID3\x04\x00\x00\x7F\x7F\x7F\x7F" "TIT2\x7F\x7F\x7F\x7F\x00\x00\x03" "Harbour", 28);
    mp3.append(QByteArray("\xFF\xF9\xFF\xFF", 4));
    mp3.append(QByteArray(400, '\x55'));
    out.push_back({ "hostile.mp3", mp3 });
    // An audio file whose sample tables claim four billion entries.
    QByteArray stsz;
    Put32(stsz, 0);
    Put32(stsz, 0);
    Put32(stsz, 0xFFFFFFF0);
    QByteArray stts;
    Put32(stts, 0);
    Put32(stts, 0x7FFFFFFF);
    const QByteArray stbl = Atom("stbl", Atom("stsz", stsz) + Atom("stts", stts));
    const QByteArray trak = Atom("trak", Atom("mdia", Atom("minf", stbl)));
    const QByteArray udta = Atom("udta", Atom("meta", QByteArray(4, '\0') + Atom("ilst", QByteArray(), 0x7FFFFFFF)));
    out.push_back({ "hostile.m4a", Atom("ftyp", "M4A \x00\x00\x00\x00" "M4A ") + Atom("moov", trak + udta) });
    // A movie atom nested in itself, sizes pointing back at the start.
    QByteArray loop = Atom("moov", Atom("trak", QByteArray(), 8) + Atom("udta", QByteArray(), 0xFFFFFFFF));
    out.push_back({ "hostile.mov", Atom("ftyp", "qt  \x00\x00\x02\x00" "qt  ") + loop + loop });
    // A RIFF file of zero size holding chunks of every size.
    QByteArray riff("RIFF\x00\x00\x00\x00" "AVI LIST\x00\x00\x00\x80" "movi00dc\xFF\xFF\xFF\xFF", 32);
    riff.append(QByteArray(64, '\x01'));
    out.push_back({ "hostile.avi", riff });
    QByteArray wave("RIFF\x24\x00\x00\x00" "WAVEfmt \x10\x00\x00\x00" "\x01\x00\xFF\xFF\x00\x00\x00\x00"
                    "\x00\x00\x00\x00\x00\x00\x00\x00" "data\xF0\xFF\xFF\xFF", 44);
    out.push_back({ "hostile.wav", wave });
    return out;
}

// In a child: the item's EXIF and caption are asked for (any answer will do)
// and its record is written into a package; the record must come out whole
// and read back under the file's name. 0 when it did.
qint32 ReadAndWriteRecord(const QString& path, const QString& packageDir)
{
    CItemThumbnails::Install();
    CIndexPackage package(QUrl::fromLocalFile(packageDir), nullptr);
    CIndexItem item { FileRef(path) };
    CatchCode([&] { item.GetEXIFInfo(); });
    CatchCode([&] { item.GetCaptionInfo(); });
    LDataStream stream;
    if (const OSStatus err = CatchCode([&] { item.WriteToStream(stream, package); }); err != noErr)
        return err;
    stream.SetMarker(0);
    IndexDbRecord back;
    if (const OSStatus err = CatchCode([&] { back = ReadIndexDbRecord(stream); }); err != noErr)
        return 2;
    return back.name == QFileInfo(path).fileName().toUtf8() ? 0 : 3;
}

void CheckEach(const std::vector<Sample>& samples)
{
    const QString folder = TestTempDir();
    for (const Sample& sample : samples) {
        const QString path = folder + QLatin1Char('/') + sample.name;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(sample.bytes);
        file.close();
        const QString packageDir = folder + QLatin1Char('/') + sample.name + QStringLiteral(".idxp");
        const auto result = RunInChildWithin(30, [&] { return ReadAndWriteRecord(path, packageDir); });
        ASSERT_TRUE(result) << sample.name.toStdString() << ": crashed or hung";
        EXPECT_EQ(*result, 0) << sample.name.toStdString() << ": the record was not written";
        EXPECT_EQ(ReadWholeFile(path), sample.bytes) << sample.name.toStdString() << ": the file changed";
    }
}

} // namespace

TEST(DamagedMedia, DamagedMoviesAndSoundsStillGetTheirRecordsWritten)
{
    std::vector<Sample> samples;
    for (const char* name : { "QuickTime.mov", "QuickTime.m4a", "RIFF.avi", "RIFF.wav" }) {
        const QByteArray good = ReadWholeFile(TestDataPath(QStringLiteral("exiftool-images/") + name));
        ASSERT_FALSE(good.isEmpty()) << name;
        const auto copies = DamagedCopies(QString::fromLatin1(name), good);
        samples.insert(samples.end(), copies.begin(), copies.end());
    }
    const QString mp3 = MakeMediaWithFFmpeg("tone.mp3",
        ToneAudio() + QStringList { "-c:a", "libmp3lame", "-metadata", "title=Harbour", "-metadata", "artist=Orvex" });
    const QByteArray good = ReadWholeFile(mp3);
    ASSERT_FALSE(good.isEmpty());
    const auto copies = DamagedCopies("tone.mp3", good);
    samples.insert(samples.end(), copies.begin(), copies.end());
    ASSERT_GE(samples.size(), 5u * (3 + kScatteredCopies));
    CheckEach(samples);
}

TEST(DamagedMedia, FilesThatLieFromTheirFirstBytesStillGetTheirRecordsWritten)
{
    CheckEach(HostileFiles());
}
