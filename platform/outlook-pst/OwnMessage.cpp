#include "OwnMessage.h"

#include "Pff.h"
#include "PstMessage.h"
#include "Store.h"
#include "runtime/Exception.h"

#include <QtEndian>
#include <algorithm>

namespace OutlookPst {

namespace {

constexpr quint32 kRecipientTable = 0x692;
constexpr quint32 kAttachmentTable = 0x671;

using SubNodeMap = std::map<quint32, BlockFile::Node>;

// The node's data blocks as a heap; null when they cannot be read.
std::optional<Ltp::Heap> ReadHeap(BlockFile& blocks, quint64 data)
{
    std::optional<std::vector<QByteArray>> pages = blocks.NodeData(data, kMaxValueSize);
    if (!pages)
        return std::nullopt;
    return Ltp::Heap::Read(std::move(*pages));
}

// An object's node: its property context and its sub-nodes.
struct NodeContext {
    std::vector<Ltp::StoredProp> Props;
    std::shared_ptr<const SubNodeMap> SubNodes;
};

// The property context and sub-nodes of a node; null when either cannot be read.
std::optional<NodeContext> ReadNodeContext(BlockFile& blocks, const BlockFile::Node& node)
{
    std::optional<Ltp::Heap> heap = ReadHeap(blocks, node.Data);
    if (!heap)
        return std::nullopt;
    std::optional<std::vector<Ltp::StoredProp>> props = Ltp::ReadPropertyContext(*heap);
    std::optional<SubNodeMap> subs = blocks.SubNodes(node.Sub);
    if (!props || !subs)
        return std::nullopt;
    return NodeContext{std::move(*props), std::make_shared<const SubNodeMap>(std::move(*subs))};
}

// A table in a sub-node of an object; null when it cannot be read.
std::optional<Ltp::Table> ReadSubTable(BlockFile& blocks, const SubNodeMap& subNodes, quint32 nid)
{
    const auto node = subNodes.find(nid);
    if (node == subNodes.end())
        return std::nullopt;
    return ReadNodeTable(blocks, node->second);
}

} // namespace

std::optional<Ltp::Table> ReadNodeTable(BlockFile& blocks, const BlockFile::Node& node)
{
    std::optional<Ltp::Heap> heap = ReadHeap(blocks, node.Data);
    if (!heap)
        return std::nullopt;
    // The rows of a large table are kept in a sub-node of the table's node.
    std::optional<SubNodeMap> tableSubs = blocks.SubNodes(node.Sub);
    if (!tableSubs)
        return std::nullopt;
    return Ltp::Table::Read(*heap, [&](quint32 rows) -> std::optional<std::vector<QByteArray>> {
        const auto at = tableSubs->find(rows);
        if (at == tableSubs->end())
            return std::nullopt;
        return blocks.NodeData(at->second.Data, kMaxValueSize);
    });
}

std::optional<std::vector<quint32>> FolderTableRows(BlockFile& blocks, quint32 folder,
                                                    quint32 tableType)
{
    // The tables of a folder are nodes of their own kind beside the folder's.
    const std::optional<BlockFile::Node> node = blocks.FindNode((folder & ~0x1Fu) | tableType);
    if (!node)
        return std::nullopt;
    const std::optional<Ltp::Table> table = ReadNodeTable(blocks, *node);
    if (!table)
        return std::nullopt;
    std::vector<quint32> rows;
    rows.reserve(static_cast<std::size_t>(table->RowCount()));
    for (int i = 0; i < table->RowCount(); ++i)
        rows.push_back(table->RowId(i));
    return rows;
}

namespace {

// Joins data blocks into one value.
QByteArray Joined(const std::vector<QByteArray>& blocks)
{
    if (blocks.size() == 1)
        return blocks.front();
    QByteArray value;
    qsizetype size = 0;
    for (const QByteArray& block : blocks)
        size += block.size();
    value.reserve(size);
    for (const QByteArray& block : blocks)
        value.append(block);
    return value;
}

} // namespace

OwnBag::OwnBag(StorePtr store, std::vector<Ltp::StoredProp> props,
               std::shared_ptr<const SubNodeMap> subNodes, Fallback fallback)
    : FStore(std::move(store)), FProps(std::move(props)), FSubNodes(std::move(subNodes)),
      FFallback(std::move(fallback))
{
}

std::shared_ptr<OwnBag> OwnBag::ForNode(const StorePtr& store, quint32 nid, Fallback fallback)
{
    std::shared_ptr<BlockFile> blocks = store->Blocks();
    if (!blocks)
        return nullptr;
    const std::optional<BlockFile::Node> node = blocks->FindNode(nid);
    std::optional<NodeContext> context = node ? ReadNodeContext(*blocks, *node) : std::nullopt;
    if (!context)
        return nullptr;
    return std::make_shared<OwnBag>(store, std::move(context->Props), std::move(context->SubNodes),
                                    std::move(fallback));
}

const Ltp::StoredProp* OwnBag::Stored(quint16 id) const
{
    for (const Ltp::StoredProp& prop : FProps)
        if (prop.Id == id)
            return &prop;
    return nullptr;
}

std::optional<RawValue> OwnBag::Value(const Ltp::StoredProp& prop)
{
    FStore->RequireOpen();
    // An object's value is its sub-node and size, as a heap item.
    if (prop.Type == PropType::Object && prop.SubNode != 0)
        return std::nullopt;
    if (prop.SubNode == 0)
        return RawValue{prop.Type, prop.Data};
    const auto node = FSubNodes->find(prop.SubNode);
    if (node == FSubNodes->end())
        return std::nullopt;
    std::optional<std::vector<QByteArray>> blocks =
        FStore->Blocks()->NodeData(node->second.Data, kMaxValueSize);
    if (!blocks)
        return std::nullopt;
    return RawValue{prop.Type, Joined(*blocks)};
}

std::optional<RawValue> OwnBag::Find(quint16 id)
{
    const Ltp::StoredProp* prop = Stored(id);
    if (!prop)
        return std::nullopt;
    if (std::optional<RawValue> value = Value(*prop))
        return value;
    return FFallback()->Find(id);
}

std::vector<PropEntry> OwnBag::All()
{
    std::vector<PropEntry> entries;
    entries.reserve(FProps.size());
    for (const Ltp::StoredProp& prop : FProps) {
        std::optional<RawValue> value = Value(prop);
        if (!value)
            return FFallback()->All();
        PropEntry entry{prop.Id, std::move(*value), std::nullopt};
        if (prop.Id >= 0x8000) {
            bool readable = true;
            entry.Named = FStore->NamedProperty(prop.Id, readable);
            if (!readable)
                return FFallback()->All();
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::shared_ptr<OwnMessage> OwnMessage::Open(const StorePtr& store, quint32 nid)
{
    std::shared_ptr<BlockFile> blocks = store->Blocks();
    if (!blocks)
        return nullptr;
    const std::optional<BlockFile::Node> node = blocks->FindNode(nid);
    if (!node)
        return nullptr;
    std::weak_ptr<Store> weak = store;
    return Open(store, *node, nid, [weak, nid]() -> std::shared_ptr<MessageSource> {
        StorePtr store = weak.lock();
        PffItemPtr item = store ? store->ItemById(nid) : nullptr;
        if (!item)
            throw EOleException(QStringLiteral("アイテム %1 を読めません。").arg(nid));
        return std::make_shared<PstMessage>(item, true);
    });
}

std::shared_ptr<OwnMessage> OwnMessage::Open(const StorePtr& store, const BlockFile::Node& node,
                                             quint32 nid, Fallback fallback)
{
    std::shared_ptr<BlockFile> blocks = store->Blocks();
    std::optional<NodeContext> context = ReadNodeContext(*blocks, node);
    if (!context)
        return nullptr;
    std::shared_ptr<OwnMessage> message(new OwnMessage());
    message->FStore = store;
    message->FNid = nid;
    message->FFallbackOpen = std::move(fallback);
    message->FSubNodes = std::move(context->SubNodes);
    std::weak_ptr<OwnMessage> weak = message;
    auto fallbackBag = [weak]() -> PropertyBagPtr {
        std::shared_ptr<OwnMessage> self = weak.lock();
        if (!self)
            throw EOleException(QStringLiteral("メッセージは閉じられています。"));
        return self->FallbackMessage();
    };
    message->FBag =
        std::make_shared<OwnBag>(store, std::move(context->Props), message->FSubNodes, fallbackBag);

    // The recipient table: each row is one recipient's properties.
    if (message->FSubNodes->contains(kRecipientTable)) {
        std::optional<Ltp::Table> table =
            ReadSubTable(*blocks, *message->FSubNodes, kRecipientTable);
        if (!table)
            return nullptr;
        for (int row = 0; row < table->RowCount(); ++row) {
            std::optional<std::vector<Ltp::StoredProp>> cells = table->Row(row);
            if (!cells)
                return nullptr;
            // A recipient with a value too large for the table's heap is left,
            // with its whole message, to libpff.
            for (const Ltp::StoredProp& cell : *cells)
                if (cell.SubNode != 0 || cell.Type == PropType::Object)
                    return nullptr;
            message->FRecipients.push_back(std::make_shared<OwnBag>(
                store, std::move(*cells), message->FSubNodes, [weak, row]() -> PropertyBagPtr {
                    std::shared_ptr<OwnMessage> self = weak.lock();
                    if (!self)
                        throw EOleException(QStringLiteral("メッセージは閉じられています。"));
                    return self->FallbackMessage()->Recipient(row);
                }));
        }
        message->FHasRecipients = true;
    }
    if (message->FSubNodes->contains(kAttachmentTable)) {
        std::optional<Ltp::Table> table =
            ReadSubTable(*blocks, *message->FSubNodes, kAttachmentTable);
        if (!table)
            return nullptr;
        for (int row = 0; row < table->RowCount(); ++row) {
            const quint32 id = table->RowId(row);
            if (!message->FSubNodes->contains(id))
                return nullptr;
            message->FAttachments.push_back(id);
        }
    }
    return message;
}

std::shared_ptr<MessageSource> OwnMessage::FallbackMessage()
{
    if (!FFallback)
        FFallback = FFallbackOpen();
    return FFallback;
}

int OwnMessage::CodePage()
{
    if (FCodePage == 0)
        FCodePage = MessageCodePage(*FBag, FStore->CodePage());
    return FCodePage;
}

PropertyBagPtr OwnMessage::Recipient(int index)
{
    if (index < 0 || index >= RecipientCount())
        throw EOleException(QStringLiteral("受信者 %1 はありません。").arg(index + 1));
    return FRecipients[static_cast<std::size_t>(index)];
}

AttachmentSourcePtr OwnMessage::Attachment(int index)
{
    if (index < 0 || index >= AttachmentCount())
        throw EOleException(QStringLiteral("添付ファイル %1 はありません。").arg(index + 1));
    FStore->RequireOpen();
    std::weak_ptr<OwnMessage> weak = weak_from_this();
    auto fallback = [weak, index]() -> AttachmentSourcePtr {
        std::shared_ptr<OwnMessage> self = weak.lock();
        if (!self)
            throw EOleException(QStringLiteral("メッセージは閉じられています。"));
        return self->FallbackMessage()->Attachment(index);
    };
    const BlockFile::Node& node = FSubNodes->at(FAttachments[static_cast<std::size_t>(index)]);
    if (std::shared_ptr<OwnAttachment> own = OwnAttachment::Open(FStore, node, fallback))
        return own;
    return fallback();
}

QString OwnMessage::EntryId()
{
    return FStore->EntryIdOf(FNid);
}

std::shared_ptr<OwnAttachment> OwnAttachment::Open(const StorePtr& store,
                                                   const BlockFile::Node& node, Fallback fallback)
{
    std::optional<NodeContext> context = ReadNodeContext(*store->Blocks(), node);
    if (!context)
        return nullptr;
    std::shared_ptr<OwnAttachment> attachment(new OwnAttachment());
    attachment->FStore = store;
    attachment->FSubNodes = std::move(context->SubNodes);
    attachment->FFallback = fallback;
    attachment->FBag =
        std::make_shared<OwnBag>(store, std::move(context->Props), attachment->FSubNodes,
                                 [fallback]() -> PropertyBagPtr { return fallback(); });
    // Attachments of data, references and embedded messages are read here. An
    // object is only taken as the embedded message its method names.
    const std::optional<qint32> method = FindInt(*attachment->FBag, Prop::AttachMethod);
    if (method && *method != 0 && *method != 1 && *method != 2 && *method != 3 && *method != 4 &&
        *method != 5 && *method != 7)
        return nullptr;
    for (const Ltp::StoredProp& prop : attachment->FBag->Props())
        if (prop.Type == PropType::Object &&
            (prop.Id != Prop::AttachDataBin || !method || *method != 5 || prop.SubNode != 0 ||
             prop.Data.size() != 8))
            return nullptr;
    if (method && *method == 5) {
        const Ltp::StoredProp* object = attachment->FBag->Stored(Prop::AttachDataBin);
        if (!object || object->Type != PropType::Object)
            return nullptr;
    }
    return attachment;
}

AttachKind OwnAttachment::Kind()
{
    const std::optional<qint32> method = FindInt(*FBag, Prop::AttachMethod);
    if (method && (*method == 2 || *method == 3 || *method == 4 || *method == 7))
        return AttachKind::Reference;
    if (method && *method == 5)
        return AttachKind::Embedded;
    return AttachKind::Data;
}

std::shared_ptr<MessageSource> OwnAttachment::Embedded()
{
    FStore->RequireOpen();
    const Ltp::StoredProp* object = FBag->Stored(Prop::AttachDataBin);
    if (object && object->Type == PropType::Object && object->Data.size() == 8) {
        const quint32 nid = qFromLittleEndian<quint32>(object->Data.constData());
        const auto node = FSubNodes->find(nid);
        Fallback fallback = FFallback;
        if (node != FSubNodes->end())
            if (std::shared_ptr<OwnMessage> message = OwnMessage::Open(
                    FStore, node->second, nid, [fallback]() -> std::shared_ptr<MessageSource> {
                        return fallback()->Embedded();
                    }))
                return message;
    }
    return FFallback()->Embedded();
}

AttachmentSource::DataReader OwnAttachment::OpenData()
{
    const Ltp::StoredProp* data = FBag->Stored(Prop::AttachDataBin);
    StorePtr store = FStore;
    if (data && data->Type == PropType::Binary && data->SubNode != 0) {
        const auto node = FSubNodes->find(data->SubNode);
        std::shared_ptr<BlockFile> blocks = FStore->Blocks();
        std::optional<BlockFile::Stream> stream;
        if (node != FSubNodes->end())
            stream = blocks->OpenStream(node->second.Data);
        if (!stream)
            return FFallback()->OpenData();
        auto shared = std::make_shared<BlockFile::Stream>(std::move(*stream));
        return [shared, blocks, store](char* buffer, qsizetype size) -> qsizetype {
            store->RequireOpen();
            return shared->Read(buffer, size);
        };
    }
    QByteArray value;
    if (data) {
        if (std::optional<RawValue> raw = FBag->Find(Prop::AttachDataBin))
            value = raw->Data;
    }
    return MemoryReader(value, [store] { store->RequireOpen(); });
}

void OwnAttachment::ReadData(const std::function<void(const char*, qsizetype)>& sink)
{
    DataReader read = OpenData();
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const qsizetype got = read(buffer.data(), static_cast<qsizetype>(buffer.size()));
        if (got <= 0)
            break;
        sink(buffer.data(), got);
    }
}

} // namespace OutlookPst
