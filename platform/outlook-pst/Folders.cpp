#include "Objects.h"
#include "Store.h"
#include "PstMessage.h"
#include "runtime/Exception.h"

#include <algorithm>

using Automation::Arguments;
using Automation::DispatchPtr;
using Automation::Variant;

namespace OutlookPst {

namespace {
// Deeper trees are taken as a damaged file that refers back into itself.
constexpr std::size_t kMaxFolderDepth = 128;
} // namespace

Collection::Collection(QString className, CountFn count, ItemFn item) : FClassName(std::move(className))
{
    AddMember(QStringLiteral("Count"), [count](const Arguments&) { return Variant(count()); });
    AddMember(QStringLiteral("Item"), [count, item](const Arguments& args) {
        const qint32 index = IntArg(args, 0);
        const qint32 n = count();
        if (index < 1 || index > n)
            throw EOleException(n == 0 ? QStringLiteral("インデックス %1 は範囲外です (要素がありません)。").arg(index)
                                       : QStringLiteral("インデックス %1 は範囲外です (1 から %2)。").arg(index).arg(n));
        return Variant(item(index - 1));
    });
}

FolderObject::FolderObject() { AddMembers(); }

FolderObject::FolderObject(StorePtr store, PffItemPtr item, std::vector<quint32> ancestors)
    : FStore(std::move(store)), FItem(std::move(item)), FAncestors(std::move(ancestors))
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

void FolderObject::AddMembers()
{
    AddMember(QStringLiteral("Name"), [this](const Arguments&) { return Variant(Name()); });
    AddMember(QStringLiteral("DefaultItemType"), [this](const Arguments&) { return Variant(DefaultItemType()); });
    AddMember(QStringLiteral("Display"), [](const Arguments&) { return Variant(); });
    // The collections hold their folder, so they stay usable however long a
    // caller keeps them.
    AddMember(QStringLiteral("Folders"), [this](const Arguments&) {
        SubFolders(); // a failure shows here rather than at Count
        auto self = std::static_pointer_cast<FolderObject>(shared_from_this());
        return Variant(std::make_shared<Collection>(
            QStringLiteral("Folders"), [self] { return static_cast<qint32>(self->SubFolders().size()); },
            [self](qint32 i) -> DispatchPtr { return self->SubFolders()[static_cast<std::size_t>(i)]; }));
    });
    AddMember(QStringLiteral("Items"), [this](const Arguments&) {
        ItemCount();
        auto self = std::static_pointer_cast<FolderObject>(shared_from_this());
        return Variant(std::make_shared<Collection>(
            QStringLiteral("Items"), [self] { return self->ItemCount(); },
            [self](qint32 i) { return self->ItemAt(i); }));
    });
}

PffItemPtr FolderObject::Item()
{
    if (!FItem && FStoreRoot) {
        FItem = FStore->TopFolder();
        FAncestors = {FItem->Identifier()};
    }
    return FItem;
}

QString FolderObject::Name()
{
    if (!FFixedName.isEmpty() || !FStore)
        return FFixedName;
    if (FStoreRoot)
        return FStore->DisplayName();
    RecordSetBag bag(Item(), 0);
    return TextOr(bag, Prop::DisplayName, FStore->CodePage());
}

qint32 FolderObject::DefaultItemType()
{
    if (!FStore || FStoreRoot)
        return 0;
    RecordSetBag bag(Item(), 0);
    const QString cls = TextOr(bag, Prop::ContainerClass, FStore->CodePage());
    struct Entry {
        const char* prefix;
        qint32 type;
    };
    static const Entry table[] = {{"IPF.Appointment", 1}, {"IPF.Contact", 2},   {"IPF.Task", 3},
                                  {"IPF.Journal", 4},     {"IPF.StickyNote", 5}};
    for (const Entry& e : table) {
        const QLatin1String prefix(e.prefix);
        if (cls.compare(prefix, Qt::CaseInsensitive) == 0 ||
            cls.startsWith(prefix + QLatin1Char('.'), Qt::CaseInsensitive))
            return e.type;
    }
    return 0;
}

const std::vector<FolderObjectPtr>& FolderObject::SubFolders()
{
    if (FFoldersLoaded || !FStore)
        return FFolders;
    PffItemPtr item = Item();
    int count = 0;
    Call(QStringLiteral("フォルダー %1 のサブフォルダーの数を読めません").arg(Name()),
         libpff_folder_get_number_of_sub_folders, item->Get(), &count);
    std::vector<FolderObjectPtr> folders;
    for (int i = 0; i < count; ++i) {
        libpff_item_t* raw = nullptr;
        Call(QStringLiteral("フォルダー %1 のサブフォルダー %2 を読めません").arg(Name()).arg(i + 1),
             libpff_folder_get_sub_folder, item->Get(), i, &raw);
        PffItemPtr sub = FStore->Wrap(raw);
        const quint32 id = sub->Identifier();
        if (std::find(FAncestors.begin(), FAncestors.end(), id) != FAncestors.end() ||
            FAncestors.size() >= kMaxFolderDepth)
            throw EOleException(QStringLiteral("フォルダー %1 の階層が壊れています (自分自身を含んでいます)。").arg(Name()));
        RecordSetBag bag(sub, 0);
        const std::optional<qint32> type = FindInt(bag, Prop::FolderType);
        if (type && *type == 2)
            continue; // search folders are not shown
        std::vector<quint32> ancestors = FAncestors;
        ancestors.push_back(id);
        folders.push_back(std::make_shared<FolderObject>(FStore, sub, std::move(ancestors)));
    }
    FFolders = std::move(folders);
    FFoldersLoaded = true;
    return FFolders;
}

qint32 FolderObject::ItemCount()
{
    if (!FStore)
        return 0;
    if (FItemCount < 0) {
        int count = 0;
        Call(QStringLiteral("フォルダー %1 のアイテムの数を読めません").arg(Name()),
             libpff_folder_get_number_of_sub_messages, Item()->Get(), &count);
        FItemCount = std::max(count, 0);
        FItems.assign(static_cast<std::size_t>(FItemCount), std::weak_ptr<Automation::Dispatch>());
    }
    return FItemCount;
}

DispatchPtr FolderObject::ItemAt(qint32 index)
{
    if (index < 0 || index >= ItemCount())
        throw EOleException(QStringLiteral("アイテム %1 はありません。").arg(index + 1));
    std::weak_ptr<Automation::Dispatch>& cached = FItems[static_cast<std::size_t>(index)];
    if (DispatchPtr alive = cached.lock())
        return alive;
    libpff_item_t* raw = nullptr;
    Call(QStringLiteral("フォルダー %1 のアイテム %2 を読めません").arg(Name()).arg(index + 1),
         libpff_folder_get_sub_message, Item()->Get(), index, &raw);
    auto mail = std::make_shared<MailItemObject>(std::make_shared<PstMessage>(FStore->Wrap(raw)));
    cached = mail;
    return mail;
}

} // namespace OutlookPst
