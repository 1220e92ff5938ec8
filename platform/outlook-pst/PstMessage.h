// A message of a data file as a MessageSource: its properties, recipient table
// and attachments, each opened when first asked for.
#pragma once

#include "Blocks.h"
#include "Store.h"

namespace OutlookPst {

class PstMessage : public MessageSource {
public:
    // topLevel for a message of a folder (not one embedded in another): its
    // attachments' content may then be read by the store's own block reader.
    explicit PstMessage(PffItemPtr item, bool topLevel = false)
        : FItem(item), FBag(std::move(item), 0), FTopLevel(topLevel)
    {
    }

    std::optional<RawValue> Find(quint16 id) override { return FBag.Find(id); }
    std::vector<PropEntry> All() override { return FBag.All(); }
    int CodePage() override;
    bool HasRecipientTable() override;
    int RecipientCount() override;
    PropertyBagPtr Recipient(int index) override;
    int AttachmentCount() override;
    AttachmentSourcePtr Attachment(int index) override;
    QString EntryId() override;

private:
    void LoadRecipients();

    PffItemPtr FItem;
    RecordSetBag FBag;
    int FCodePage = 0;
    bool FRecipientsLoaded = false;
    PffItemPtr FRecipients;
    int FAttachmentCount = -1;
    bool FTopLevel = false;
};

class PstAttachment : public AttachmentSource {
public:
    // messageNid: the node identifier of the top-level message holding the
    // attachment, 0 for none.
    explicit PstAttachment(PffItemPtr item, quint32 messageNid = 0)
        : FItem(item), FBag(std::move(item), 0), FMessageNid(messageNid)
    {
    }

    std::optional<RawValue> Find(quint16 id) override;
    std::vector<PropEntry> All() override { return FBag.All(); }
    AttachKind Kind() override;
    void ReadData(const std::function<void(const char*, qsizetype)>& sink) override;
    std::shared_ptr<MessageSource> Embedded() override;
    DataReader OpenData() override;

private:
    // The block reader's view of the attachment, read when first needed; null
    // when it has none. libpff reads a large content whole at the first property
    // read of an attachment, which this spares a mail exported to .eml.
    BlockFile::Attachment* Own();

    PffItemPtr FItem;
    RecordSetBag FBag;
    quint32 FMessageNid = 0;
    bool FOwnRead = false;
    std::shared_ptr<BlockFile> FBlocks;
    std::shared_ptr<BlockFile::Attachment> FOwn;
};

} // namespace OutlookPst
