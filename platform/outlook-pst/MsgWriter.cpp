// Outlook message files: a compound file whose root holds the message's
// property stream and value streams, one storage per recipient and per
// attachment (an embedded message as a nested storage), and the mapping of
// named properties.
#include "Cfb.h"
#include "CodePage.h"
#include "SaveFile.h"
#include "Writers.h"
#include "runtime/Exception.h"

#include <QtEndian>
#include <algorithm>
#include <stdexcept>

namespace OutlookPst {

namespace {

constexpr quint32 kFlags = 0x06; // readable and writable
constexpr int kMaxNesting = 16;  // embedded messages deeper than this are damage
const unsigned char kMessageClassId[16] = {0x0B, 0x0D, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                           0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
const QByteArray kPsMapi = QByteArray::fromHex("2803020000000000c000000000000046");
const QByteArray kPsPublicStrings = QByteArray::fromHex("2903020000000000c000000000000046");

void Put32(QByteArray& out, quint32 value)
{
    uchar b[4];
    qToLittleEndian(value, b);
    out.append(reinterpret_cast<const char*>(b), 4);
}

QByteArray Utf16(const QString& text)
{
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        qToLittleEndian<quint16>(text[i].unicode(), reinterpret_cast<uchar*>(out.data()) + 2 * i);
    return out;
}

std::string Hex8(quint32 value)
{
    return QString::number(value, 16).toUpper().rightJustified(8, QLatin1Char('0')).toStdString();
}

std::string StreamName(quint32 tag)
{
    return "__substg1.0_" + Hex8(tag);
}

quint32 Crc32(const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char ch : data) {
        crc ^= static_cast<uchar>(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// Named properties of the whole file, numbered from 0x8000 in order of first use.
class NameIdMap {
public:
    quint16 IdFor(const NamedProp& name)
    {
        for (std::size_t i = 0; i < FNames.size(); ++i) {
            const NamedProp& n = FNames[i];
            if (n.Guid == name.Guid && n.IsString == name.IsString && n.Id == name.Id &&
                n.Name == name.Name)
                return static_cast<quint16>(0x8000 + i);
        }
        if (FNames.size() >= 0x7FFE)
            throw EOleException(QStringLiteral("名前付きプロパティが多すぎます。"));
        FNames.push_back(name);
        return static_cast<quint16>(0x8000 + FNames.size() - 1);
    }

    void Write(Cfb::Writer& writer, Cfb::Storage* root)
    {
        QByteArray guids, entries, strings;
        std::vector<QByteArray> buckets(0x1F);
        for (std::size_t i = 0; i < FNames.size(); ++i) {
            const NamedProp& n = FNames[i];
            quint32 guidIndex;
            if (n.Guid == kPsMapi) {
                guidIndex = 1;
            } else if (n.Guid == kPsPublicStrings) {
                guidIndex = 2;
            } else {
                qsizetype at = -1;
                for (qsizetype g = 0; g < guids.size() / 16; ++g)
                    if (guids.mid(g * 16, 16) == n.Guid)
                        at = g;
                if (at < 0) {
                    at = guids.size() / 16;
                    guids += n.Guid.leftJustified(16, '\0', true);
                }
                guidIndex = static_cast<quint32>(at + 3);
            }
            const quint32 kind = n.IsString ? 1u : 0u;
            const quint32 indexAndKind = (static_cast<quint32>(i) << 16) | (guidIndex << 1) | kind;
            quint32 key;
            if (n.IsString) {
                const QByteArray name = Utf16(n.Name);
                Put32(entries, static_cast<quint32>(strings.size()));
                Put32(strings, static_cast<quint32>(name.size()));
                strings += name;
                while (strings.size() % 4 != 0)
                    strings.append('\0');
                key = Crc32(name);
            } else {
                Put32(entries, n.Id);
                key = n.Id;
            }
            Put32(entries, indexAndKind);
            QByteArray& bucket = buckets[((key ^ ((guidIndex << 1) | kind)) % 0x1F)];
            Put32(bucket, key);
            Put32(bucket, indexAndKind);
        }
        Cfb::Storage* storage = writer.AddStorage(root, "__nameid_version1.0");
        writer.WriteStream(storage, "__substg1.0_00020102", guids.constData(),
                           static_cast<std::size_t>(guids.size()));
        writer.WriteStream(storage, "__substg1.0_00030102", entries.constData(),
                           static_cast<std::size_t>(entries.size()));
        writer.WriteStream(storage, "__substg1.0_00040102", strings.constData(),
                           static_cast<std::size_t>(strings.size()));
        for (int b = 0; b < 0x1F; ++b) {
            if (buckets[static_cast<std::size_t>(b)].isEmpty())
                continue;
            const QByteArray& data = buckets[static_cast<std::size_t>(b)];
            writer.WriteStream(storage,
                               StreamName((static_cast<quint32>(0x1000 + b) << 16) | 0x0102),
                               data.constData(), static_cast<std::size_t>(data.size()));
        }
        writer.CloseStorage(storage);
    }

private:
    std::vector<NamedProp> FNames;
};

bool IsFixed(quint16 type)
{
    switch (type) {
    case PropType::Int16:
    case PropType::Int32:
    case PropType::Float:
    case PropType::Double:
    case PropType::Currency:
    case PropType::AppTime:
    case PropType::Error:
    case PropType::Boolean:
    case PropType::Int64:
    case PropType::SysTime:
        return true;
    default:
        return false;
    }
}

// Values of a multi-valued variable-length property as the data file stores
// them: a count, an offset per value, then the values.
std::vector<QByteArray> SplitMultiValue(const QByteArray& data)
{
    std::vector<QByteArray> values;
    if (data.size() < 4)
        return values;
    const auto* p = reinterpret_cast<const uchar*>(data.constData());
    const quint32 count = qFromLittleEndian<quint32>(p);
    if (count > static_cast<quint32>(data.size() - 4) / 4)
        throw EOleException(QStringLiteral("複数値プロパティが壊れています。"));
    for (quint32 i = 0; i < count; ++i) {
        const quint32 start = qFromLittleEndian<quint32>(p + 4 + 4 * i);
        const quint32 end = i + 1 < count ? qFromLittleEndian<quint32>(p + 8 + 4 * i)
                                          : static_cast<quint32>(data.size());
        if (start > end || end > static_cast<quint32>(data.size()))
            throw EOleException(QStringLiteral("複数値プロパティが壊れています。"));
        values.push_back(data.mid(start, end - start));
    }
    return values;
}

// A part of the saved message that could not be read: the recipient table
// (Index -1), the attachment list (Index -2) or one attachment.
struct PartFailure {
    int Index;
    QString Message;
};

// What a salvaging save leaves out of the message.
struct Exclusions {
    bool Recipients = false;
    bool AllAttachments = false;
    std::vector<int> Attachments;
    bool Skips(int attachment) const
    {
        return AllAttachments ||
               std::find(Attachments.begin(), Attachments.end(), attachment) != Attachments.end();
    }
};

class MsgWriter {
public:
    MsgWriter(Cfb::Writer& writer, const Exclusions* salvage) : FWriter(writer), FSalvage(salvage)
    {
    }

    // Runs one part of the top-level message; with salvaging on, a failure is
    // raised as a PartFailure so that the save can start again without the part.
    template <typename F> void Part(bool topLevel, int index, F write)
    {
        if (!FSalvage || !topLevel) {
            write();
            return;
        }
        try {
            write();
        } catch (const EOleException& e) {
            throw PartFailure{index, e.Message()};
        } catch (const EInOutError& e) {
            throw PartFailure{index, e.Message()};
        }
    }

    void Message(Cfb::Storage* storage, MessageSource& message, bool embedded, int depth)
    {
        if (depth > kMaxNesting)
            throw EOleException(QStringLiteral("添付されたメッセージの入れ子が深すぎます。"));
        const bool topLevel = depth == 0;
        const int codePage = message.CodePage();
        const bool withRecipients = !(topLevel && FSalvage && FSalvage->Recipients);
        int recipients = 0;
        if (withRecipients) {
            Part(topLevel, -1, [&] {
                recipients = message.RecipientCount();
                for (int i = 0; i < recipients; ++i) {
                    Cfb::Storage* sub = FWriter.AddStorage(
                        storage, "__recip_version1.0_#" + Hex8(static_cast<quint32>(i)));
                    PropertyBagPtr bag = message.Recipient(i);
                    Properties(sub, bag->All(), codePage, QByteArray(8, '\0'), {});
                    FWriter.CloseStorage(sub);
                }
            });
        }
        int count = 0;
        if (!(topLevel && FSalvage && FSalvage->AllAttachments))
            Part(topLevel, -2, [&] { count = message.AttachmentCount(); });
        int attachments = 0;
        for (int i = 0; i < count; ++i) {
            if (topLevel && FSalvage && FSalvage->Skips(i))
                continue;
            Part(topLevel, i, [&] {
                Cfb::Storage* sub = FWriter.AddStorage(
                    storage, "__attach_version1.0_#" + Hex8(static_cast<quint32>(attachments)));
                Attachment(sub, *message.Attachment(i), codePage, depth);
                FWriter.CloseStorage(sub);
            });
            ++attachments;
        }
        QByteArray header(8, '\0');
        Put32(header, static_cast<quint32>(recipients));
        Put32(header, static_cast<quint32>(attachments));
        Put32(header, static_cast<quint32>(recipients));
        Put32(header, static_cast<quint32>(attachments));
        if (!embedded)
            header += QByteArray(8, '\0');
        std::vector<PropEntry> props = message.All();
        // The display texts of the recipients are computed from the recipient
        // table, as a mail program does when it saves a message.
        if (withRecipients && message.HasRecipientTable()) {
            const quint16 ids[] = {Prop::DisplayTo, Prop::DisplayCc, Prop::DisplayBcc};
            std::erase_if(props, [&](const PropEntry& e) {
                return !e.Named && std::find(std::begin(ids), std::end(ids), e.Id) != std::end(ids);
            });
            for (int type = 1; type <= 3; ++type)
                props.push_back(PropEntry{
                    ids[type - 1], RawValue{PropType::Unicode, Utf16(DisplayNames(message, type))},
                    std::nullopt});
        }
        // Strings are written as Unicode, and the message says so.
        quint32 mask = 0x00040000;
        for (auto it = props.begin(); it != props.end();) {
            if (it->Id == Prop::StoreSupportMask && !it->Named) {
                if (it->Value.Data.size() >= 4)
                    mask |= qFromLittleEndian<quint32>(
                        reinterpret_cast<const uchar*>(it->Value.Data.constData()));
                it = props.erase(it);
            } else {
                ++it;
            }
        }
        QByteArray maskData(4, Qt::Uninitialized);
        qToLittleEndian(mask, reinterpret_cast<uchar*>(maskData.data()));
        props.push_back(
            PropEntry{Prop::StoreSupportMask, RawValue{PropType::Int32, maskData}, std::nullopt});
        Properties(storage, props, codePage, header, {});
    }

private:
    struct Extra {
        quint32 Tag;
        quint32 Size;
    };

    void Attachment(Cfb::Storage* storage, AttachmentSource& attachment, int codePage, int depth)
    {
        std::vector<Extra> extra;
        const AttachKind kind = attachment.Kind();
        if (kind == AttachKind::Data) {
            const quint32 tag =
                (static_cast<quint32>(Prop::AttachDataBin) << 16) | PropType::Binary;
            Cfb::Stream* stream = FWriter.OpenStream(storage, StreamName(tag));
            quint64 size = 0;
            attachment.ReadData([&](const char* data, qsizetype n) {
                FWriter.Write(stream, data, static_cast<std::size_t>(n));
                size += static_cast<quint64>(n);
            });
            FWriter.CloseStream(stream);
            extra.push_back({tag, static_cast<quint32>(std::min<quint64>(size, 0xFFFFFFFEu))});
        } else if (kind == AttachKind::Embedded) {
            const quint32 tag =
                (static_cast<quint32>(Prop::AttachDataBin) << 16) | PropType::Object;
            std::shared_ptr<MessageSource> embedded = attachment.Embedded();
            Cfb::Storage* sub = FWriter.AddStorage(storage, StreamName(tag));
            Message(sub, *embedded, true, depth + 1);
            FWriter.CloseStorage(sub);
            extra.push_back({tag, 0xFFFFFFFFu});
        }
        std::vector<PropEntry> props = attachment.All();
        std::erase_if(props,
                      [](const PropEntry& e) { return e.Id == Prop::AttachDataBin && !e.Named; });
        Properties(storage, props, codePage, QByteArray(8, '\0'), extra);
    }

    void Properties(Cfb::Storage* storage, const std::vector<PropEntry>& props, int codePage,
                    QByteArray stream, const std::vector<Extra>& extra)
    {
        for (const PropEntry& e : props) {
            // Row identifiers of the data file's tables mean nothing elsewhere.
            if (!e.Named && (e.Id == 0x67F2 || e.Id == 0x67F3 || e.Id == 0x3000))
                continue;
            const quint16 id = e.Named ? FNames.IdFor(*e.Named) : e.Id;
            quint16 type = static_cast<quint16>(e.Value.Type);
            QByteArray data = e.Value.Data;
            if (type == PropType::String8 || type == PropType::Unicode) {
                QString text = DecodeText(e.Value, codePage, e.Id);
                // The data file's subject marker is not part of the subject.
                if (e.Id == Prop::Subject && !e.Named)
                    text = StripSubjectMarker(text);
                data = Utf16(text);
                type = PropType::Unicode;
            }
            const quint32 tag = (static_cast<quint32>(id) << 16) | type;
            QByteArray entry;
            Put32(entry, tag);
            Put32(entry, kFlags);
            if (IsFixed(type)) {
                entry += data.left(8).leftJustified(8, '\0', true);
            } else if (type == PropType::Unicode || type == PropType::Binary ||
                       type == PropType::Guid) {
                FWriter.WriteStream(storage, StreamName(tag), data.constData(),
                                    static_cast<std::size_t>(data.size()));
                Put32(entry,
                      static_cast<quint32>(data.size() + (type == PropType::Unicode ? 2 : 0)));
                Put32(entry, 0);
            } else if ((type & PropType::MultiFlag) && IsFixed(type & 0x0FFF)) {
                FWriter.WriteStream(storage, StreamName(tag), data.constData(),
                                    static_cast<std::size_t>(data.size()));
                Put32(entry, static_cast<quint32>(data.size()));
                Put32(entry, 0);
            } else if (type == 0x101E || type == 0x101F || type == 0x1102) {
                const std::vector<QByteArray> values = SplitMultiValue(data);
                const quint16 outType = type == 0x101E ? quint16(0x101F) : type;
                const quint32 outTag = (static_cast<quint32>(id) << 16) | outType;
                QByteArray lengths;
                for (std::size_t v = 0; v < values.size(); ++v) {
                    QByteArray value = values[v];
                    if (outType == 0x101F)
                        value = Utf16(DecodeText(
                                    RawValue{type == 0x101E ? PropType::String8 : PropType::Unicode,
                                             value},
                                    codePage, e.Id)) +
                                QByteArray(2, '\0');
                    Put32(lengths, static_cast<quint32>(value.size()));
                    if (outType == 0x1102)
                        Put32(lengths, 0);
                    const std::string name =
                        StreamName(outTag) + "-" + Hex8(static_cast<quint32>(v));
                    FWriter.WriteStream(storage, name, value.constData(),
                                        static_cast<std::size_t>(value.size()));
                }
                FWriter.WriteStream(storage, StreamName(outTag), lengths.constData(),
                                    static_cast<std::size_t>(lengths.size()));
                entry.clear();
                Put32(entry, outTag);
                Put32(entry, kFlags);
                Put32(entry, static_cast<quint32>(lengths.size()));
                Put32(entry, 0);
            } else {
                continue; // a type a message file cannot hold
            }
            stream += entry;
        }
        for (const Extra& x : extra) {
            Put32(stream, x.Tag);
            Put32(stream, kFlags);
            Put32(stream, x.Size);
            Put32(stream, 0);
        }
        FWriter.WriteStream(storage, "__properties_version1.0", stream.constData(),
                            static_cast<std::size_t>(stream.size()));
    }

public:
    NameIdMap FNames;

private:
    Cfb::Writer& FWriter;
    const Exclusions* FSalvage;
};

void WriteMsg(MessageSource& message, const QString& path, const Exclusions* salvage)
{
    SaveFile file(path);
    try {
        Cfb::Writer writer(file.Stream());
        writer.SetClassId(writer.Root(), kMessageClassId);
        MsgWriter msg(writer, salvage);
        msg.Message(writer.Root(), message, false, 0);
        msg.FNames.Write(writer, writer.Root());
        writer.Finish();
    } catch (const std::runtime_error& e) {
        throw EInOutError(
            QStringLiteral("%1 を書けません: %2").arg(path, QString::fromLocal8Bit(e.what())));
    }
    file.Commit();
}

} // namespace

void WriteMsgFile(MessageSource& message, const QString& path, QStringList* omissions)
{
    if (!omissions) {
        WriteMsg(message, path, nullptr);
        return;
    }
    // Each part that fails is left out and the save starts again: the file is
    // then complete apart from what could not be read.
    Exclusions exclusions;
    for (;;) {
        try {
            WriteMsg(message, path, &exclusions);
            return;
        } catch (const PartFailure& failure) {
            if (failure.Index == -1) {
                exclusions.Recipients = true;
                omissions->append(RecipientsOmitted(failure.Message));
            } else if (failure.Index == -2) {
                exclusions.AllAttachments = true;
                omissions->append(AttachmentsOmitted(failure.Message));
            } else {
                exclusions.Attachments.push_back(failure.Index);
                omissions->append(AttachmentOmitted(failure.Index, failure.Message));
            }
        }
    }
}

QString RecipientsOmitted(const QString& reason)
{
    return QStringLiteral("受信者の一覧を読めないため、受信者を除きました (%1)").arg(reason);
}

QString AttachmentsOmitted(const QString& reason)
{
    return QStringLiteral("添付ファイルの一覧を読めないため、添付ファイルを除きました (%1)")
        .arg(reason);
}

QString AttachmentOmitted(int index, const QString& reason)
{
    return QStringLiteral("添付ファイル %1 を読めないため、除きました (%2)")
        .arg(index + 1)
        .arg(reason);
}

} // namespace OutlookPst
