#include "Objects.h"
#include "OwnMessage.h"
#include "PstMessage.h"
#include "Store.h"
#include "runtime/Exception.h"

#include <algorithm>

using Automation::Arguments;
using Automation::DispatchPtr;
using Automation::Variant;

namespace OutlookPst {

namespace {
// Deeper trees are taken as a damaged file that refers back into itself.
constexpr std::size_t kMaxFolderDepth = 128;

// The low five bits of a node identifier give the kind of node.
constexpr quint32 kNodeTypeMask = 0x1F;
constexpr quint32 kNormalFolder = 0x02;
constexpr quint32 kSearchFolder = 0x03;
constexpr quint32 kNormalMessage = 0x04;
} // namespace

Collection::Collection(QString className, CountFn count, ItemFn item)
    : FClassName(std::move(className)), FCount(std::move(count)), FItem(std::move(item))
{
}

void Collection::BuildMembers(Automation::ClassMembers<Collection>& members)
{
    members.Add(QStringLiteral("Count"),
                [](Collection& self, const Arguments&) { return Variant(self.FCount()); });
    members.Add(QStringLiteral("Item"), [](Collection& self, const Arguments& args) {
        const qint32 index = IntArg(args, 0);
        const qint32 n = self.FCount();
        if (index < 1 || index > n)
            throw EOleException(
                n == 0
                    ? QStringLiteral("インデックス %1 は範囲外です (要素がありません)。").arg(index)
                    : QStringLiteral("インデックス %1 は範囲外です (1 から %2)。")
                          .arg(index)
                          .arg(n));
        return Variant(self.FItem(index - 1));
    });
}

FolderObject::FolderObject()
{
    AddMembers();
}

FolderObject::FolderObject(StorePtr store, const FolderRef& folder, std::vector<quint32> ancestors)
    : FStore(std::move(store)), FNid(folder.Nid), FItem(folder.Item),
      FAncestors(std::move(ancestors))
{
    AddMembers();
}

FolderObjectPtr FolderObject::StoreRoot(StorePtr store)
{
    FolderObjectPtr folder(new FolderObject());
    folder->FStore = std::move(store);
    folder->FStoreRoot = true;
    return folder;
}

FolderObjectPtr FolderObject::Placeholder(const QString& name)
{
    FolderObjectPtr folder(new FolderObject());
    folder->FFixedName = name;
    return folder;
}

FolderObjectPtr FolderObject::Unopenable(StorePtr store, int number, const QString& error)
{
    FolderObjectPtr folder(new FolderObject());
    folder->FStore = std::move(store);
    folder->FFixedName = QStringLiteral("(開けないフォルダー %1)").arg(number);
    folder->FOpenError = error;
    return folder;
}

void FolderObject::AddMembers()
{
    AddMember(QStringLiteral("Name"), [this](const Arguments&) { return Variant(Name()); });
    AddMember(QStringLiteral("DefaultItemType"),
              [this](const Arguments&) { return Variant(DefaultItemType()); });
    AddMember(QStringLiteral("Display"), [](const Arguments&) { return Variant(); });
    // The collections hold their folder, so they stay usable however long a
    // caller keeps them.
    AddMember(QStringLiteral("Folders"), [this](const Arguments&) {
        SubFolders(); // a failure shows here rather than at Count
        auto self = std::static_pointer_cast<FolderObject>(shared_from_this());
        return Variant(std::make_shared<Collection>(
            QStringLiteral("Folders"),
            [self] { return static_cast<qint32>(self->SubFolders().size()); },
            [self](qint32 i) -> DispatchPtr {
                return self->SubFolders()[static_cast<std::size_t>(i)];
            }));
    });
    AddMember(QStringLiteral("Items"), [this](const Arguments&) {
        ItemCount();
        auto self = std::static_pointer_cast<FolderObject>(shared_from_this());
        return Variant(std::make_shared<Collection>(
            QStringLiteral("Items"), [self] { return self->ItemCount(); },
            [self](qint32 i) { return self->ItemAt(i); }));
    });
}

quint32 FolderObject::Nid()
{
    if (FNid == 0 && FStoreRoot) {
        const FolderRef top = FStore->TopFolder();
        FNid = top.Nid;
        FItem = top.Item;
        FAncestors = {FNid};
    }
    return FNid;
}

PffItemPtr FolderObject::Item()
{
    Nid();
    if (!FItem) {
        FItem = FStore->ItemById(FNid);
        if (!FItem)
            throw EOleException(QStringLiteral("フォルダー %1 を読めません。").arg(FNid));
    }
    return FItem;
}

PropertyBag& FolderObject::Props()
{
    if (!FProps) {
        Nid();
        if (FStore->IsOwn())
            FProps = OwnBag::ForNode(FStore, FNid, [this]() -> PropertyBagPtr {
                return std::make_shared<RecordSetBag>(Item(), 0);
            });
        if (!FProps)
            FProps = std::make_shared<RecordSetBag>(Item(), 0);
    }
    return *FProps;
}

std::optional<std::vector<quint32>> FolderObject::OwnRows(quint32 tableType)
{
    if (!FStore->IsOwn())
        return std::nullopt;
    return FolderTableRows(*FStore->Blocks(), Nid(), tableType);
}

void FolderObject::RequireOpenable() const
{
    if (!FOpenError.isEmpty())
        throw EOleException(FOpenError);
}

QString FolderObject::Name()
{
    if (!FFixedName.isEmpty() || !FStore)
        return FFixedName;
    if (FStoreRoot)
        return FStore->DisplayName();
    if (!FNameRead) {
        try {
            FName = TextOr(Props(), Prop::DisplayName, FStore->CodePage());
            FNameRead = true;
        } catch (const Exception&) {
            // The folder keeps its place in the tree under a name that says what
            // happened; its node identifier keeps it apart from others like it.
            return QStringLiteral("(名前を読めないフォルダー %1)").arg(FNid);
        }
    }
    return FName;
}

qint32 FolderObject::DefaultItemType()
{
    if (!FStore || FStoreRoot || !FOpenError.isEmpty())
        return 0;
    QString cls;
    try {
        cls = TextOr(Props(), Prop::ContainerClass, FStore->CodePage());
    } catch (const Exception&) {
        // Properties that cannot be read may hide a mail folder: its mails are
        // still tried, and each one that fails is reported.
        return 0;
    }
    struct Entry {
        const char* prefix;
        qint32 type;
    };
    static const Entry table[] = {{"IPF.Appointment", 1},
                                  {"IPF.Contact", 2},
                                  {"IPF.Task", 3},
                                  {"IPF.Journal", 4},
                                  {"IPF.StickyNote", 5}};
    for (const Entry& e : table) {
        const QLatin1String prefix(e.prefix);
        if (cls.compare(prefix, Qt::CaseInsensitive) == 0 ||
            cls.startsWith(prefix + QLatin1Char('.'), Qt::CaseInsensitive))
            return e.type;
    }
    return 0;
}

std::vector<PffItemPtr> FolderObject::TreeChildren(quint32 nodeType)
{
    PffItemPtr item = Item();
    int count = 0;
    Call(QStringLiteral("フォルダーの項目のつながりを読めません"),
         libpff_item_get_number_of_sub_items, item->Get(), &count);
    std::vector<PffItemPtr> children;
    for (int i = 0; i < count; ++i) {
        libpff_item_t* raw = nullptr;
        PffError error;
        if (libpff_item_get_sub_item(item->Get(), i, &raw, error.Out()) != 1 || !raw)
            continue;
        PffItemPtr child = FStore->Wrap(raw);
        if ((child->Identifier() & kNodeTypeMask) == nodeType)
            children.push_back(std::move(child));
    }
    return children;
}

std::vector<FolderRef> FolderObject::ListSubFolders(int& unresolved, QString& error)
{
    unresolved = 0;
    if (std::optional<std::vector<quint32>> rows = OwnRows(0x0D)) {
        std::shared_ptr<BlockFile> blocks = FStore->Blocks();
        std::vector<FolderRef> subs;
        for (quint32 id : *rows)
            if (blocks->FindNode(id))
                subs.push_back(FolderRef{id, nullptr});
        // A row that leads nowhere: libpff's reading says what it can.
        if (subs.size() == rows->size())
            return subs;
    }
    PffItemPtr item = Item();
    std::vector<FolderRef> subs;
    bool tableRead = true;
    int count = 0;
    {
        PffError e;
        if (libpff_folder_get_number_of_sub_folders(item->Get(), &count, e.Out()) != 1) {
            tableRead = false;
            error = QStringLiteral("サブフォルダーの一覧を読めません: %1").arg(e.Text());
        }
    }
    for (int i = 0; i < count; ++i) {
        libpff_item_t* raw = nullptr;
        PffError e;
        if (libpff_folder_get_sub_folder(item->Get(), i, &raw, e.Out()) == 1 && raw) {
            PffItemPtr sub = FStore->Wrap(raw);
            subs.push_back(FolderRef{sub->Identifier(), sub});
        } else {
            ++unresolved;
            error = QStringLiteral("サブフォルダー %1 を開けません: %2").arg(i + 1).arg(e.Text());
        }
    }
    if (tableRead && unresolved == 0)
        return subs;
    std::vector<PffItemPtr> fromTree;
    try {
        fromTree = TreeChildren(kNormalFolder);
    } catch (const Exception&) {
        if (!tableRead)
            throw EOleException(error);
    }
    for (PffItemPtr& child : fromTree) {
        const quint32 id = child->Identifier();
        if (std::none_of(subs.begin(), subs.end(),
                         [id](const FolderRef& s) { return s.Nid == id; })) {
            subs.push_back(FolderRef{id, std::move(child)});
            if (unresolved > 0)
                --unresolved;
        }
    }
    return subs;
}

const std::vector<FolderObjectPtr>& FolderObject::SubFolders()
{
    if (FFoldersLoaded || !FStore)
        return FFolders;
    RequireOpenable();
    int unresolved = 0;
    QString error;
    std::vector<FolderRef> subs = ListSubFolders(unresolved, error);
    std::vector<FolderObjectPtr> folders;
    for (FolderRef& sub : subs) {
        const quint32 id = sub.Nid;
        if ((id & kNodeTypeMask) == kSearchFolder)
            continue; // search folders are not shown
        if (std::find(FAncestors.begin(), FAncestors.end(), id) != FAncestors.end() ||
            FAncestors.size() >= kMaxFolderDepth) {
            folders.push_back(Unopenable(
                FStore, static_cast<int>(folders.size()) + 1,
                QStringLiteral("フォルダーの階層が壊れています (自分自身を含んでいます)。")));
            continue;
        }
        std::vector<quint32> ancestors = FAncestors;
        ancestors.push_back(id);
        auto folder = std::make_shared<FolderObject>(FStore, sub, std::move(ancestors));
        try {
            const std::optional<qint32> type = FindInt(folder->Props(), Prop::FolderType);
            if (type && *type == 2)
                continue;
        } catch (const Exception&) {
            // Listing needs no more than the identifier; the folder shows what it
            // cannot read when it is opened.
        }
        folders.push_back(std::move(folder));
    }
    // Rows of the hierarchy table that lead nowhere stay visible as folders that
    // cannot be opened, so that what they held is reported rather than missed.
    for (int i = 0; i < unresolved; ++i)
        folders.push_back(Unopenable(FStore, static_cast<int>(folders.size()) + 1, error));
    FFolders = std::move(folders);
    FFoldersLoaded = true;
    return FFolders;
}

qint32 FolderObject::ItemCount()
{
    if (!FStore)
        return 0;
    if (FItemCount < 0) {
        RequireOpenable();
        if (std::optional<std::vector<quint32>> rows = OwnRows(0x0E)) {
            FOwnItems = std::move(*rows);
            FOwnItemsRead = true;
            FItemCount = static_cast<qint32>(FOwnItems.size());
            return FItemCount;
        }
        int count = 0;
        PffError error;
        if (libpff_folder_get_number_of_sub_messages(Item()->Get(), &count, error.Out()) == 1) {
            FItemCount = std::max(count, 0);
        } else {
            // The contents table cannot be read: the messages that name this
            // folder as their parent are the folder's items.
            const QString reason =
                QStringLiteral("フォルダーのアイテムの一覧を読めません: %1").arg(error.Text());
            try {
                FTreeItems = TreeChildren(kNormalMessage);
            } catch (const Exception&) {
                throw EOleException(reason);
            }
            FItemCount = static_cast<qint32>(FTreeItems.size());
        }
    }
    return FItemCount;
}

DispatchPtr FolderObject::ItemAt(qint32 index)
{
    if (index < 0 || index >= ItemCount())
        throw EOleException(QStringLiteral("アイテム %1 はありません。").arg(index + 1));
    if (FItems.size() >= FItemsSweepAt) {
        std::erase_if(FItems, [](const auto& item) { return item.second.expired(); });
        FItemsSweepAt = std::max<std::size_t>(64, 2 * FItems.size());
    }
    std::weak_ptr<Automation::Dispatch>& cached = FItems[index];
    if (DispatchPtr alive = cached.lock())
        return alive;
    PffItemPtr message;
    if (FOwnItemsRead) {
        const quint32 nid = FOwnItems[static_cast<std::size_t>(index)];
        if (std::shared_ptr<OwnMessage> own = OwnMessage::Open(FStore, nid)) {
            auto mail = std::make_shared<MailItemObject>(own);
            cached = mail;
            return mail;
        }
        // libpff reads the same node, so that the row and the mail stay one.
        message = FStore->ItemById(nid);
        if (!message)
            throw EOleException(QStringLiteral("アイテム %1 を読めません。").arg(index + 1));
    } else if (!FTreeItems.empty()) {
        message = FTreeItems[static_cast<std::size_t>(index)];
    } else {
        libpff_item_t* raw = nullptr;
        Call(QStringLiteral("アイテム %1 を読めません").arg(index + 1),
             libpff_folder_get_sub_message, Item()->Get(), index, &raw);
        message = FStore->Wrap(raw);
    }
    auto mail = std::make_shared<MailItemObject>(std::make_shared<PstMessage>(message, true));
    cached = mail;
    return mail;
}

} // namespace OutlookPst
