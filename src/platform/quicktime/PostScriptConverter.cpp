#include "PostScriptConverter.h"

#include "GraphicsErrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cstdlib>
#include <unistd.h>

namespace {

// Removes the temporary file when the conversion leaves, however it leaves.
struct StTemporaryFile {
    QByteArray path;
    int fd = -1;
    ~StTemporaryFile()
    {
        if (fd >= 0)
            ::close(fd);
        if (!path.isEmpty())
            ::unlink(path.constData());
    }
};

} // namespace

OSStatus ConvertPostScriptToPDF(const QString& epsPath, QByteArray& outPdf, int timeoutMs)
{
    outPdf.clear();
    if (!QFileInfo(epsPath).isFile())
        return fnfErr;
    const QString gs = QStandardPaths::findExecutable(QStringLiteral("gs"));
    if (gs.isEmpty())
        return cantFindHandler;

    StTemporaryFile temp;
    temp.path = QFile::encodeName(QDir::tempPath() + QStringLiteral("/orvex-eps-XXXXXX"));
    temp.fd = ::mkstemp(temp.path.data()); // creates the file 0600, so no one else can swap it
    if (temp.fd < 0) {
        temp.path.clear();
        return ioErr;
    }

    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(gs, { QStringLiteral("-q"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-dBATCH"),
                          QStringLiteral("-dSAFER"), QStringLiteral("-sDEVICE=pdfwrite"), QStringLiteral("-dEPSCrop"),
                          QStringLiteral("-sOutputFile=") + QFile::decodeName(temp.path), QStringLiteral("--"),
                          epsPath });
    if (!process.waitForStarted(10000))
        return cantFindHandler;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(2000);
        return codecErr;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return codecErr;

    QFile file(QFile::decodeName(temp.path));
    if (!file.open(QIODevice::ReadOnly))
        return ioErr;
    outPdf = file.readAll();
    if (!outPdf.startsWith("%PDF")) {
        outPdf.clear();
        return codecBadDataErr;
    }
    return noErr;
}
