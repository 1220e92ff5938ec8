#include "Folder.h"

using Automation::OleRef;

namespace Outlook {

TFolder::TFolder(const OleRef& folder) : Folder(folder) {}

TFolder::~TFolder()
{
    ClearFolders();
    Folder.Clear();
    delete Messages;
}

QString TFolder::GetName() { return Folder.GetText(QStringLiteral("Name")); }

std::vector<TFolder*>& TFolder::GetFolders()
{
    if (Folders.empty())
        LoadFolders();
    return Folders;
}

void TFolder::LoadFolders()
{
    OleRef collection = Folder.GetObject(QStringLiteral("Folders"));
    const qint32 count = collection.GetInt(QStringLiteral("Count"));
    for (qint32 i = 1; i <= count; ++i)
        Folders.push_back(new TFolder(collection.GetObject(QStringLiteral("Item"), {i})));
}

void TFolder::ClearFolders()
{
    for (TFolder* folder : Folders)
        delete folder;
    Folders.clear();
}

TMessages* TFolder::GetMessages()
{
    if (!Messages)
        Messages = new TMessages(Folder.GetObject(QStringLiteral("Items")));
    return Messages;
}

qint32 TFolder::GetDefaultItemType() { return Folder.GetInt(QStringLiteral("DefaultItemType")); }

qint32 TMessages::GetCount() { return Items.GetInt(QStringLiteral("Count")); }

TMailItem TMessages::GetItem(qint32 index)
{
    return TMailItem(Items.GetObject(QStringLiteral("Item"), {index + 1}));
}

} // namespace Outlook
