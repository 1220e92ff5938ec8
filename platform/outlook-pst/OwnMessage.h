// Folders' properties, messages, recipients and attachments read by the
// store's own reader (Blocks, Ltp) instead of libpff.
//
// libpff builds a tree of every item when it opens a file, by a search that
// grows with the square of the item count, and keeps its index of blocks in
// memory; the own reader looks each node up when it is needed and keeps
// nothing per mail. It gives the same values libpff gives. Whatever it does
// not read (a damaged part, an embedded message, an object value) it hands to
// libpff, which the store then opens.
#pragma once

#include "Blocks.h"
#include "Ltp.h"
#include "Props.h"

#include <functional>
#include <map>
#include <memory>

namespace OutlookPst {

class Store;
using StorePtr = std::shared_ptr<Store>;

// The table context of a node; null when it cannot be read.
std::optional<Ltp::Table> ReadNodeTable(BlockFile& blocks, const BlockFile::Node& node);
// The node identifiers in the rows of a folder's hierarchy (0x0D) or contents
// (0x0E) table; null when the table cannot be read.
std::optional<std::vector<quint32>> FolderTableRows(BlockFile& blocks, quint32 folder, quint32 tableType);

// The properties of one object, as read by the own reader; values kept in
// sub-nodes are read when asked for. A value the reader cannot give comes
// from fallback (libpff's reading of the same object).
class OwnBag : public PropertyBag {
public:
    using Fallback = std::function<PropertyBagPtr()>;
    OwnBag(StorePtr store, std::vector<Ltp::StoredProp> props,
           std::shared_ptr<const std::map<quint32, BlockFile::Node>> subNodes, Fallback fallback);

    // The properties of the property context of node nid; null when the own
    // reader cannot read it.
    static std::shared_ptr<OwnBag> ForNode(const StorePtr& store, quint32 nid, Fallback fallback);

    std::optional<RawValue> Find(quint16 id) override;
    std::vector<PropEntry> All() override;
    // The stored property, or null.
    const Ltp::StoredProp* Stored(quint16 id) const;
    const std::vector<Ltp::StoredProp>& Props() const { return FProps; }

private:
    std::optional<RawValue> Value(const Ltp::StoredProp& prop);

    StorePtr FStore;
    std::vector<Ltp::StoredProp> FProps;
    std::shared_ptr<const std::map<quint32, BlockFile::Node>> FSubNodes;
    Fallback FFallback;
};

class OwnMessage : public MessageSource, public std::enable_shared_from_this<OwnMessage> {
public:
    // libpff's reading of the same message.
    using Fallback = std::function<std::shared_ptr<MessageSource>()>;

    // The message of node nid of a folder; null when the own reader cannot read
    // its properties, recipients or list of attachments.
    static std::shared_ptr<OwnMessage> Open(const StorePtr& store, quint32 nid);
    // A message embedded in an attachment: sub-node nid of the attachment.
    static std::shared_ptr<OwnMessage> Open(const StorePtr& store, const BlockFile::Node& node,
                                            quint32 nid, Fallback fallback);

    std::optional<RawValue> Find(quint16 id) override { return FBag->Find(id); }
    std::vector<PropEntry> All() override { return FBag->All(); }
    int CodePage() override;
    bool HasRecipientTable() override { return FHasRecipients; }
    int RecipientCount() override { return static_cast<int>(FRecipients.size()); }
    PropertyBagPtr Recipient(int index) override;
    int AttachmentCount() override { return static_cast<int>(FAttachments.size()); }
    AttachmentSourcePtr Attachment(int index) override;
    QString EntryId() override;

private:
    OwnMessage() = default;
    // libpff's reading of the same message, opened when first needed.
    std::shared_ptr<MessageSource> FallbackMessage();

    StorePtr FStore;
    quint32 FNid = 0;
    std::shared_ptr<OwnBag> FBag;
    std::shared_ptr<const std::map<quint32, BlockFile::Node>> FSubNodes;
    bool FHasRecipients = false;
    std::vector<PropertyBagPtr> FRecipients;
    std::vector<quint32> FAttachments; // the attachments' sub-nodes
    int FCodePage = 0;
    Fallback FFallbackOpen;
    std::shared_ptr<MessageSource> FFallback;
};

} // namespace OutlookPst

namespace OutlookPst {

class OwnAttachment : public AttachmentSource {
public:
    using Fallback = std::function<AttachmentSourcePtr()>;
    // The attachment in sub-node node of a message; null when the own reader
    // cannot read its properties, or when it holds an object other than an
    // embedded message (an OLE object), which libpff reads.
    static std::shared_ptr<OwnAttachment> Open(const StorePtr& store, const BlockFile::Node& node,
                                               Fallback fallback);

    std::optional<RawValue> Find(quint16 id) override { return FBag->Find(id); }
    std::vector<PropEntry> All() override { return FBag->All(); }
    AttachKind Kind() override;
    void ReadData(const std::function<void(const char*, qsizetype)>& sink) override;
    std::shared_ptr<MessageSource> Embedded() override;
    DataReader OpenData() override;

private:
    OwnAttachment() = default;

    StorePtr FStore;
    std::shared_ptr<OwnBag> FBag;
    std::shared_ptr<const std::map<quint32, BlockFile::Node>> FSubNodes;
    Fallback FFallback;
};

} // namespace OutlookPst
