#pragma once

#include "FileRef.h"
#include "LCommander.h"

#include <QMessageBox>
#include <vector>

class LWindow;

// What AskSaveChanges answers.
enum ESaveAnswer { answer_Save = 1, answer_Cancel = 2, answer_DontSave = 3 };

// A document: a commander under the application with a modified and a specified
// state. Closing asks to save a modified document; cancelling keeps it open.
// Documents are listed, oldest first, in the document list.
class LDocument : public LCommander {
public:
    explicit LDocument(LCommander* superCommander = nullptr);
    ~LDocument() override;

    static const std::vector<LDocument*>& GetDocumentList();
    // The open document of that file, or none.
    static LDocument* FindDocumentForFile(const FileRef& file);

    virtual bool IsModified() const { return mIsModified; }
    virtual void SetModified(bool modified) { mIsModified = modified; }
    bool IsSpecified() const { return mIsSpecified; }
    void SetSpecified(bool specified) { mIsSpecified = specified; }
    virtual bool UsesFile(const FileRef&) const { return false; }
    virtual QString GetDescriptor() const { return QString(); }

    // Closing: asks when modified (AskSaveChanges), saves when told, then Close.
    // Answers false when the user cancelled.
    virtual bool AttemptClose(bool recordIt);
    virtual bool AttemptQuitSelf(SInt32 saveOption);
    // Ends the document: its windows leave the screen and it is deleted.
    virtual void Close();

    virtual ESaveAnswer AskSaveChanges(bool quitting);
    virtual void DoSave() {}
    virtual bool AskSaveAs(const FileRef&, bool) { return false; }
    virtual void DoRevert() {}
    virtual void DoPrint() {}
    virtual bool IsPrintable() const { return false; }

    bool ObeyCommand(CommandT command, void* ioParam) override;
    void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName) override;

protected:
    // Asks to save a modified document and saves when told; false when it stays open.
    bool SettleChanges(bool quitting);

    bool mIsModified = false;
    bool mIsSpecified = false;
};

// The alert that asks what becomes of a document's changes: a warning with the
// given buttons (Save, Discard, Cancel), each answering Alt and its underlined letter.
QMessageBox* NewChangesAlert(const QString& title, const QString& question, QMessageBox::StandardButtons buttons,
    QWidget* parent = nullptr);

// A document with one window and (once specified) one file. Closing the window
// closes the document; the window's title and modified mark are the document's.
class LSingleDoc : public LDocument {
public:
    explicit LSingleDoc(LCommander* superCommander = nullptr);
    ~LSingleDoc() override;

    LWindow* GetWindow() const { return mWindow; }
    void SetWindow(LWindow* window);
    const FileRef& GetFile() const { return mFile; }
    void SetFile(const FileRef& file);

    bool UsesFile(const FileRef& file) const override;
    QString GetDescriptor() const override;
    void SetDescriptor(const QString& title);
    void SetModified(bool modified) override;
    bool AllowSubRemoval(LCommander* sub) override;
    void Close() override;

protected:
    void RemoveSubCommander(LCommander* sub) override;

    LWindow* mWindow = nullptr;
    FileRef mFile;
};
