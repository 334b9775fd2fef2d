#include "TicketFolder.h"

#include "CatalogueRoutines.h"
#include "ExceptionCode.h"
#include "PropertyList.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <algorithm>

Q_LOGGING_CATEGORY(lcTickets, "orvex.errors.tickets")

namespace {

const QString kTickets = QStringLiteral("TICKETS");
const QString kPhotos = QStringLiteral("PHOTOS");

struct TicketKey {
    const char* key;
    SInt32 field;
};

// A request ticket searches by the first of these it holds.
constexpr TicketKey kRequestKeys[] = {
    { "PLATE", kFieldTicketPlate },
    { "TICKETNO", kFieldTicketNo },
    { "TO_DATE", kFieldTicketDate },
    { "TO_TIME", kFieldTicketTime },
    { "UNITID", kFieldTicketUnit },
    { "USERID", kFieldTicketUser },
};

// An uploaded photograph gets its fields in this order.
constexpr TicketKey kUploadKeys[] = {
    { "PLATE", kFieldTicketPlate },
    { "TICKETNO", kFieldTicketNo },
    { "UNITID", kFieldTicketUnit },
    { "USERID", kFieldTicketUser },
    { "TO_DATE", kFieldTicketDate },
    { "TO_TIME", kFieldTicketTime },
};

// A ticket value as text; a value of another type counts as missing.
std::optional<QString> TicketText(const QVariantMap& ticket, const char* key)
{
    auto it = ticket.constFind(QLatin1String(key));
    if (it == ticket.constEnd() || it->typeId() != QMetaType::QString)
        return std::nullopt;
    return it->toString();
}

QVariantMap TicketAt(const QVariantList& tickets, qsizetype index)
{
    const QVariant& entry = tickets.at(index);
    if (entry.typeId() != QMetaType::QVariantMap)
        ThrowOSErr_(err_NilPointer, "ticket " + std::to_string(index) + " is not a dictionary");
    return entry.toMap();
}

void DoRequestTicket(const QVariantMap& ticket, TicketSink& sink)
{
    for (const TicketKey& key : kRequestKeys) {
        if (std::optional<QString> text = TicketText(ticket, key.key)) {
            sink.StartTicketSearch(key.field, *text);
            return;
        }
    }
}

// Where a partly done file stands: tickets before `ticket` are done, and of that
// ticket the photographs before `photo`.
struct TicketProgress {
    qsizetype ticket = 0;
    qsizetype photo = 0;
};

void DoUploadTicket(const FileRef& folder, const QVariantMap& ticket, TicketSink& sink, TicketProgress& progress)
{
    sink.ShowAllTicketItems();
    auto photos = ticket.constFind(kPhotos);
    if (photos == ticket.constEnd() || photos->typeId() != QMetaType::QVariantList)
        ThrowOSErr_(err_NilPointer, "an upload ticket without PHOTOS");
    const QVariantList names = photos->toList();

    std::vector<TicketField> fields;
    for (const TicketKey& key : kUploadKeys)
        fields.emplace_back(key.field, TicketText(ticket, key.key));

    for (; progress.photo < names.size(); ++progress.photo) {
        const QVariant& name = names.at(progress.photo);
        if (name.typeId() != QMetaType::QString)
            ThrowOSErr_(err_NilPointer, "a PHOTOS entry is not a name");
        std::optional<FileRef> photo = ResolveTicketPhoto(folder, name.toString());
        if (!photo) {
            qCWarning(lcTickets) << "ticket photograph refused, it is not inside the drop folder:" << name.toString();
            continue;
        }
        sink.AddTicketPhoto(photo->ToUrl(), fields);
    }
    // Every photograph is in the index, which keeps them (unsaved) when the save
    // fails: they are not added again, and the file goes once a save succeeds.
    ++progress.ticket;
    progress.photo = 0;
    sink.SaveAfterTicket();
}

// Puts back what is still to do, so a retry does not repeat done tickets. The rest
// of the file (other keys) is kept as it was.
void RewriteRemaining(const FileRef& entry, QVariantMap root, const QVariantList& tickets, const TicketProgress& done)
{
    if (done.ticket == 0 && done.photo == 0)
        return;
    QVariantList remaining = tickets.mid(done.ticket);
    if (done.photo > 0 && !remaining.isEmpty()) {
        QVariantMap current = remaining.first().toMap();
        current.insert(kPhotos, current.value(kPhotos).toList().mid(done.photo));
        remaining.first() = current;
    }
    root.insert(kTickets, remaining);
    OSStatus err = PropertyList::WriteFile(entry.Path(), root);
    if (err != noErr)
        qCWarning(lcTickets) << "the ticket file could not be rewritten without its done tickets:" << entry.Path()
                             << err;
}

void RemoveTicketFile(const FileRef& entry)
{
    if (!QFile::remove(entry.Path()) && entry.Exists())
        ThrowOSErr_(ioErr, "ticket file " + entry.Name().toStdString() + " cannot be deleted");
}

} // namespace

FileRef GetTicketFolder()
{
    QString path = QStandardPaths::writableLocation(QStandardPaths::PublicShareLocation);
    if (path.isEmpty())
        path = QDir::homePath() + QStringLiteral("/Public");
    return FileRef(path);
}

std::optional<FileRef> ResolveTicketPhoto(const FileRef& ticketFolder, const QString& name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.contains(QChar(0)))
        return std::nullopt;
    const QStringList parts = name.split(QLatin1Char('/'));
    for (const QString& part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return std::nullopt;
    }
    FileRef photo(ticketFolder.Path() + QLatin1Char('/') + name);
    // A link inside the folder may point anywhere: judge where it leads.
    const QString folderReal = QFileInfo(ticketFolder.Path()).canonicalFilePath();
    const QString photoReal = QFileInfo(photo.Path()).canonicalFilePath();
    if (!photoReal.isEmpty() && (folderReal.isEmpty() || !photoReal.startsWith(folderReal + QLatin1Char('/'))))
        return std::nullopt;
    return photo;
}

void ProcessTicketFile(const FileRef& entry, TicketSink& sink)
{
    const QString name = entry.Name();
    const bool request = name == QLatin1String(kRequestTicketFile);
    if (!request && name != QLatin1String(kUploadTicketFile))
        return;
    if (!request && (!sink.CanStoreTicketPhotos() || sink.IsWaitingForSave(entry.Path())))
        return;

    QVariant parsed;
    QString why;
    OSStatus err = PropertyList::ReadFile(entry.Path(), parsed, &why);
    if (err == PropertyList::kErrMalformed || (err == noErr && parsed.typeId() != QMetaType::QVariantMap))
        ThrowOSErr_(err_NilPointer, "ticket file " + name.toStdString() + " is no property list: " + why.toStdString());
    if (err != noErr)
        ThrowOSErr_(err_AssertFailed, "ticket file " + name.toStdString() + " cannot be read");
    const QVariantMap root = parsed.toMap();
    auto found = root.constFind(kTickets);
    if (found == root.constEnd() || found->typeId() != QMetaType::QVariantList)
        ThrowOSErr_(err_NilPointer, "ticket file " + name.toStdString() + " has no TICKETS");
    const QVariantList tickets = found->toList();

    const FileRef folder = entry.Parent();
    TicketProgress progress;
    try {
        while (progress.ticket < tickets.size()) {
            const QVariantMap ticket = TicketAt(tickets, progress.ticket);
            if (request) {
                DoRequestTicket(ticket, sink);
                ++progress.ticket;
            } else {
                DoUploadTicket(folder, ticket, sink, progress);
            }
        }
    } catch (...) {
        // Searches are done at once; photographs only once the index is saved.
        if (request)
            RewriteRemaining(entry, root, tickets, progress);
        else if (progress.ticket > 0 || progress.photo > 0)
            sink.FinishAfterSave(entry.Path(), [=] { RewriteRemaining(entry, root, tickets, progress); });
        throw;
    }
    if (request) {
        RemoveTicketFile(entry);
        return;
    }
    sink.FinishAfterSave(entry.Path(), [entry] {
        const OSStatus err = CatchCode([&] { RemoveTicketFile(entry); });
        if (err != noErr)
            qCWarning(lcTickets) << "a done ticket file stays:" << entry.Path() << err;
    });
}

void ScanTicketFolder(const FileRef& folder, TicketSink& sink)
{
    std::vector<FileRef> entries;
    OSStatus err = IterateFolderTree(folder, 1, [&](const FolderWalkItem& item) {
        entries.push_back(item.ref);
        return true;
    });
    ThrowIfOSErr_(err);
    std::sort(entries.begin(), entries.end(), [](const FileRef& a, const FileRef& b) { return a.Path() < b.Path(); });
    for (const FileRef& entry : entries)
        ProcessTicketFile(entry, sink);
}
