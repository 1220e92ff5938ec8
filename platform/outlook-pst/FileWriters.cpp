// The text format and attachment files.
#include "SaveFile.h"
#include "Writers.h"
#include "runtime/DateTime.h"
#include "runtime/Exception.h"

#include <functional>

namespace OutlookPst {

void WriteTextFile(MailItemObject& item, const QString& path, QStringList& omissions)
{
    auto salvaged = [&omissions](const std::function<QString()>& read,
                                 const std::function<QString(const QString&)>& omitted) {
        try {
            return read();
        } catch (const EOleException& e) {
            omissions.append(omitted(e.Message()));
        } catch (const EInOutError& e) {
            omissions.append(omitted(e.Message()));
        }
        return QString();
    };
    bool recipientsFailed = false;
    auto recipients = [&](int type) {
        if (recipientsFailed)
            return QString();
        return salvaged([&] { return item.RecipientNames(type); },
                        [&](const QString& reason) {
                            recipientsFailed = true;
                            return RecipientsOmitted(reason);
                        });
    };
    // Everything is read before the file is made, so a damaged item leaves no file.
    QString sender = item.SenderName();
    if (sender.isEmpty())
        sender = item.SenderEmailAddress();
    const TDateTime sentOn = item.SentOn();
    const QString sent = sentOn == kNoDate
                             ? QString()
                             : FormatDateTime(QStringLiteral("yyyy'年'm'月'd'日' h:nn"), sentOn);
    const std::pair<const char16_t*, QString> headers[] = {
        {u"差出人:", sender},
        {u"送信日時:", sent},
        {u"宛先:", recipients(1)},
        {u"CC:", recipients(2)},
        {u"件名:", item.Subject()},
        {u"添付ファイル:",
         salvaged([&] { return item.AttachmentNames().join(QStringLiteral("; ")); },
                  AttachmentsOmitted)},
    };
    QString text;
    for (const auto& [label, value] : headers)
        if (!value.isEmpty())
            text += QString::fromUtf16(label) + QLatin1Char('\t') + value + QStringLiteral("\r\n");
    text += QStringLiteral("\r\n");
    text += item.Body();
    const QByteArray bytes = text.toUtf8();

    SaveFile file(path);
    file.Write(bytes.constData(), bytes.size());
    file.Commit();
}

void SaveAttachmentFile(AttachmentSource& attachment, const QString& path)
{
    switch (attachment.Kind()) {
    case AttachKind::Reference:
        throw EOleException(QStringLiteral(
            "この添付ファイルは別の場所にあるファイルを参照しているだけなので、保存できません。"));
    case AttachKind::Embedded:
        WriteMsgFile(*attachment.Embedded(), path);
        return;
    case AttachKind::Data:
        break;
    }
    SaveFile file(path);
    attachment.ReadData([&file](const char* data, qsizetype size) { file.Write(data, size); });
    file.Commit();
}

} // namespace OutlookPst
