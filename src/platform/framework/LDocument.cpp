#include "LDocument.h"

#include "BundleStrings.h"
#include "LMenuBar.h"
#include "LWindow.h"

#include <QMessageBox>
#include <QAbstractButton>
#include <algorithm>
#include <memory>

namespace {
std::vector<LDocument*>& Documents()
{
    static std::vector<LDocument*> documents;
    return documents;
}
} // namespace

LDocument::LDocument(LCommander* superCommander)
    : LCommander(superCommander ? superCommander : LCommander::GetTopCommander())
{
    Documents().push_back(this);
}

LDocument::~LDocument()
{
    auto& list = Documents();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

const std::vector<LDocument*>& LDocument::GetDocumentList()
{
    return Documents();
}

LDocument* LDocument::FindDocumentForFile(const FileRef& file)
{
    for (LDocument* document : Documents()) {
        if (document->UsesFile(file))
            return document;
    }
    return nullptr;
}

QMessageBox* NewChangesAlert(const QString& title, const QString& question, QMessageBox::StandardButtons buttons,
    QWidget* parent)
{
    auto* box = new QMessageBox(QMessageBox::Warning, title, question, buttons, parent);
    // The buttons keep the desktop's words; each takes a letter of its own.
    const QList<QAbstractButton*> shown = box->buttons();
    QStringList texts;
    for (const QAbstractButton* button : shown)
        texts << QString(button->text()).remove(QLatin1Char('&'));
    texts = WithMnemonics(texts);
    for (qsizetype i = 0; i < shown.size(); ++i)
        shown[i]->setText(texts[i]);
    return box;
}

ESaveAnswer LDocument::AskSaveChanges(bool quitting)
{
    std::unique_ptr<QMessageBox> box(NewChangesAlert(BundleLocalizedString(GetDescriptor()),
        BundleLocalizedString(QStringLiteral("SAVE_CHANGES_QUESTION")).arg(GetDescriptor()),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel));
    Q_UNUSED(quitting);
    switch (box->exec()) {
    case QMessageBox::Save: return answer_Save;
    case QMessageBox::Discard: return answer_DontSave;
    default: return answer_Cancel;
    }
}

bool LDocument::SettleChanges(bool quitting)
{
    if (!IsModified())
        return true;
    switch (AskSaveChanges(quitting)) {
    case answer_Cancel:
        return false;
    case answer_Save:
        DoSave();
        return !IsModified(); // a save that did not happen keeps the document
    case answer_DontSave:
        return true;
    }
    return false;
}

bool LDocument::AttemptClose(bool)
{
    if (!SettleChanges(false))
        return false;
    Close();
    return true;
}

bool LDocument::AttemptQuitSelf(SInt32)
{
    if (!SettleChanges(true))
        return false;
    Close();
    return true;
}

void LDocument::Close()
{
    delete this;
}

bool LDocument::ObeyCommand(CommandT command, void* ioParam)
{
    switch (command) {
    case cmd_Close:
        AttemptClose(true);
        return true;
    case cmd_Save:
        DoSave();
        return true;
    case cmd_Revert:
        DoRevert();
        return true;
    case cmd_Print:
    case cmd_PrintOne:
        DoPrint();
        return true;
    default:
        return LCommander::ObeyCommand(command, ioParam);
    }
}

void LDocument::FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName)
{
    switch (command) {
    case cmd_Close:
        outEnabled = true;
        return;
    case cmd_Save:
        outEnabled = IsModified();
        return;
    case cmd_Revert:
        outEnabled = IsModified() && IsSpecified();
        return;
    case cmd_Print:
    case cmd_PrintOne:
        outEnabled = IsPrintable();
        return;
    default:
        LCommander::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
    }
}

LSingleDoc::LSingleDoc(LCommander* superCommander)
    : LDocument(superCommander)
{
}

LSingleDoc::~LSingleDoc()
{
    if (mWindow) {
        LWindow* window = mWindow;
        mWindow = nullptr;
        window->DoClose();
    }
}

void LSingleDoc::SetWindow(LWindow* window)
{
    mWindow = window;
    if (window && window->GetSuperCommander() != this)
        window->SetSuperCommander(this);
}

void LSingleDoc::SetFile(const FileRef& file)
{
    mFile = file;
    mIsSpecified = file.IsValid();
}

bool LSingleDoc::UsesFile(const FileRef& file) const
{
    return mFile.IsValid() && mFile == file;
}

QString LSingleDoc::GetDescriptor() const
{
    return mWindow ? mWindow->GetCFDescriptor() : QString();
}

void LSingleDoc::SetDescriptor(const QString& title)
{
    if (mWindow)
        mWindow->SetCFDescriptor(title);
}

void LSingleDoc::SetModified(bool modified)
{
    LDocument::SetModified(modified);
    if (mWindow)
        mWindow->SetModified(modified);
}

bool LSingleDoc::AllowSubRemoval(LCommander* sub)
{
    if (sub == mWindow) {
        // Closing the window closes the document (which may refuse).
        AttemptClose(true);
        return false;
    }
    return true;
}

void LSingleDoc::Close()
{
    if (mWindow) {
        LWindow* window = mWindow;
        mWindow = nullptr;
        window->DoClose();
    }
    LDocument::Close();
}

void LSingleDoc::RemoveSubCommander(LCommander* sub)
{
    if (sub == mWindow)
        mWindow = nullptr;
    LDocument::RemoveSubCommander(sub);
}
