// Messages, recipients and attachments as bags of MAPI properties, whether they
// come from a data file or were made in memory (a reply). The object model and
// the .msg writer read them through these interfaces only.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace OutlookPst {

// A raw property value as the data file stores it.
struct RawValue {
    quint32 Type = 0;
    QByteArray Data;
};

// Property identifiers (the upper 16 bits of a property tag).
namespace Prop {
constexpr quint16 Importance = 0x0017;
constexpr quint16 MessageClass = 0x001A;
constexpr quint16 Sensitivity = 0x0036;
constexpr quint16 Subject = 0x0037;
constexpr quint16 ClientSubmitTime = 0x0039;
constexpr quint16 SentRepresentingName = 0x0042;
constexpr quint16 ReplyRecipientNames = 0x0050;
constexpr quint16 SentRepresentingAddrType = 0x0064;
constexpr quint16 SentRepresentingEmail = 0x0065;
constexpr quint16 TransportHeaders = 0x007D;
constexpr quint16 RecipientType = 0x0C15;
constexpr quint16 SenderName = 0x0C1A;
constexpr quint16 SenderAddrType = 0x0C1E;
constexpr quint16 SenderEmail = 0x0C1F;
constexpr quint16 DisplayBcc = 0x0E02;
constexpr quint16 DisplayCc = 0x0E03;
constexpr quint16 DisplayTo = 0x0E04;
constexpr quint16 DeliveryTime = 0x0E06;
constexpr quint16 MessageFlags = 0x0E07;
constexpr quint16 Body = 0x1000;
constexpr quint16 RtfCompressed = 0x1009;
constexpr quint16 Html = 0x1013;
constexpr quint16 DisplayName = 0x3001;
constexpr quint16 AddrType = 0x3002;
constexpr quint16 EmailAddress = 0x3003;
constexpr quint16 CreationTime = 0x3007;
constexpr quint16 RecordKey = 0x0FF9;
constexpr quint16 StoreSupportMask = 0x340D;
constexpr quint16 IpmSubtreeEntryId = 0x35E0;
constexpr quint16 FolderType = 0x3601;
constexpr quint16 ContainerClass = 0x3613;
constexpr quint16 AttachDataBin = 0x3701;
constexpr quint16 AttachFilename = 0x3704;
constexpr quint16 AttachMethod = 0x3705;
constexpr quint16 AttachLongFilename = 0x3707;
constexpr quint16 AttachMimeTag = 0x370E;
constexpr quint16 SmtpAddress = 0x39FE;
constexpr quint16 InternetCodePage = 0x3FDE;
constexpr quint16 MessageCodePage = 0x3FFD;
constexpr quint16 SenderSmtpAddress = 0x5D01;
constexpr quint16 SentRepresentingSmtpAddress = 0x5D02;
constexpr quint16 RecipientDisplayName = 0x5FF6;
} // namespace Prop

// Property types.
namespace PropType {
constexpr quint16 Int16 = 0x0002;
constexpr quint16 Int32 = 0x0003;
constexpr quint16 Float = 0x0004;
constexpr quint16 Double = 0x0005;
constexpr quint16 Currency = 0x0006;
constexpr quint16 AppTime = 0x0007;
constexpr quint16 Error = 0x000A;
constexpr quint16 Boolean = 0x000B;
constexpr quint16 Object = 0x000D;
constexpr quint16 Int64 = 0x0014;
constexpr quint16 String8 = 0x001E;
constexpr quint16 Unicode = 0x001F;
constexpr quint16 SysTime = 0x0040;
constexpr quint16 Guid = 0x0048;
constexpr quint16 Binary = 0x0102;
constexpr quint16 MultiFlag = 0x1000;
} // namespace PropType

// The name of a named property (identifiers from 0x8000 up).
struct NamedProp {
    QByteArray Guid; // 16 bytes as stored
    bool IsString = false;
    quint32 Id = 0;
    QString Name;
};

struct PropEntry {
    quint16 Id = 0;
    RawValue Value;
    std::optional<NamedProp> Named;
};

class PropertyBag {
public:
    virtual ~PropertyBag() = default;
    // The value of a property, whatever its stored type; empty when absent.
    virtual std::optional<RawValue> Find(quint16 id) = 0;
    // Every property, in stored order.
    virtual std::vector<PropEntry> All() = 0;
};
using PropertyBagPtr = std::shared_ptr<PropertyBag>;

class MessageSource;

enum class AttachKind { Data, Embedded, Reference };

class AttachmentSource : public PropertyBag {
public:
    virtual AttachKind Kind() = 0;
    // Hands the attachment's content to sink piece by piece.
    virtual void ReadData(const std::function<void(const char*, qsizetype)>& sink) = 0;
    // The attached message of an embedded-message attachment.
    virtual std::shared_ptr<MessageSource> Embedded() = 0;
    // Fills buffer with up to size bytes of the content, the next ones each call,
    // and returns how many; 0 at the end. Raises when the content cannot be read.
    using DataReader = std::function<qsizetype(char* buffer, qsizetype size)>;
    // A reader of a data attachment's content that holds only a piece of it at a
    // time where it can; null when this source has none.
    virtual DataReader OpenData() { return {}; }
};
using AttachmentSourcePtr = std::shared_ptr<AttachmentSource>;

// A reader of content held in memory; check runs before every piece (it raises
// once the data file has been closed).
AttachmentSource::DataReader MemoryReader(QByteArray data, std::function<void()> check);

class MessageSource : public PropertyBag {
public:
    // The code page of the message's 8-bit strings.
    virtual int CodePage() = 0;
    // False when the item has no recipient table at all.
    virtual bool HasRecipientTable() = 0;
    virtual int RecipientCount() = 0;
    virtual PropertyBagPtr Recipient(int index) = 0;
    virtual int AttachmentCount() = 0;
    virtual AttachmentSourcePtr Attachment(int index) = 0;
    // "hex of the entry identifier", or empty for an item that has none.
    virtual QString EntryId() = 0;
};
using MessageSourcePtr = std::shared_ptr<MessageSource>;

// Value readers. Strings are decoded by type: Unicode as UTF-16, 8-bit strings
// with the code page; a value of any other type is an error naming the property.
QString DecodeText(const RawValue& value, int codePage, quint16 id);
std::optional<QString> FindText(PropertyBag& bag, quint16 id, int codePage);
QString TextOr(PropertyBag& bag, quint16 id, int codePage, const QString& fallback = QString());
std::optional<qint32> FindInt(PropertyBag& bag, quint16 id);
std::optional<quint64> FindFileTime(PropertyBag& bag, quint16 id);

// The code page of a message's 8-bit strings: the one the message names, else
// the store's.
int MessageCodePage(PropertyBag& message, int storeCodePage);

// A recipient's name and address as a mail program shows them: the display
// name, and the SMTP address where one is stored, else the stored address.
QString RecipientName(PropertyBag& recipient, int codePage);
QString RecipientAddress(PropertyBag& recipient, int codePage);
// The names of the recipients of one type (1 To, 2 CC, 3 BCC) in table order,
// joined by "; "; the stored display text for an item without recipient table.
QString DisplayNames(MessageSource& message, int type);

// A subject as stored may begin with a marker (0x01 and a length character)
// that is not part of the text.
QString StripSubjectMarker(const QString& subject);

// Property bags held in memory.
class MemoryBag : public PropertyBag {
public:
    std::vector<PropEntry> Entries;

    std::optional<RawValue> Find(quint16 id) override;
    std::vector<PropEntry> All() override { return Entries; }
    void SetText(quint16 id, const QString& text);
    void SetInt(quint16 id, qint32 value);
    void SetBinary(quint16 id, const QByteArray& data);
    void Set(quint16 id, quint16 type, const QByteArray& data);
};

class MemoryAttachment : public AttachmentSource {
public:
    MemoryBag Props;
    AttachKind Type = AttachKind::Data;
    QByteArray Data;
    std::shared_ptr<MessageSource> Message;

    std::optional<RawValue> Find(quint16 id) override { return Props.Find(id); }
    std::vector<PropEntry> All() override { return Props.All(); }
    AttachKind Kind() override { return Type; }
    void ReadData(const std::function<void(const char*, qsizetype)>& sink) override;
    std::shared_ptr<MessageSource> Embedded() override { return Message; }
};

class MemoryMessage : public MessageSource {
public:
    MemoryBag Props;
    std::vector<std::shared_ptr<MemoryBag>> Recipients;
    std::vector<std::shared_ptr<MemoryAttachment>> Attachments;
    bool RecipientTable = true;
    int StringCodePage = 65001; // of its 8-bit strings

    std::optional<RawValue> Find(quint16 id) override { return Props.Find(id); }
    std::vector<PropEntry> All() override { return Props.All(); }
    int CodePage() override { return StringCodePage; }
    bool HasRecipientTable() override { return RecipientTable; }
    int RecipientCount() override { return static_cast<int>(Recipients.size()); }
    PropertyBagPtr Recipient(int index) override;
    int AttachmentCount() override { return static_cast<int>(Attachments.size()); }
    AttachmentSourcePtr Attachment(int index) override;
    QString EntryId() override { return QString(); }
};

} // namespace OutlookPst
