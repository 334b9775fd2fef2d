#pragma once

#include <QFile>
#include <QProcess>
#include <QString>

#include <unistd.h>

// Makes a file read-only for the scope. The superuser writes to any file its
// permissions forbid; for it the file is made immutable instead.
class StReadOnlyFile {
public:
    explicit StReadOnlyFile(const QString& path)
        : mPath(path)
        , mImmutable(::geteuid() == 0)
    {
        if (mImmutable)
            mReadOnly = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), mPath}) == 0;
        else
            mReadOnly = QFile::setPermissions(mPath, QFile::ReadOwner);
    }
    ~StReadOnlyFile() { Release(); }
    bool IsReadOnly() const { return mReadOnly; }
    void Release()
    {
        if (!mReadOnly)
            return;
        if (mImmutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), mPath});
        else
            QFile::setPermissions(mPath, QFile::ReadOwner | QFile::WriteOwner);
        mReadOnly = false;
    }

private:
    QString mPath;
    bool mImmutable;
    bool mReadOnly = false;
};
