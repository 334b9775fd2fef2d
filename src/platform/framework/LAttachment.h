#pragma once

#include "MacTypes.h"

#include <vector>

class LAttachable;
class LStream;

// Messages an attachment can wait for; a host runs its attachments with the
// message before its own action. Commands are messages too (their numbers).
enum : MessageT {
    msg_AnyMessage = 800,
    msg_Event = 810,
    msg_DrawOrPrint = 811,
    msg_Click = 812,
    msg_AdjustCursor = 813,
    msg_KeyPress = 814,
    msg_CommandStatus = 815,
    msg_PostAction = 816,
    msg_FinishCreate = 817,
};

// Behaviour added to a host (a pane, a commander) from outside. Execute runs
// ExecuteSelf when the message is the one it waits for (or it waits for any);
// its answer says whether the host may go on with its own action.
class LAttachment {
public:
    explicit LAttachment(MessageT message = msg_AnyMessage, bool executeHost = true);
    explicit LAttachment(LStream* stream);
    LAttachment(const LAttachment&) = delete;
    LAttachment& operator=(const LAttachment&) = delete;
    virtual ~LAttachment();

    virtual bool Execute(MessageT message, void* ioParam);

    MessageT GetMessage() const { return mMessage; }
    void SetMessage(MessageT message) { mMessage = message; }
    bool GetExecuteHost() const { return mExecuteHost; }
    void SetExecuteHost(bool executeHost) { mExecuteHost = executeHost; }
    LAttachable* GetOwnerHost() const { return mOwnerHost; }
    virtual void SetOwnerHost(LAttachable* host) { mOwnerHost = host; }

protected:
    virtual void ExecuteSelf(MessageT message, void* ioParam) = 0;

    MessageT mMessage;
    bool mExecuteHost;
    LAttachable* mOwnerHost = nullptr;
};

// A host of attachments. Attachments it owns are deleted with it.
class LAttachable {
public:
    LAttachable() = default;
    LAttachable(const LAttachable&) = delete;
    LAttachable& operator=(const LAttachable&) = delete;
    virtual ~LAttachable();

    // Adds before `before` (or at the end); an owned attachment dies with the host.
    virtual void AddAttachment(LAttachment* attachment, LAttachment* before = nullptr, bool owns = true);
    virtual void RemoveAttachment(LAttachment* attachment);
    void RemoveAllAttachments();
    bool HasAttachment(const LAttachment* attachment) const;
    int CountAttachments() const { return int(mAttachments.size()); }

    // Runs every attachment with the message; false when any of them asks the
    // host not to act.
    bool ExecuteAttachments(MessageT message, void* ioParam);

    // The host that new objects made from a layout attach to.
    static LAttachable* GetDefaultAttachable() { return sDefaultAttachable; }
    static void SetDefaultAttachable(LAttachable* host) { sDefaultAttachable = host; }

private:
    struct Entry {
        LAttachment* attachment;
        bool owned;
    };
    std::vector<Entry> mAttachments;
    static inline LAttachable* sDefaultAttachable = nullptr;
};
