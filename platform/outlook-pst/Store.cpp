#include "Store.h"

#include "Blocks.h"
#include "CodePage.h"
#include "OwnMessage.h"
#include "runtime/Exception.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <cerrno>

namespace OutlookPst {

namespace {
// Nodes every data file has.
constexpr quint32 kMessageStoreNid = 0x21;
constexpr quint32 kNameMapNid = 0x61;
constexpr quint32 kRootFolderNid = 0x122;
} // namespace

PffItem::PffItem(std::shared_ptr<Store> store, libpff_item_t* item)
    : FStore(std::move(store)), FItem(item)
{
    FStore->FItems.push_back(this);
    FRegistration = std::prev(FStore->FItems.end());
}

PffItem::~PffItem()
{
    Release();
    FStore->FItems.erase(FRegistration);
}

void PffItem::Release()
{
    for (libpff_record_set_t*& set : FRecordSets)
        if (set)
            libpff_record_set_free(&set, nullptr);
    FRecordSets.clear();
    if (FItem)
        libpff_item_free(&FItem, nullptr);
    FItem = nullptr;
}

libpff_item_t* PffItem::Get() const
{
    if (!FItem) {
        FStore->RequireOpen();
        throw EOleException(
            QStringLiteral("データファイル %1 は閉じられています。").arg(FStore->Path()));
    }
    return FItem;
}

int PffItem::RecordSetCount()
{
    if (FRecordSetCount < 0) {
        int count = 0;
        Call(QStringLiteral("レコードセットの数を読めません"),
             libpff_item_get_number_of_record_sets, Get(), &count);
        FRecordSetCount = count < 0 ? 0 : count;
    }
    return FRecordSetCount;
}

libpff_record_set_t* PffItem::RecordSet(int index)
{
    if (index < 0 || index >= RecordSetCount())
        throw EOleException(QStringLiteral("レコードセット %1 はありません。").arg(index));
    if (FRecordSets.size() < static_cast<std::size_t>(FRecordSetCount))
        FRecordSets.resize(static_cast<std::size_t>(FRecordSetCount), nullptr);
    libpff_record_set_t*& set = FRecordSets[static_cast<std::size_t>(index)];
    if (!set)
        Call(QStringLiteral("レコードセットを読めません"), libpff_item_get_record_set_by_index,
             Get(), index, &set);
    return set;
}

uint32_t PffItem::Identifier()
{
    uint32_t id = 0;
    Call(QStringLiteral("項目の識別子を読めません"), libpff_item_get_identifier, Get(), &id);
    return id;
}

std::optional<RawValue> RecordSetBag::Find(quint16 id)
{
    const QString what =
        QStringLiteral("プロパティ 0x%1 を読めません").arg(id, 4, 16, QLatin1Char('0'));
    libpff_record_set_t* set = FItem->RecordSet(FSet);
    EntryHolder entry;
    const int found = Call(what, libpff_record_set_get_entry_by_type, set,
                           static_cast<uint32_t>(id), static_cast<uint32_t>(0), entry.Out(),
                           static_cast<uint8_t>(LIBPFF_ENTRY_VALUE_FLAG_MATCH_ANY_VALUE_TYPE));
    if (found == 0 || !entry.Get())
        return std::nullopt;
    return ReadEntry(entry.Get(), what);
}

std::vector<PropEntry> RecordSetBag::All()
{
    const QString what = QStringLiteral("プロパティの一覧を読めません");
    libpff_record_set_t* set = FItem->RecordSet(FSet);
    int count = 0;
    Call(what, libpff_record_set_get_number_of_entries, set, &count);
    std::vector<PropEntry> entries;
    entries.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
    for (int i = 0; i < count; ++i) {
        EntryHolder entry;
        Call(what, libpff_record_set_get_entry_by_index, set, i, entry.Out());
        uint32_t type = 0;
        if (Call(what, libpff_record_entry_get_entry_type, entry.Get(), &type) != 1)
            continue;
        PropEntry e;
        e.Id = static_cast<quint16>(type & 0xFFFF);
        e.Value = ReadEntry(entry.Get(), what);
        libpff_name_to_id_map_entry_t* map = nullptr;
        if (e.Id >= 0x8000 &&
            Call(what, libpff_record_entry_get_name_to_id_map_entry, entry.Get(), &map) == 1 &&
            map) {
            NamedProp named;
            named.Guid.resize(16);
            Call(what, libpff_name_to_id_map_entry_get_guid, map,
                 reinterpret_cast<uint8_t*>(named.Guid.data()), static_cast<size_t>(16));
            uint8_t kind = 0;
            Call(what, libpff_name_to_id_map_entry_get_type, map, &kind);
            if (kind == LIBPFF_NAME_TO_ID_MAP_ENTRY_TYPE_STRING) {
                named.IsString = true;
                size_t size = 0;
                Call(what, libpff_name_to_id_map_entry_get_utf16_string_size, map, &size);
                if (size > 0 && size < 4096) {
                    std::vector<uint16_t> buffer(size, 0);
                    Call(what, libpff_name_to_id_map_entry_get_utf16_string, map, buffer.data(),
                         size);
                    named.Name = QString(reinterpret_cast<const QChar*>(buffer.data()),
                                         static_cast<qsizetype>(size - 1));
                }
            } else {
                uint32_t number = 0;
                Call(what, libpff_name_to_id_map_entry_get_number, map, &number);
                named.Id = number;
            }
            e.Named = named;
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

QString DataFileOpenProblem(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("ファイルがありません。");
    if (info.isDir())
        return QStringLiteral("ファイルではなくフォルダーです。");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("ファイルを読めません (%1)。")
            .arg(SysErrorMessage(errno != 0 ? errno : EACCES));
    const QByteArray head = file.read(4);
    if (head.isEmpty())
        return QStringLiteral("空のファイルです。");
    // Every Outlook data file, .pst or .ost, begins with "!BDN".
    if (head != QByteArrayLiteral("!BDN"))
        return QStringLiteral("Outlook のデータファイル (.pst, .ost) ではありません。");
    return QString();
}

std::shared_ptr<Store> Store::Open(const QString& path, bool ownReader)
{
    std::shared_ptr<Store> store(new Store(path));
    store->FDisplayName = QFileInfo(path).fileName();
    store->FCodePage = DefaultAnsiCodePage();
    if (const QString problem = DataFileOpenProblem(path); !problem.isEmpty()) {
        store->FOpenError = QStringLiteral("データファイル %1 を開けません: ").arg(path) + problem;
        return store;
    }
    // The own reader serves a file whose message store and root folder it can
    // read; libpff stays closed until something falls back to it.
    if (ownReader) {
        store->FBlocks = BlockFile::Open(path);
        store->FBlocksOpened = true;
    }
    if (store->FBlocks && store->FBlocks->FindNode(kRootFolderNid)) {
        std::weak_ptr<Store> weak = store;
        std::shared_ptr<OwnBag> bag =
            OwnBag::ForNode(store, kMessageStoreNid, [weak]() -> PropertyBagPtr {
                std::shared_ptr<Store> self = weak.lock();
                libpff_item_t* raw = nullptr;
                if (!self ||
                    Call(QStringLiteral("メッセージストアを読めません"), libpff_file_get_message_store,
                         self->Pff(), &raw) != 1 ||
                    !raw)
                    throw EOleException(QStringLiteral("メッセージストアを読めません。"));
                return std::make_shared<RecordSetBag>(self->Wrap(raw), 0);
            });
        if (bag) {
            store->FOwnOpen = true;
            try {
                store->ReadMessageStore(*bag);
            } catch (const Exception&) {
                // As below: the file name stands in for the name.
            }
            return store;
        }
    }
    if (!store->OpenPff())
        return store;
    try {
        libpff_item_t* raw = nullptr;
        if (Call(QStringLiteral("メッセージストアを読めません"), libpff_file_get_message_store,
                 store->FFile, &raw) == 1 &&
            raw) {
            RecordSetBag bag(store->Wrap(raw), 0);
            store->ReadMessageStore(bag);
        }
    } catch (const Exception&) {
        // The folders may still be readable; the file name stands in for the name.
    }
    return store;
}

bool Store::OpenPff()
{
    const QString what = QStringLiteral("データファイル %1 を開けません: ").arg(FPath);
    libpff_file_t* file = nullptr;
    try {
        Call(QStringLiteral("libpff を準備できません"), libpff_file_initialize, &file);
        const QByteArray name = QFile::encodeName(FPath);
        PffError error;
        if (libpff_file_open(file, name.constData(), libpff_get_access_flags_read(), error.Out()) !=
            1)
            throw EOleException(
                what + QStringLiteral("データファイルが壊れているか、対応していない形式です。(%1)")
                           .arg(error.Text()));
        FFile = file;
    } catch (const Exception& e) {
        if (file)
            libpff_file_free(&file, nullptr);
        FOpenError = e.Message();
        return false;
    }
    return true;
}

libpff_file_t* Store::Pff()
{
    RequireOpen();
    if (!FFile && !OpenPff())
        throw EOleException(FOpenError);
    return FFile;
}

Store::~Store()
{
    Close();
}

void Store::RequireOpen() const
{
    if (FFile || FOwnOpen)
        return;
    if (!FOpenError.isEmpty() && !FClosed)
        throw EOleException(FOpenError);
    throw EOleException(QStringLiteral("データファイル %1 は閉じられています。").arg(FPath));
}

void Store::ReadMessageStore(PropertyBag& bag)
{
    if (std::optional<qint32> cp = FindInt(bag, Prop::MessageCodePage); cp && IsKnownCodePage(*cp))
        FCodePage = *cp;
    const QString name = TextOr(bag, Prop::DisplayName, FCodePage).trimmed();
    if (!name.isEmpty())
        FDisplayName = name;
    if (std::optional<RawValue> key = bag.Find(Prop::RecordKey); key && key->Data.size() == 16)
        FEntryIdPrefix = QByteArray(4, '\0') + key->Data;
    // An entry identifier is four flag bytes, the store's 16-byte record key and
    // the node identifier.
    if (std::optional<RawValue> subtree = bag.Find(Prop::IpmSubtreeEntryId);
        subtree && subtree->Data.size() >= 24) {
        FIpmSubtreeId = qFromLittleEndian<quint32>(
            reinterpret_cast<const uchar*>(subtree->Data.constData()) + subtree->Data.size() - 4);
        FHasIpmSubtreeId = true;
    }
}

FolderRef Store::TopFolder()
{
    RequireOpen();
    if (FOwnOpen) {
        if (FHasIpmSubtreeId &&
            (FIpmSubtreeId == kRootFolderNid || FBlocks->FindNode(FIpmSubtreeId)))
            return FolderRef{FIpmSubtreeId, nullptr};
        if (std::optional<quint32> found = OwnTopFolderByName())
            return FolderRef{*found, nullptr};
    }
    libpff_item_t* raw = nullptr;
    if (Call(QStringLiteral("ルートフォルダーを読めません"), libpff_file_get_root_folder, Pff(),
             &raw) != 1 ||
        !raw)
        throw EOleException(
            QStringLiteral("データファイル %1 にルートフォルダーがありません。").arg(FPath));
    PffItemPtr root = Wrap(raw);
    if (FHasIpmSubtreeId) {
        // Outlook's own files name a child of the root (a grandchild, below
        // "Root - Mailbox", in an offline cache); files written by other tools may
        // name the root itself.
        if (root->Identifier() == FIpmSubtreeId)
            return FolderRef{FIpmSubtreeId, root};
        if (PffItemPtr subtree = ItemById(FIpmSubtreeId))
            return FolderRef{FIpmSubtreeId, subtree};
    }
    // A store without the entry (or with one that leads nowhere, in a damaged
    // file): the subtree is known by its name.
    PffItemPtr found = FindTopFolderByName(root);
    PffItemPtr top = found ? found : root;
    return FolderRef{top->Identifier(), top};
}

PffItemPtr Store::ItemById(quint32 id)
{
    libpff_file_t* file = Pff();
    libpff_item_t* raw = nullptr;
    PffError error;
    if (libpff_file_get_item_by_identifier(file, id, &raw, error.Out()) != 1 || !raw)
        return nullptr;
    return Wrap(raw);
}

QString Store::EntryIdOf(quint32 nid) const
{
    // Four flag bytes and the store's record key (zeros when it has none),
    // then the node identifier.
    QByteArray id = FEntryIdPrefix.isEmpty() ? QByteArray(20, '\0') : FEntryIdPrefix;
    uchar bytes[4];
    qToLittleEndian<quint32>(nid, bytes);
    id.append(reinterpret_cast<const char*>(bytes), 4);
    return QString::fromLatin1(id.toHex().toUpper());
}

std::optional<NamedProp> Store::NamedProperty(quint16 id, bool& readable)
{
    if (!FNamesRead) {
        FNamesRead = true;
        try {
            ReadNames();
            FNamesReadable = true;
        } catch (const Exception&) {
            FNames.clear();
        }
    }
    readable = FNamesReadable;
    const auto found = FNames.find(id);
    if (found == FNames.end())
        return std::nullopt;
    return found->second;
}

void Store::ReadNames()
{
    std::shared_ptr<OwnBag> bag = OwnBag::ForNode(shared_from_this(), kNameMapNid, []() -> PropertyBagPtr {
        throw EOleException(QStringLiteral("名前付きプロパティの一覧を読めません。"));
    });
    if (!bag)
        throw EOleException(QStringLiteral("名前付きプロパティの一覧を読めません。"));
    const QByteArray guids = bag->Find(0x0002).value_or(RawValue{}).Data;
    const QByteArray entries = bag->Find(0x0003).value_or(RawValue{}).Data;
    const QByteArray strings = bag->Find(0x0004).value_or(RawValue{}).Data;
    // The two property sets every file knows are numbered 1 and 2; the stream
    // of GUIDs holds the others from 3 on.
    static const QByteArray psMapi = QByteArray::fromHex("2803020000000000C000000000000046");
    static const QByteArray psPublicStrings = QByteArray::fromHex("2903020000000000C000000000000046");
    for (qsizetype at = 0; at + 8 <= entries.size(); at += 8) {
        const auto* e = reinterpret_cast<const uchar*>(entries.constData() + at);
        const quint32 key = qFromLittleEndian<quint32>(e);
        const quint16 guidField = qFromLittleEndian<quint16>(e + 4);
        const quint16 index = qFromLittleEndian<quint16>(e + 6);
        NamedProp named;
        const int guidIndex = guidField >> 1;
        if (guidIndex == 1)
            named.Guid = psMapi;
        else if (guidIndex == 2)
            named.Guid = psPublicStrings;
        else if (guidIndex >= 3 && (guidIndex - 3) * 16 + 16 <= guids.size())
            named.Guid = guids.mid((guidIndex - 3) * 16, 16);
        else
            named.Guid = QByteArray(16, '\0');
        if (guidField & 1) {
            named.IsString = true;
            if (quint64(key) + 4 > quint64(strings.size()))
                throw EOleException(QStringLiteral("名前付きプロパティの名前が壊れています。"));
            const QByteArrayView stream(strings);
            const quint32 length = qFromLittleEndian<quint32>(stream.sliced(key, 4).data());
            if (quint64(key) + 4 + length > quint64(strings.size()))
                throw EOleException(QStringLiteral("名前付きプロパティの名前が壊れています。"));
            const QByteArrayView text = stream.sliced(key + 4, length);
            QString name(static_cast<qsizetype>(length / 2), Qt::Uninitialized);
            for (qsizetype i = 0; i < name.size(); ++i)
                name[i] = QChar(qFromLittleEndian<quint16>(text.data() + 2 * i));
            named.Name = name;
        } else {
            named.Id = key;
        }
        FNames.emplace(static_cast<quint16>(0x8000 + index), std::move(named));
    }
}

std::optional<quint32> Store::OwnTopFolderByName()
{
    // The sub-folders of a folder from its hierarchy table; null when unreadable.
    auto children = [this](quint32 folder) { return FolderTableRows(*FBlocks, folder, 0x0D); };
    auto nameOf = [this](quint32 folder) -> std::optional<QString> {
        std::shared_ptr<OwnBag> bag = OwnBag::ForNode(shared_from_this(), folder, []() -> PropertyBagPtr {
            throw EOleException(QStringLiteral("フォルダーの名前を読めません。"));
        });
        if (!bag)
            return std::nullopt;
        try {
            return TextOr(*bag, Prop::DisplayName, FCodePage);
        } catch (const Exception&) {
            return std::nullopt;
        }
    };
    auto isSubtree = [](const QString& name) {
        return name.startsWith(QLatin1String("Top of ")) || name == QLatin1String("IPM_SUBTREE");
    };
    // The root, and below it "Root - Mailbox" in an offline cache; anything
    // unreadable on the way is left to libpff's search.
    const std::optional<std::vector<quint32>> level1 = children(kRootFolderNid);
    if (!level1)
        return std::nullopt;
    std::vector<std::pair<quint32, QString>> named;
    for (quint32 folder : *level1) {
        const std::optional<QString> name = nameOf(folder);
        if (!name)
            return std::nullopt;
        if (isSubtree(*name))
            return folder;
        named.emplace_back(folder, *name);
    }
    for (const auto& [folder, name] : named) {
        if (name != QLatin1String("Root - Mailbox"))
            continue;
        const std::optional<std::vector<quint32>> level2 = children(folder);
        if (!level2)
            return std::nullopt;
        for (quint32 sub : *level2) {
            const std::optional<QString> subName = nameOf(sub);
            if (!subName)
                return std::nullopt;
            if (isSubtree(*subName))
                return sub;
        }
    }
    return kRootFolderNid;
}

PffItemPtr Store::FindTopFolderByName(const PffItemPtr& root)
{
    auto children = [this](const PffItemPtr& folder) {
        std::vector<PffItemPtr> out;
        try {
            int count = 0;
            Call(QStringLiteral("フォルダーの数を読めません"),
                 libpff_folder_get_number_of_sub_folders, folder->Get(), &count);
            for (int i = 0; i < count; ++i) {
                libpff_item_t* sub = nullptr;
                Call(QStringLiteral("フォルダーを読めません"), libpff_folder_get_sub_folder,
                     folder->Get(), i, &sub);
                out.push_back(Wrap(sub));
            }
        } catch (const Exception&) {
            // What could be listed is searched.
        }
        return out;
    };
    auto nameOf = [this](const PffItemPtr& folder) {
        try {
            RecordSetBag bag(folder, 0);
            return TextOr(bag, Prop::DisplayName, FCodePage);
        } catch (const Exception&) {
            return QString();
        }
    };
    auto isSubtree = [](const QString& name) {
        return name.startsWith(QLatin1String("Top of ")) || name == QLatin1String("IPM_SUBTREE");
    };
    const std::vector<PffItemPtr> level1 = children(root);
    for (const PffItemPtr& folder : level1)
        if (isSubtree(nameOf(folder)))
            return folder;
    for (const PffItemPtr& folder : level1)
        if (nameOf(folder) == QLatin1String("Root - Mailbox"))
            for (const PffItemPtr& sub : children(folder))
                if (isSubtree(nameOf(sub)))
                    return sub;
    return nullptr;
}

PffItemPtr Store::Wrap(libpff_item_t* item)
{
    if (!item)
        throw EOleException(QStringLiteral("libpff が項目を返しませんでした。"));
    return std::make_shared<PffItem>(shared_from_this(), item);
}

std::shared_ptr<BlockFile> Store::Blocks()
{
    if (!FBlocksOpened && IsOpen() && !FClosed) {
        FBlocksOpened = true;
        FBlocks = BlockFile::Open(FPath);
    }
    return FBlocks;
}

void Store::Close()
{
    FBlocks.reset();
    if (FOwnOpen || FFile)
        FClosed = true;
    FOwnOpen = false;
    for (auto it = FItems.rbegin(); it != FItems.rend(); ++it)
        (*it)->Release();
    if (FFile) {
        libpff_file_close(FFile, nullptr);
        libpff_file_free(&FFile, nullptr);
        FFile = nullptr;
    }
}

} // namespace OutlookPst
