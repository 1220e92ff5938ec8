#include "Props.h"

#include "CodePage.h"
#include "runtime/Exception.h"

#include <QStringList>
#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace OutlookPst {

namespace {

QString PropName(quint16 id)
{
    return QStringLiteral("0x") +
           QString::number(id, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

// UTF-16LE bytes to text, without the terminating null if there is one.
QString FromUtf16(const QByteArray& data)
{
    qsizetype units = data.size() / 2;
    const auto* p = reinterpret_cast<const uchar*>(data.constData());
    QString text(units, Qt::Uninitialized);
    for (qsizetype i = 0; i < units; ++i)
        text[i] = QChar(qFromLittleEndian<quint16>(p + 2 * i));
    while (!text.isEmpty() && text.back() == QChar(0))
        text.chop(1);
    return text;
}

} // namespace

QString DecodeText(const RawValue& value, int codePage, quint16 id)
{
    switch (value.Type) {
    case PropType::Unicode:
        return FromUtf16(value.Data);
    case PropType::String8: {
        QByteArray bytes = value.Data;
        while (!bytes.isEmpty() && bytes.back() == '\0')
            bytes.chop(1);
        return DecodeCodePage(bytes, codePage);
    }
    default:
        throw EOleException(QStringLiteral("プロパティ %1 は文字列ではありません (型 0x%2)。")
                                .arg(PropName(id))
                                .arg(value.Type, 4, 16, QLatin1Char('0')));
    }
}

std::optional<QString> FindText(PropertyBag& bag, quint16 id, int codePage)
{
    const std::optional<RawValue> value = bag.Find(id);
    if (!value)
        return std::nullopt;
    return DecodeText(*value, codePage, id);
}

QString TextOr(PropertyBag& bag, quint16 id, int codePage, const QString& fallback)
{
    const std::optional<QString> text = FindText(bag, id, codePage);
    return text ? *text : fallback;
}

std::optional<qint32> FindInt(PropertyBag& bag, quint16 id)
{
    const std::optional<RawValue> value = bag.Find(id);
    if (!value)
        return std::nullopt;
    const auto* p = reinterpret_cast<const uchar*>(value->Data.constData());
    if (value->Type == PropType::Int32 && value->Data.size() >= 4)
        return qFromLittleEndian<qint32>(p);
    if (value->Type == PropType::Int16 && value->Data.size() >= 2)
        return qFromLittleEndian<qint16>(p);
    if (value->Type == PropType::Boolean && value->Data.size() >= 1)
        return p[0] != 0 ? 1 : 0;
    throw EOleException(QStringLiteral("プロパティ %1 は整数ではありません (型 0x%2, %3 バイト)。")
                            .arg(PropName(id))
                            .arg(value->Type, 4, 16, QLatin1Char('0'))
                            .arg(value->Data.size()));
}

std::optional<quint64> FindFileTime(PropertyBag& bag, quint16 id)
{
    const std::optional<RawValue> value = bag.Find(id);
    if (!value)
        return std::nullopt;
    if (value->Type != PropType::SysTime || value->Data.size() < 8)
        throw EOleException(QStringLiteral("プロパティ %1 は日時ではありません (型 0x%2)。")
                                .arg(PropName(id))
                                .arg(value->Type, 4, 16, QLatin1Char('0')));
    return qFromLittleEndian<quint64>(reinterpret_cast<const uchar*>(value->Data.constData()));
}

QString RecipientName(PropertyBag& recipient, int codePage)
{
    const QString name = TextOr(recipient, Prop::DisplayName, codePage);
    return name.isEmpty() ? TextOr(recipient, Prop::RecipientDisplayName, codePage) : name;
}

QString RecipientAddress(PropertyBag& recipient, int codePage)
{
    const QString smtp = TextOr(recipient, Prop::SmtpAddress, codePage);
    return smtp.isEmpty() ? TextOr(recipient, Prop::EmailAddress, codePage) : smtp;
}

QString DisplayNames(MessageSource& message, int type)
{
    const int codePage = message.CodePage();
    if (!message.HasRecipientTable()) {
        const quint16 id = type == 1   ? Prop::DisplayTo
                           : type == 2 ? Prop::DisplayCc
                                       : Prop::DisplayBcc;
        return TextOr(message, id, codePage);
    }
    QStringList names;
    const int count = message.RecipientCount();
    for (int i = 0; i < count; ++i) {
        PropertyBagPtr recipient = message.Recipient(i);
        // The upper bits of the type carry flags.
        if ((FindInt(*recipient, Prop::RecipientType).value_or(1) & 0x0F) == type)
            names << RecipientName(*recipient, codePage);
    }
    return names.join(QStringLiteral("; "));
}

int MessageCodePage(PropertyBag& message, int storeCodePage)
{
    for (quint16 id : {Prop::MessageCodePage, Prop::InternetCodePage}) {
        const std::optional<qint32> value = FindInt(message, id);
        if (value && IsKnownCodePage(*value))
            return *value;
    }
    return storeCodePage;
}

QString StripSubjectMarker(const QString& subject)
{
    if (subject.size() >= 2 && subject[0] == QChar(0x01))
        return subject.mid(2);
    return subject;
}

std::optional<RawValue> MemoryBag::Find(quint16 id)
{
    for (const PropEntry& e : Entries)
        if (e.Id == id && !e.Named)
            return e.Value;
    return std::nullopt;
}

void MemoryBag::Set(quint16 id, quint16 type, const QByteArray& data)
{
    for (PropEntry& e : Entries) {
        if (e.Id == id && !e.Named) {
            e.Value = RawValue{type, data};
            return;
        }
    }
    Entries.push_back(PropEntry{id, RawValue{type, data}, std::nullopt});
}

void MemoryBag::SetText(quint16 id, const QString& text)
{
    QByteArray data(text.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        qToLittleEndian<quint16>(text[i].unicode(), reinterpret_cast<uchar*>(data.data()) + 2 * i);
    Set(id, PropType::Unicode, data);
}

void MemoryBag::SetInt(quint16 id, qint32 value)
{
    QByteArray data(4, Qt::Uninitialized);
    qToLittleEndian<qint32>(value, reinterpret_cast<uchar*>(data.data()));
    Set(id, PropType::Int32, data);
}

void MemoryBag::SetBinary(quint16 id, const QByteArray& data)
{
    Set(id, PropType::Binary, data);
}

AttachmentSource::DataReader MemoryReader(QByteArray data, std::function<void()> check)
{
    auto value = std::make_shared<QByteArray>(std::move(data));
    auto used = std::make_shared<qsizetype>(0);
    return [value, used, check = std::move(check)](char* buffer, qsizetype size) -> qsizetype {
        check();
        const qsizetype take = std::min(size, value->size() - *used);
        memcpy(buffer, value->constData() + *used, static_cast<size_t>(take));
        *used += take;
        return take;
    };
}

void MemoryAttachment::ReadData(const std::function<void(const char*, qsizetype)>& sink)
{
    if (!Data.isEmpty())
        sink(Data.constData(), Data.size());
}

PropertyBagPtr MemoryMessage::Recipient(int index)
{
    if (index < 0 || index >= RecipientCount())
        throw EOleException(QStringLiteral("受信者 %1 はありません。").arg(index + 1));
    return Recipients[static_cast<std::size_t>(index)];
}

AttachmentSourcePtr MemoryMessage::Attachment(int index)
{
    if (index < 0 || index >= AttachmentCount())
        throw EOleException(QStringLiteral("添付ファイル %1 はありません。").arg(index + 1));
    return Attachments[static_cast<std::size_t>(index)];
}

} // namespace OutlookPst
