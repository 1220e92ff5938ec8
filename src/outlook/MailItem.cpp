#include "MailItem.h"

#include "runtime/Exception.h"

#include "support/Utility.h"

#include <array>
#include <cstring>

using Automation::OleRef;

namespace Outlook {

QString TRecipient::GetName() const
{
    return Item.GetText(QStringLiteral("Name"));
}
QString TRecipient::GetAddress() const
{
    return Item.GetText(QStringLiteral("Address"));
}

QString TAttachment::GetFileName() const
{
    return Item.GetText(QStringLiteral("FileName"));
}

void TAttachment::SaveAsFile(const QString& path) const
{
    Item.Call(QStringLiteral("SaveAsFile"), {path});
}

std::optional<TAttachmentData> TAttachment::OpenData() const
{
    // Any failure, an unknown member included, leaves SaveAsFile to do the work
    // and to report what is wrong, as it always has.
    try {
        const OleRef stream = Item.CallObject(QStringLiteral("OpenData"));
        if (!stream.IsNull())
            return TAttachmentData(stream);
    } catch (const Exception&) {
    }
    return std::nullopt;
}

QByteArray TAttachmentData::Read(qint32 maxBytes) const
{
    // The server hands bytes over as a string of the characters U+0000 to U+00FF.
    const QString text = Stream.GetText(QStringLiteral("Read"), {maxBytes});
    // The high bytes of all characters ORed together, four characters at a time.
    const char* units = reinterpret_cast<const char*>(text.constData());
    const qsizetype bytes = text.size() * 2;
    quint64 high = 0;
    qsizetype i = 0;
    for (; i + 8 <= bytes; i += 8) {
        quint64 v;
        memcpy(&v, units + i, 8);
        high |= v;
    }
    for (; i < bytes; i += 2) {
        char16_t u;
        memcpy(&u, units + i, 2);
        high |= u;
    }
    if ((high & 0xFF00FF00FF00FF00ULL) != 0)
        throw EOleException(QStringLiteral("添付ファイルのデータが正しくありません。"));
    return text.toLatin1();
}

QString TMailItem::GetEntryID() const
{
    return Item.GetText(QStringLiteral("EntryID"));
}
QString TMailItem::GetSubject() const
{
    return Item.GetText(QStringLiteral("Subject"));
}
QString TMailItem::GetBody() const
{
    return Item.GetText(QStringLiteral("Body"));
}
QString TMailItem::GetReplyRecipientNames() const
{
    return Item.GetText(QStringLiteral("ReplyRecipientNames"));
}
TDateTime TMailItem::GetSentOn() const
{
    return Item.GetDateTime(QStringLiteral("SentOn"));
}
TDateTime TMailItem::GetReceivedTime() const
{
    return Item.GetDateTime(QStringLiteral("ReceivedTime"));
}

QString TMailItem::GetSenderName() const
{
    try {
        return Item.GetText(QStringLiteral("SenderName"));
    } catch (...) {
    }
    try {
        const std::vector<TRecipient> recipients = Reply().GetRecipients();
        return recipients.empty() ? QString() : recipients.front().GetName();
    } catch (...) {
    }
    return QString();
}

QString TMailItem::GetSenderEmailAddress() const
{
    try {
        return Item.GetText(QStringLiteral("SenderEmailAddress"));
    } catch (...) {
    }
    try {
        const std::vector<TRecipient> recipients = Reply().GetRecipients();
        return recipients.empty() ? QString() : recipients.front().GetAddress();
    } catch (...) {
    }
    return QString();
}

QString TMailItem::GetFrom() const
{
    const QString name = GetSenderName();
    const QString address = GetSenderEmailAddress();
    return CreateMailAddressPair(name, address)->GetText();
}

TMailItem TMailItem::Reply() const
{
    return TMailItem(Item.CallObject(QStringLiteral("Reply")));
}

std::vector<TRecipient> TMailItem::GetRecipients() const
{
    std::vector<TRecipient> result;
    OleRef collection = Item.GetObject(QStringLiteral("Recipients"));
    const qint32 count = collection.GetInt(QStringLiteral("Count"));
    result.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (qint32 i = 1; i <= count; ++i)
        result.emplace_back(collection.GetObject(QStringLiteral("Item"), {i}));
    return result;
}

std::vector<TAttachment> TMailItem::GetAttachments() const
{
    std::vector<TAttachment> result;
    OleRef collection = Item.GetObject(QStringLiteral("Attachments"));
    const qint32 count = collection.GetInt(QStringLiteral("Count"));
    result.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (qint32 i = 1; i <= count; ++i)
        result.emplace_back(collection.GetObject(QStringLiteral("Item"), {i}));
    return result;
}

void TMailItem::SplitRecipients()
{
    std::vector<IMailAddressPairPtr> pool;
    for (const TRecipient& recipient : GetRecipients()) {
        const QString name = recipient.GetName();
        pool.push_back(CreateMailAddressPair(name, recipient.GetAddress()));
    }
    static const std::array<QString, 3> headers = {QStringLiteral("To"), QStringLiteral("CC"),
                                                   QStringLiteral("BCC")};
    std::vector<std::vector<IMailAddressPairPtr>> lists;
    for (const QString& header : headers) {
        std::vector<IMailAddressPairPtr> list;
        const QStringList pieces =
            TUtility::Split(Item.GetText(header), QStringLiteral("; "), false);
        for (const QString& piece : pieces) {
            for (auto it = pool.begin(); it != pool.end(); ++it) {
                if ((*it)->GetName() == piece) {
                    list.push_back(*it);
                    pool.erase(it);
                    break;
                }
            }
        }
        lists.push_back(std::move(list));
    }
    AddressLists = std::move(lists);
    SplitDone = true;
}

std::vector<IMailAddressPairPtr> TMailItem::GetToList()
{
    if (!SplitDone)
        SplitRecipients();
    return AddressLists[0];
}

std::vector<IMailAddressPairPtr> TMailItem::GetCcList()
{
    if (!SplitDone)
        SplitRecipients();
    return AddressLists[1];
}

std::vector<IMailAddressPairPtr> TMailItem::GetBccList()
{
    if (!SplitDone)
        SplitRecipients();
    return AddressLists[2];
}

QString TMailItem::GetTo()
{
    return MailAddressPair::ToCommaText(GetToList());
}
QString TMailItem::GetCc()
{
    return MailAddressPair::ToCommaText(GetCcList());
}
QString TMailItem::GetBcc()
{
    return MailAddressPair::ToCommaText(GetBccList());
}

namespace {

QString MapText(qint32 value, const std::array<const char16_t*, 4>& texts)
{
    if (value < 0 || value > 3)
        return QString();
    return QString::fromUtf16(texts[static_cast<std::size_t>(value)]);
}

} // namespace

QString TMailItem::GetImportance() const
{
    return MapText(Item.GetInt(QStringLiteral("Importance")), {u"Low", u"Normal", u"High", u""});
}

QString TMailItem::GetSensitivity() const
{
    return MapText(Item.GetInt(QStringLiteral("Sensitivity")),
                   {u"", u"Personal", u"Private", u"Company-Confidential"});
}

void TMailItem::SaveAs(const QString& path, qint32 n) const
{
    if (n < 0 || n > 7)
        return;
    Item.Call(QStringLiteral("SaveAs"), {path, n});
}

QString TMailItem::GetSaveOmissions() const
{
    // Outlook itself has no such member: it either saves everything or fails.
    try {
        return Item.GetText(QStringLiteral("SaveOmissions"));
    } catch (const EOleError&) {
        return QString();
    }
}

} // namespace Outlook
