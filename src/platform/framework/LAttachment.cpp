#include "LAttachment.h"

#include "LStream.h"

#include <algorithm>

LAttachment::LAttachment(MessageT message, bool executeHost)
    : mMessage(message)
    , mExecuteHost(executeHost)
{
}

// Stream form: the message (32 bits) and the execute-host flag (8 bits).
LAttachment::LAttachment(LStream* stream)
    : mMessage(msg_AnyMessage)
    , mExecuteHost(true)
{
    if (stream) {
        mMessage = stream->ReadSInt32();
        mExecuteHost = stream->ReadUInt8() != 0;
    }
}

LAttachment::~LAttachment()
{
    if (mOwnerHost) {
        LAttachable* host = mOwnerHost;
        mOwnerHost = nullptr;
        host->RemoveAttachment(this);
    }
}

bool LAttachment::Execute(MessageT message, void* ioParam)
{
    if (mMessage == msg_AnyMessage || mMessage == message) {
        ExecuteSelf(message, ioParam);
        return mExecuteHost;
    }
    return true;
}

LAttachable::~LAttachable()
{
    RemoveAllAttachments();
    if (sDefaultAttachable == this)
        sDefaultAttachable = nullptr;
}

void LAttachable::AddAttachment(LAttachment* attachment, LAttachment* before, bool owns)
{
    if (!attachment || HasAttachment(attachment))
        return;
    auto at = std::find_if(mAttachments.begin(), mAttachments.end(), [&](const Entry& e) { return e.attachment == before; });
    mAttachments.insert(before ? at : mAttachments.end(), Entry { attachment, owns });
    attachment->SetOwnerHost(this);
}

void LAttachable::RemoveAttachment(LAttachment* attachment)
{
    auto at = std::find_if(mAttachments.begin(), mAttachments.end(), [&](const Entry& e) { return e.attachment == attachment; });
    if (at == mAttachments.end())
        return;
    mAttachments.erase(at);
    if (attachment->GetOwnerHost() == this)
        attachment->SetOwnerHost(nullptr);
}

void LAttachable::RemoveAllAttachments()
{
    while (!mAttachments.empty()) {
        Entry entry = mAttachments.back();
        mAttachments.pop_back();
        if (entry.attachment->GetOwnerHost() == this)
            entry.attachment->SetOwnerHost(nullptr);
        if (entry.owned)
            delete entry.attachment;
    }
}

bool LAttachable::HasAttachment(const LAttachment* attachment) const
{
    return std::any_of(mAttachments.begin(), mAttachments.end(), [&](const Entry& e) { return e.attachment == attachment; });
}

bool LAttachable::ExecuteAttachments(MessageT message, void* ioParam)
{
    bool executeHost = true;
    // Attachments may remove themselves (or others) while they run.
    std::vector<LAttachment*> attachments;
    for (const Entry& e : mAttachments)
        attachments.push_back(e.attachment);
    for (LAttachment* attachment : attachments) {
        if (HasAttachment(attachment))
            executeHost = attachment->Execute(message, ioParam) && executeHost;
    }
    return executeHost;
}
