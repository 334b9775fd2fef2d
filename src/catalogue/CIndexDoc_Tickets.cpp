// The ticket drop folder as the index document sees it: searches and new
// photographs go to the index view, saves to the write task.

#include "CIndexDoc.h"

#include "CIndexItem.h"
#include "CIndexPackage.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "PrefKeys.h"
#include "TaskServices.h"
#include "TicketFolder.h"

#include <QLoggingCategory>

#include <algorithm>
#include <utility>

Q_DECLARE_LOGGING_CATEGORY(lcTickets)

namespace {

class DocumentTicketSink : public TicketSink {
public:
    explicit DocumentTicketSink(CIndexDoc& document)
        : mDocument(document)
    {
    }

    void StartTicketSearch(SInt32 fieldKey, const QString& text) override
    {
        mDocument.GetIndexView()->StartQuickSearch(fieldKey, text);
    }

    void ShowAllTicketItems() override { mDocument.GetIndexView()->ShowAllItems(true); }

    void AddTicketPhoto(const QUrl& photo, const std::vector<TicketField>& fields) override
    {
        auto item = std::make_unique<CIndexItem>(photo);
        // The fields go into the index first and into the photograph once: a
        // photograph that refuses them still comes in with its ticket's fields.
        for (const auto& [fieldKey, value] : fields) {
            // A key the ticket lacks leaves the field empty.
            const QString text = value.value_or(QStringLiteral(""));
            if (OSStatus err = item->SetFieldValue(fieldKey, text, CIndexItem::FileWrite::CatalogueOnly))
                ThrowOSErr_(err, "ticket field " + std::to_string(fieldKey) + " cannot be set");
        }
        const OSStatus written = Pref::ApplyChangesToMediaFile.Get() ? item->WriteChangedCaptionToMediaFile() : noErr;
        // A new item of the index, held only by it until it is saved.
        mDocument.GetModel().InsertItem(item.get(), kInsertAtEnd, ItemInsert::Change);
        item.release();
        if (written != noErr)
            ReportError(ExceptionCode(written, "ticket photograph " + photo.toLocalFile().toStdString()
                                                   + " refused its caption; the index keeps it"),
                kCautionAlert);
    }

    void SaveAfterTicket() override { mDocument.DoSave(); }

    bool CanStoreTicketPhotos() const override { return mDocument.GetPackage() != nullptr; }
    void FinishAfterSave(const QString& ticketFile, std::function<void()> finish) override
    {
        mDocument.FinishTicketAfterSave(ticketFile, std::move(finish));
    }
    bool IsWaitingForSave(const QString& ticketFile) const override
    {
        return mDocument.IsTicketWaitingForSave(ticketFile);
    }

private:
    CIndexDoc& mDocument;
};

} // namespace

void CIndexDoc::CheckTicketFolder()
{
    // A ticket that fails stays in the folder for the next check; the user is told
    // once, not at every check.
    OSStatus err = CatchCode([this] {
        const FileRef folder = GetTicketFolder();
        if (!folder.IsFolder())
            return; // no ticket has been left yet
        WatchTicketFolder(folder);
        if (!mPackage && !mTicketWaitReported && folder.Child(QLatin1String(kUploadTicketFile)).Exists()) {
            mTicketWaitReported = true;
            ReportError(kMsgTicketWaits, kNoteAlert);
        }
        ScanTicketFolder(folder);
    });
    if (err != noErr) {
        qCWarning(lcTickets) << "ticket folder check ended early:" << ExceptionCode::CodeText(err).c_str();
        if (err != mLastTicketError)
            ReportError(err, kCautionAlert);
    }
    mLastTicketError = err;
}

void CIndexDoc::FinishTicketAfterSave(const QString& ticketFile, std::function<void()> finish)
{
    mTicketsAwaitingSave.emplace_back(ticketFile, std::move(finish));
}

bool CIndexDoc::IsTicketWaitingForSave(const QString& ticketFile) const
{
    return std::any_of(mTicketsAwaitingSave.begin(), mTicketsAwaitingSave.end(),
        [&](const auto& entry) { return entry.first == ticketFile; });
}

void CIndexDoc::IndexSaved()
{
    for (auto& [file, finish] : std::exchange(mTicketsAwaitingSave, {}))
        finish();
}

void CIndexDoc::ScanTicketFolder(const FileRef& folder)
{
    DocumentTicketSink sink(*this);
    ::ScanTicketFolder(folder, sink);
}
