#pragma once

#include "COrvexApp.h"
#include "ExceptionCode.h"

#include <QStringList>

#include <ostream>

// The application with its document operations recorded instead of carried out, so
// the start-up, menu and recent-items logic can be watched on its own.
class TestApp : public COrvexApp {
public:
    QStringList calls;

    void MakeNewDocument() override { calls << QStringLiteral("new"); }
    void ChooseDocument() override { calls << QStringLiteral("choose"); }
    void OpenDocument(const FileRef& file) override
    {
        if (!file.Exists())
            ThrowOSErr_(fnfErr, file.Path().toStdString());
        calls << QStringLiteral("open ") + file.Name();
    }
};

// Makes a small file under the test's temporary folder and answers it.
FileRef MakeTestFile(const QString& relative, const QByteArray& contents = QByteArray("x"));

// Texts in test failures read as texts.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
