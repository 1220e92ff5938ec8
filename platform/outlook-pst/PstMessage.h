// A message of a data file as a MessageSource: its properties, recipient table
// and attachments, each opened when first asked for.
#pragma once

#include "Store.h"

namespace OutlookPst {

class PstMessage : public MessageSource {
public:
    explicit PstMessage(PffItemPtr item) : FItem(item), FBag(std::move(item), 0) {}

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
};

class PstAttachment : public AttachmentSource {
public:
    explicit PstAttachment(PffItemPtr item) : FItem(item), FBag(std::move(item), 0) {}

    std::optional<RawValue> Find(quint16 id) override { return FBag.Find(id); }
    std::vector<PropEntry> All() override { return FBag.All(); }
    AttachKind Kind() override;
    void ReadData(const std::function<void(const char*, qsizetype)>& sink) override;
    std::shared_ptr<MessageSource> Embedded() override;
    DataReader OpenData() override;

private:
    PffItemPtr FItem;
    RecordSetBag FBag;
};

} // namespace OutlookPst
