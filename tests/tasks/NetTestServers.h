#pragma once

#include "AliasRecord.h"
#include "FileRef.h"
#include "Preferences.h"
#include "TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <stdexcept>

// A test server (tests/support/servers) on a free loopback port, started with
// the system's Python and killed when the object goes.
class LocalServer {
public:
    LocalServer(const QString& script, const QString& root, const QStringList& extra = {})
    {
        mProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        mProcess.start(QStringLiteral("/usr/bin/python3"),
            QStringList {QStringLiteral(ORVEX_SOURCE_DIR "/tests/support/servers/") + script,
                QStringLiteral("--root"), root}
                + extra);
        if (!mProcess.waitForStarted(10000))
            throw std::runtime_error("cannot start " + script.toStdString());
        while (!mProcess.canReadLine()) {
            if (!mProcess.waitForReadyRead(15000))
                throw std::runtime_error("no port from " + script.toStdString());
        }
        mPort = mProcess.readLine().trimmed().toInt();
    }
    ~LocalServer()
    {
        mProcess.kill();
        mProcess.waitForFinished(5000);
    }

    int Port() const { return mPort; }
    QUrl URL(const QString& scheme, const QString& encodedPath, const QString& user = {},
        const QString& password = {}) const
    {
        QUrl url(QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(mPort).arg(encodedPath), QUrl::StrictMode);
        url.setUserName(user);
        url.setPassword(password);
        return url;
    }

private:
    QProcess mProcess;
    int mPort = 0;
};

// Downloads go into a folder of the test's own, empty ("downloads" under its
// temporary folder), not the user's Pictures; answers the folder.
inline QString UseTestDownloadFolder()
{
    const QString downloads = TestTempDir() + QStringLiteral("/downloads");
    QDir(downloads).removeRecursively();
    QDir().mkpath(downloads);
    QByteArray alias;
    if (NewAliasBytes(nullptr, FileRef(downloads), alias) != noErr)
        throw std::runtime_error("no alias of the download folder");
    SetPrefHandle(QStringLiteral("DownloadFolderAlias"), alias);
    return downloads;
}
