#pragma once

#include "FileRef.h"
#include "MacTypes.h"

#include <QString>
#include <QUrl>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

// The ticket drop folder: other programs leave "request.xml" (search for a ticket)
// and "upload.xml" (add photographs tagged with their ticket) in the user's Public
// folder; an open index picks them up, acts on each ticket in order and deletes
// the file.

inline constexpr const char* kRequestTicketFile = "request.xml";
inline constexpr const char* kUploadTicketFile = "upload.xml";

// The ticket keys and the field keys they fill.
inline constexpr SInt32 kFieldTicketUnit = 6003; // "UNITID"
inline constexpr SInt32 kFieldTicketUser = 6004; // "USERID"
inline constexpr SInt32 kFieldTicketDate = 6005; // "TO_DATE"
inline constexpr SInt32 kFieldTicketPlate = 6006; // "PLATE"
inline constexpr SInt32 kFieldTicketNo = 6007; // "TICKETNO"
inline constexpr SInt32 kFieldTicketTime = 6009; // "TO_TIME"

// One ticket field for an uploaded photograph; no value when the ticket lacks the key.
using TicketField = std::pair<SInt32, std::optional<QString>>;

// What a ticket asks of the index.
class TicketSink {
public:
    virtual ~TicketSink() = default;
    // request.xml: a quick search for the text in the field.
    virtual void StartTicketSearch(SInt32 fieldKey, const QString& text) = 0;
    // upload.xml, before its photographs: the index shows all its items.
    virtual void ShowAllTicketItems() = 0;
    // One photograph (inside the drop folder) with its fields, in the order to set them.
    virtual void AddTicketPhoto(const QUrl& photo, const std::vector<TicketField>& fields) = 0;
    // After all photographs of one upload ticket: the index is saved.
    virtual void SaveAfterTicket() = 0;

    // Whether photographs can be stored now: an untitled index cannot be saved,
    // so upload tickets wait in the folder.
    virtual bool CanStoreTicketPhotos() const { return true; }
    // An upload file whose photographs are in the index runs `finish` (it deletes
    // the file, or rewrites it without what was done) once the index holding them
    // has been saved; until then the file is waiting and is not read again.
    virtual void FinishAfterSave(const QString&, std::function<void()> finish) { finish(); }
    virtual bool IsWaitingForSave(const QString& ticketFile) const
    {
        (void)ticketFile;
        return false;
    }
};

// The drop folder: the user's Public folder (XDG_PUBLICSHARE_DIR, else ~/Public).
// It may not exist: the programs that leave tickets make it; Orvex only reads it.
FileRef GetTicketFolder();

// Acts on one entry of the folder. Names other than the two ticket files (exactly,
// case included) are left alone. Throws on a file that cannot be read or parsed
// or lacks "TICKETS" or "PHOTOS"; the file then stays for the next check, without
// the tickets and photographs already done, so they are not done twice. A done
// request file is deleted; an upload file only once its photographs are saved. Photograph names that leave the folder ("..", absolute paths,
// links to outside) are refused and skipped.
void ProcessTicketFile(const FileRef& entry, TicketSink& sink);

// Every entry of the folder (one level), in name order; the first failure ends
// the scan (later entries wait for the next check).
void ScanTicketFolder(const FileRef& folder, TicketSink& sink);

// The photograph a "PHOTOS" name stands for, or nullopt when the name would leave
// the folder that holds the ticket file.
std::optional<FileRef> ResolveTicketPhoto(const FileRef& ticketFolder, const QString& name);
