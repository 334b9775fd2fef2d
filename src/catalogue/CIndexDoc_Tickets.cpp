// The ticket drop folder as the index document sees it: searches and new
// photographs go to the index view, saves to the write task.

#include "CIndexDoc.h"

#include "CIndexItem.h"
#include "ExceptionCode.h"
#include "TaskServices.h"
#include "TicketFolder.h"

#include <QLoggingCategory>

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
        for (const auto& [fieldKey, value] : fields) {
            // A key the ticket lacks leaves the field empty.
            const QString text = value.value_or(QStringLiteral(""));
            if (OSStatus err = item->SetFieldValue(fieldKey, text, mDocument.GetIndexViewServices()))
                ThrowOSErr_(err, "ticket field " + std::to_string(fieldKey) + " cannot be set");
        }
        mDocument.GetIndexView()->InsertItem(item.release(), kInsertAtEnd, true, false);
    }

    void SaveAfterTicket() override { mDocument.DoSave(); }

private:
    CIndexDoc& mDocument;
};

} // namespace

void CIndexDoc::CheckTicketFolder()
{
    // A ticket that fails stays in the folder for the next check; nothing is reported.
    OSStatus err = CatchCode([this] { ScanTicketFolder(GetTicketFolder()); });
    if (err != noErr)
        qCInfo(lcTickets) << "ticket folder check ended early:" << ExceptionCode::CodeText(err).c_str();
}

void CIndexDoc::ScanTicketFolder(const FileRef& folder)
{
    DocumentTicketSink sink(*this);
    ::ScanTicketFolder(folder, sink);
}
