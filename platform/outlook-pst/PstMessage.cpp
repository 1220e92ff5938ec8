#include "PstMessage.h"

#include "Blocks.h"
#include "runtime/Exception.h"

#include <QtEndian>
#include <vector>

namespace OutlookPst {

int PstMessage::CodePage()
{
    if (FCodePage == 0)
        FCodePage = MessageCodePage(FBag, FItem->GetStore()->CodePage());
    return FCodePage;
}

void PstMessage::LoadRecipients()
{
    if (FRecipientsLoaded)
        return;
    libpff_item_t* raw = nullptr;
    if (Call(QStringLiteral("受信者の一覧を読めません"), libpff_message_get_recipients,
             FItem->Get(), &raw) == 1 &&
        raw)
        FRecipients = FItem->GetStore()->Wrap(raw);
    FRecipientsLoaded = true;
}

bool PstMessage::HasRecipientTable()
{
    LoadRecipients();
    return FRecipients != nullptr;
}

int PstMessage::RecipientCount()
{
    LoadRecipients();
    return FRecipients ? FRecipients->RecordSetCount() : 0;
}

PropertyBagPtr PstMessage::Recipient(int index)
{
    if (index < 0 || index >= RecipientCount())
        throw EOleException(QStringLiteral("受信者 %1 はありません。").arg(index + 1));
    return std::make_shared<RecordSetBag>(FRecipients, index);
}

int PstMessage::AttachmentCount()
{
    if (FAttachmentCount < 0) {
        int count = 0;
        Call(QStringLiteral("添付ファイルの数を読めません"),
             libpff_message_get_number_of_attachments, FItem->Get(), &count);
        FAttachmentCount = count < 0 ? 0 : count;
    }
    return FAttachmentCount;
}

AttachmentSourcePtr PstMessage::Attachment(int index)
{
    if (index < 0 || index >= AttachmentCount())
        throw EOleException(QStringLiteral("添付ファイル %1 はありません。").arg(index + 1));
    libpff_item_t* raw = nullptr;
    Call(QStringLiteral("添付ファイル %1 を読めません").arg(index + 1),
         libpff_message_get_attachment, FItem->Get(), index, &raw);
    return std::make_shared<PstAttachment>(FItem->GetStore()->Wrap(raw),
                                           FTopLevel ? FItem->Identifier() : 0);
}

QString PstMessage::EntryId()
{
    return FItem->GetStore()->EntryIdOf(FItem->Identifier());
}

BlockFile::Attachment* PstAttachment::Own()
{
    if (!FOwnRead && FMessageNid != 0) {
        FOwnRead = true;
        if ((FBlocks = FItem->GetStore()->Blocks()))
            if (std::optional<BlockFile::Attachment> own =
                    FBlocks->ReadAttachment(FMessageNid, FItem->Identifier()))
                FOwn = std::make_shared<BlockFile::Attachment>(std::move(*own));
    }
    return FOwn.get();
}

std::optional<RawValue> PstAttachment::Find(quint16 id)
{
    if (BlockFile::Attachment* own = Own(); own && !own->Unknown.contains(id)) {
        FItem->Get(); // raises once the store is closed
        const auto value = own->Values.find(id);
        if (value == own->Values.end())
            return std::nullopt;
        return RawValue{value->second.first, value->second.second};
    }
    return FBag.Find(id);
}

AttachKind PstAttachment::Kind()
{
    const std::optional<qint32> method = FindInt(*this, Prop::AttachMethod);
    // An ordinary attachment of data, as its method says, in a context the block
    // reader read: no need to ask libpff, which would read the whole content.
    if (method && *method == 1 && Own())
        return AttachKind::Data;
    // By reference (2), by reference resolve (3), by reference only (4) and
    // by web reference (7) name a file elsewhere.
    if (method && (*method == 2 || *method == 3 || *method == 4 || *method == 7))
        return AttachKind::Reference;
    int type = 0;
    PffError error;
    if (libpff_attachment_get_type(FItem->Get(), &type, error.Out()) != 1) {
        // Files written by other tools may leave out the method. An attachment
        // with no method (or an ordinary one) is taken as data, as Outlook does.
        if (!method || *method == 1 || *method == 0)
            return AttachKind::Data;
        Check(-1, error, QStringLiteral("添付ファイルの種類を読めません"));
    }
    switch (type) {
    case LIBPFF_ATTACHMENT_TYPE_ITEM:
        return AttachKind::Embedded;
    case LIBPFF_ATTACHMENT_TYPE_REFERENCE:
        return AttachKind::Reference;
    default:
        return AttachKind::Data;
    }
}

void PstAttachment::ReadData(const std::function<void(const char*, qsizetype)>& sink)
{
    const QString what = QStringLiteral("添付ファイルのデータを読めません");
    size64_t size = 0;
    if (Call(what, libpff_attachment_get_data_size, FItem->Get(), &size) != 1 || size == 0)
        return;
    PffError seekError;
    if (libpff_attachment_data_seek_offset(FItem->Get(), 0, SEEK_SET, seekError.Out()) < 0)
        Check(-1, seekError, what);
    std::vector<uint8_t> buffer(64 * 1024);
    size64_t done = 0;
    while (done < size) {
        const size_t want = static_cast<size_t>(std::min<size64_t>(buffer.size(), size - done));
        PffError error;
        const ssize_t got =
            libpff_attachment_data_read_buffer(FItem->Get(), buffer.data(), want, error.Out());
        if (got < 0)
            Check(-1, error, what);
        if (got == 0)
            throw EOleException(
                QStringLiteral("%1: データが途中で終わっています (%2 / %3 バイト)。")
                    .arg(what)
                    .arg(done)
                    .arg(size));
        sink(reinterpret_cast<const char*>(buffer.data()), static_cast<qsizetype>(got));
        done += static_cast<size64_t>(got);
    }
}

AttachmentSource::DataReader PstAttachment::OpenData()
{
    if (BlockFile::Attachment* own = Own()) {
        PffItemPtr item = FItem;
        if (own->HasData) {
            auto stream = std::make_shared<BlockFile::Stream>(own->Data);
            return [stream, blocks = FBlocks, item](char* buffer, qsizetype size) -> qsizetype {
                item->Get(); // raises once the store is closed
                return stream->Read(buffer, size);
            };
        }
        const auto value = own->Values.find(Prop::AttachDataBin);
        if (value != own->Values.end() && value->second.first == PropType::Binary) {
            return MemoryReader(value->second.second, [item] { item->Get(); });
        }
    }
    // libpff's own reader; libpff reads the whole value into memory on first use.
    struct State {
        PffItemPtr item;
        size64_t size = 0;
        size64_t done = 0;
        bool started = false;
    };
    auto state = std::make_shared<State>();
    state->item = FItem;
    return [state](char* buffer, qsizetype size) -> qsizetype {
        const QString what = QStringLiteral("添付ファイルのデータを読めません");
        libpff_item_t* item = state->item->Get();
        if (!state->started) {
            Call(what, libpff_attachment_get_data_size, item, &state->size);
            PffError seekError;
            if (state->size > 0 &&
                libpff_attachment_data_seek_offset(item, 0, SEEK_SET, seekError.Out()) < 0)
                Check(-1, seekError, what);
            state->started = true;
        }
        if (state->done >= state->size || size <= 0)
            return 0;
        const size_t want = static_cast<size_t>(
            std::min<size64_t>(static_cast<size64_t>(size), state->size - state->done));
        PffError error;
        const ssize_t got = libpff_attachment_data_read_buffer(
            item, reinterpret_cast<uint8_t*>(buffer), want, error.Out());
        if (got < 0)
            Check(-1, error, what);
        if (got == 0)
            throw EOleException(
                QStringLiteral("%1: データが途中で終わっています (%2 / %3 バイト)。")
                    .arg(what)
                    .arg(state->done)
                    .arg(state->size));
        state->done += static_cast<size64_t>(got);
        return static_cast<qsizetype>(got);
    };
}

std::shared_ptr<MessageSource> PstAttachment::Embedded()
{
    libpff_item_t* raw = nullptr;
    if (Call(QStringLiteral("添付されたメッセージを読めません"), libpff_attachment_get_item,
             FItem->Get(), &raw) != 1 ||
        !raw)
        throw EOleException(QStringLiteral("添付されたメッセージがありません。"));
    return std::make_shared<PstMessage>(FItem->GetStore()->Wrap(raw));
}

} // namespace OutlookPst
