#pragma once

// Test files made from copies of the sample JPEGs, with metadata written by the
// exiv2 tool from a command file (so that any bytes, Latin-1 or UTF-8, reach the
// file as they are), and read back with the library.

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include <vector>

inline bool HasExivTool()
{
    return !QStandardPaths::findExecutable(QStringLiteral("exiv2")).isEmpty();
}

// A copy of `sample` (under tests/data) named `name`, changed by the exiv2
// commands, one a line ("set Iptc.Application2.City String Zürich").
inline QString SampleWithExivCommands(const QString& name, const QByteArray& commands,
    const QString& sample = QStringLiteral("exif-samples/jpg/Canon_40D.jpg"))
{
    const QString dir = TestTempDir() + QStringLiteral("/exiv");
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + name;
    QFile::remove(path);
    EXPECT_TRUE(QFile::copy(TestDataPath(sample), path)) << sample.toStdString();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    if (commands.isEmpty())
        return path;
    const QString commandFile = path + QStringLiteral(".cmd");
    QFile file(commandFile);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(commands);
    file.close();
    QProcess tool;
    tool.start(QStringLiteral("exiv2"), {QStringLiteral("-m"), commandFile, path});
    EXPECT_TRUE(tool.waitForFinished(30000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    return path;
}

// The raw bytes of every IPTC dataset of `key` ("Iptc.Application2.Byline") in the file, in file order.
inline std::vector<QByteArray> FileIPTCValues(const QString& path, const char* key)
{
    std::vector<QByteArray> values;
    auto image = Exiv2::ImageFactory::open(std::string(QFile::encodeName(path)));
    image->readMetadata();
    const Exiv2::IptcKey wanted(key);
    for (const Exiv2::Iptcdatum& datum : image->iptcData()) {
        if (datum.record() != wanted.record() || datum.tag() != wanted.tag())
            continue;
        QByteArray bytes(qsizetype(datum.size()), '\0');
        datum.copy(reinterpret_cast<Exiv2::byte*>(bytes.data()), Exiv2::bigEndian);
        values.push_back(bytes);
    }
    return values;
}

// The values the exiv2 tool prints for `key` ("Iptc.Application2.City") with -pi
// (IPTC) or -pv (EXIF, raw values), in file order.
inline std::vector<QByteArray> ExivPrinted(const QString& path, const QByteArray& key, const char* mode = "-pi")
{
    QProcess tool;
    tool.start(QStringLiteral("exiv2"), {QString::fromLatin1(mode), QStringLiteral("-K"), QString::fromLatin1(key), path});
    EXPECT_TRUE(tool.waitForFinished(30000));
    std::vector<QByteArray> values;
    const QByteArray lastPart = key.mid(key.lastIndexOf('.') + 1);
    for (const QByteArray& line : tool.readAllStandardOutput().split('\n')) {
        // "Iptc.Application2.City      String      6  value" (-pi), or
        // "0x011a Image    XResolution    Rational    1  150/1" (-pv): the value
        // follows the count and two blanks (a text's own blanks stay).
        const bool iptc = line.startsWith(key + ' ');
        if (!iptc && !line.contains(' ' + lastPart + ' '))
            continue;
        qsizetype at = iptc ? key.size() : line.indexOf(' ' + lastPart + ' ') + lastPart.size() + 1;
        auto skip = [&](auto test) {
            while (at < line.size() && test(line[at]))
                ++at;
        };
        skip([](char c) { return c == ' '; });
        skip([](char c) { return c != ' '; });
        skip([](char c) { return c == ' '; });
        skip([](char c) { return c >= '0' && c <= '9'; });
        values.push_back(line.mid(at + 2));
    }
    return values;
}
