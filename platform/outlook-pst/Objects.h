// The automation objects of the stand-in: application, namespace, folders,
// collections, mail items, recipients and attachments.
#pragma once

#include "Props.h"
#include "automation/Dispatch.h"

#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace OutlookPst {

class Store;
class PffItem;
struct FolderRef;
using StorePtr = std::shared_ptr<Store>;
using PffItemPtr = std::shared_ptr<PffItem>;

// Count and Item(1..Count) over elements made on demand.
class Collection : public Automation::ClassDispatch<Collection> {
public:
    using CountFn = std::function<qint32()>;
    using ItemFn = std::function<Automation::DispatchPtr(qint32 index)>; // index from 0

    Collection(QString className, CountFn count, ItemFn item);
    static void BuildMembers(Automation::ClassMembers<Collection>& members);
    QString ClassName() const override { return FClassName; }

private:
    QString FClassName;
    CountFn FCount;
    ItemFn FItem;
};

class FolderObject : public Automation::DispatchTable {
public:
    // A folder of a data file.
    FolderObject(StorePtr store, const FolderRef& folder, std::vector<quint32> ancestors);
    // The top-level folder of a data file; it opens the IPM subtree when first used.
    static std::shared_ptr<FolderObject> StoreRoot(StorePtr store);
    // A folder outside any data file, with no sub-folders and no items.
    static std::shared_ptr<FolderObject> Placeholder(const QString& name);
    // A folder that its parent lists but that cannot be opened: its name says so,
    // and reading its sub-folders or items raises error.
    static std::shared_ptr<FolderObject> Unopenable(StorePtr store, int number,
                                                    const QString& error);

    QString ClassName() const override { return QStringLiteral("Folder"); }
    QString Name();
    qint32 DefaultItemType();
    const std::vector<std::shared_ptr<FolderObject>>& SubFolders();
    qint32 ItemCount();
    Automation::DispatchPtr ItemAt(qint32 index);
    bool IsStoreRoot() const { return FStoreRoot; }
    const StorePtr& GetStore() const { return FStore; }

private:
    FolderObject();
    void AddMembers();
    // The folder's node identifier (the top folder's is found when first asked for).
    quint32 Nid();
    // libpff's item of the folder, opened when first needed.
    PffItemPtr Item();
    // The folder's own properties.
    PropertyBag& Props();
    // The node identifiers of the rows of the folder's hierarchy (0x0D) or
    // contents (0x0E) table, read by the store's own reader; null when it
    // cannot, or when a row names a node the file does not have.
    std::optional<std::vector<quint32>> OwnRows(quint32 tableType);
    void RequireOpenable() const;
    // The sub-folders as the folder's hierarchy table lists them; when the table
    // or one of its rows cannot be read, completed from the file's own tree of
    // items (which links every item to its parent).
    std::vector<FolderRef> ListSubFolders(int& unresolved, QString& error);
    // The folder's children of one node type from the file's tree of items.
    std::vector<PffItemPtr> TreeChildren(quint32 nodeType);

    StorePtr FStore;
    quint32 FNid = 0;
    PffItemPtr FItem;
    PropertyBagPtr FProps;
    bool FStoreRoot = false;
    QString FFixedName;
    QString FName; // as read once
    bool FNameRead = false;
    QString FOpenError;              // why the folder cannot be opened, for an unopenable one
    std::vector<quint32> FAncestors; // identifiers from the top down, against loops
    bool FFoldersLoaded = false;
    std::vector<std::shared_ptr<FolderObject>> FFolders;
    qint32 FItemCount = -1;
    // The items, when the contents table could not be read and the item tree
    // stands in for it; empty while the table serves.
    std::vector<PffItemPtr> FTreeItems;
    // The items' node identifiers, when the own reader read the contents table.
    std::vector<quint32> FOwnItems;
    bool FOwnItemsRead = false;
    // The mail items handed out and perhaps still in use, by position. Entries
    // of items that are gone are swept out as the map grows, so that it holds
    // about as many entries as there are live items, not one per mail read.
    std::unordered_map<qint32, std::weak_ptr<Automation::Dispatch>> FItems;
    std::size_t FItemsSweepAt = 64;
};
using FolderObjectPtr = std::shared_ptr<FolderObject>;

class MailItemObject : public Automation::ClassDispatch<MailItemObject> {
public:
    explicit MailItemObject(MessageSourcePtr source);
    static void BuildMembers(Automation::ClassMembers<MailItemObject>& members);
    QString ClassName() const override { return QStringLiteral("MailItem"); }

    QString Subject();
    QString Body();
    QString SenderName();
    QString SenderEmailAddress();
    QString RecipientNames(int type); // 1 To, 2 CC, 3 BCC
    TDateTime SentOn();
    TDateTime ReceivedTime();
    QStringList AttachmentNames();
    const MessageSourcePtr& Source() const { return FSource; }

private:
    MessageSourcePtr FSource;
    QStringList FSaveOmissions;
};

// The file name an attachment is known by.
QString AttachmentFileName(AttachmentSource& attachment, int codePage);

// A missing time reads as 4501-01-01 00:00, as in Outlook.
constexpr TDateTime kNoDate = 949998.0;

class NamespaceObject;

class ApplicationObject : public Automation::DispatchTable {
public:
    explicit ApplicationObject(QStringList storePaths);
    ~ApplicationObject() override;
    QString ClassName() const override { return QStringLiteral("Application"); }
    void Quit();

private:
    std::shared_ptr<NamespaceObject> Namespace();
    QStringList FStorePaths;
    std::shared_ptr<NamespaceObject> FNamespace;
    bool FQuit = false;
};

class NamespaceObject : public Automation::DispatchTable {
public:
    explicit NamespaceObject(QStringList storePaths);
    ~NamespaceObject() override;
    QString ClassName() const override { return QStringLiteral("Namespace"); }
    const std::vector<FolderObjectPtr>& TopFolders();
    Automation::DispatchPtr DefaultFolder(qint32 number);
    void AddStore(const QString& path);
    void RemoveStore(const Automation::DispatchPtr& folder);
    void Close();

private:
    QStringList FStorePaths;
    bool FOpened = false;
    bool FClosed = false;
    std::vector<FolderObjectPtr> FTop;
};

} // namespace OutlookPst
