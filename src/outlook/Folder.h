// Outlook folders and their item collections.
#pragma once

#include "MailItem.h"
#include "automation/Dispatch.h"

#include <vector>

namespace Outlook {

class TMessages;

// One Outlook folder. Owns its sub-folders and its item collection, both read
// from Outlook once and kept; the name and item type are read on every call.
class TFolder {
public:
    explicit TFolder(const Automation::OleRef& folder);
    virtual ~TFolder();
    TFolder(const TFolder&) = delete;
    TFolder& operator=(const TFolder&) = delete;

    virtual QString GetName();
    // The sub-folders; read from Outlook while the list is empty.
    virtual std::vector<TFolder*>& GetFolders();
    virtual void LoadFolders();
    virtual void ClearFolders();

    TMessages* GetMessages();
    // 0 for a mail folder.
    qint32 GetDefaultItemType();

private:
    Automation::OleRef Folder;
    TMessages* Messages = nullptr;
    std::vector<TFolder*> Folders;
};

// A folder's item collection; items are addressed from 0.
class TMessages {
public:
    explicit TMessages(const Automation::OleRef& items) : Items(items) {}
    virtual ~TMessages() = default;
    TMessages(const TMessages&) = delete;
    TMessages& operator=(const TMessages&) = delete;

    qint32 GetCount();
    // Outlook's item at index + 1; not range-tested, so Outlook reports a bad index.
    TMailItem GetItem(qint32 index);

private:
    Automation::OleRef Items;
};

} // namespace Outlook
