#pragma once

#include "GraphicsErrors.h"
#include "MacTypes.h"
#include "Offscreen.h"
#include "Picture.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <memory>
#include <utility>

class GraphicsImporter;
class UserData;

// A graphics exporter for one file format, chosen by its four-character type:
// 'JPEG', 'TIFF', 'PNGf', 'BMPf' through Qt's writers, and 'PICT', '8BPS', 'GIFf'
// and 'jp2 ' (OpenJPEG) through our own. The input is an offscreen world, an importer (drawn
// at its bounds) or a picture. The pixels go to a temporary file beside the
// output, the metadata is written into it with Exiv2, and it is renamed into place.
class GraphicsExporter {
public:
    static QList<OSType> AvailableTypes();
    static bool CanExport(OSType type);
    // cantFindHandler for a type no writer here handles.
    static OSStatus Open(OSType type, std::unique_ptr<GraphicsExporter>& out);

    OSType Type() const { return mType; }
    QString Name() const;
    // The default file name extension as a four-character code ('jpg ', 'tif ').
    OSType DefaultFileNameExtension() const;
    // The extension as text: trailing blanks dropped, lower case ("jpg").
    QString DefaultExtensionText() const;
    // The formats that have settings of their own to ask for (a quality).
    bool CanShowSettingsDialog() const { return mType == 'JPEG' || mType == 'jp2 '; }
    QString SettingsAsText() const;

    void SetCompressionQuality(CodecQ quality) { mQuality = quality; }
    CodecQ GetCompressionQuality() const { return mQuality; }
    // Resolution in dots per inch as 16.16 fixed; 0 keeps the input's own.
    void SetResolution(Fixed horizontal, Fixed vertical);
    void SetColorProfile(const QByteArray& profile) { mProfile = profile; }
    // `source`: the file the metadata was read from, whose maker note and Interop
    // directory the export carries over (empty: none).
    void SetMetaData(const UserData* metadata, const QString& source = QString())
    {
        mMetaData = metadata;
        mMetaDataSource = source;
    }
    void SetExifEnabled(bool enabled) { mExifEnabled = enabled; }
    // An IIM block written as the file's IPTC datasets, all of them (empty: none).
    void SetIPTCData(const QByteArray& iim) { mIPTC = iim; }
    void SetThumbnailEnabled(bool enabled, int width = 160, int height = 160);

    void SetInputOffscreen(const Offscreen& world);
    void SetInputImporter(GraphicsImporter* importer);
    void SetInputPicture(const Picture& picture);
    void SetOutputFile(const QString& path) { mOutput = path; }
    // Off: an existing file of the output's name makes the export fail with
    // dupFNErr and stays as it was. On by default.
    void SetReplaceExisting(bool replace) { mReplaceExisting = replace; }

    OSStatus DoExport();

private:
    explicit GraphicsExporter(OSType type)
        : mType(type)
    {
    }
    OSStatus InputImage(QImage& out);
    OSStatus WritePixels(const QImage& image, const QString& path);
    // The dots per inch the pixels are written at: the set ones, else the image's own.
    std::pair<double, double> Resolution(const QImage& image) const;

    OSType mType;
    CodecQ mQuality = codecNormalQuality;
    Fixed mHRes = 0, mVRes = 0;
    QByteArray mProfile;
    const UserData* mMetaData = nullptr;
    QString mMetaDataSource;
    bool mExifEnabled = false;
    QByteArray mIPTC;
    bool mThumbnail = false;
    QSize mThumbnailSize { 160, 160 };
    QImage mInputImage;
    GraphicsImporter* mInputImporter = nullptr;
    Picture mInputPicture;
    QString mOutput;
    bool mReplaceExisting = true;
};

// Writes a GIF of the image in 256 colours chosen by median cut.
OSStatus WriteGifFile(const QImage& image, QByteArray& out);

// Writes a flattened Photoshop file: RGB, 8 bits, raw image data, with the
// resolution in its resolution resource.
QByteArray WritePhotoshopFile(const QImage& image, double dpiX, double dpiY);
