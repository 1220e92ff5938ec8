#include "Body.h"
#include "Objects.h"
#include "Store.h"
#include "Writers.h"
#include "runtime/DateTime.h"
#include "runtime/Exception.h"

#include <algorithm>

using Automation::Arguments;
using Automation::DispatchPtr;
using Automation::Variant;

namespace OutlookPst {

namespace {

class RecipientObject : public Automation::ClassDispatch<RecipientObject> {
public:
    RecipientObject(PropertyBagPtr bag, int codePage) : FBag(std::move(bag)), FCodePage(codePage) {}
    static void BuildMembers(Automation::ClassMembers<RecipientObject>& members)
    {
        using Self = RecipientObject;
        members.Add(QStringLiteral("Name"), [](Self& self, const Arguments&) {
            return Variant(RecipientName(*self.FBag, self.FCodePage));
        });
        members.Add(QStringLiteral("Address"), [](Self& self, const Arguments&) {
            return Variant(RecipientAddress(*self.FBag, self.FCodePage));
        });
        members.Add(QStringLiteral("Type"), [](Self& self, const Arguments&) {
            return Variant(FindInt(*self.FBag, Prop::RecipientType).value_or(1) & 0x0F);
        });
    }
    QString ClassName() const override { return QStringLiteral("Recipient"); }

private:
    PropertyBagPtr FBag;
    int FCodePage;
};

// An attachment's content read in pieces; beyond Outlook's model. Read(n) gives
// the next bytes, at most n, as a string of the characters U+0000 to U+00FF,
// and an empty string at the end.
class AttachmentDataObject : public Automation::DispatchTable {
public:
    explicit AttachmentDataObject(AttachmentSource::DataReader reader) : FReader(std::move(reader))
    {
        AddMember(QStringLiteral("Read"), [this](const Arguments& args) {
            constexpr qint32 kMaxPiece = 1024 * 1024;
            const qint32 want = std::clamp(IntArg(args, 0), 1, kMaxPiece);
            // One buffer for all pieces of the attachment.
            if (FBuffer.size() < want)
                FBuffer.resize(want);
            qsizetype filled = 0;
            while (filled < want) {
                const qsizetype got = FReader(FBuffer.data() + filled, want - filled);
                if (got <= 0)
                    break;
                filled += got;
            }
            return Variant(QString::fromLatin1(FBuffer.constData(), filled));
        });
    }
    QString ClassName() const override { return QStringLiteral("AttachmentData"); }

private:
    AttachmentSource::DataReader FReader;
    QByteArray FBuffer;
};

class AttachmentObject : public Automation::ClassDispatch<AttachmentObject> {
public:
    AttachmentObject(AttachmentSourcePtr source, int codePage)
        : FSource(std::move(source)), FCodePage(codePage)
    {
    }
    static void BuildMembers(Automation::ClassMembers<AttachmentObject>& members)
    {
        using Self = AttachmentObject;
        members.Add(QStringLiteral("FileName"), [](Self& self, const Arguments&) {
            return Variant(AttachmentFileName(*self.FSource, self.FCodePage));
        });
        members.Add(QStringLiteral("DisplayName"), [](Self& self, const Arguments&) {
            return Variant(TextOr(*self.FSource, Prop::DisplayName, self.FCodePage,
                                  AttachmentFileName(*self.FSource, self.FCodePage)));
        });
        members.Add(QStringLiteral("SaveAsFile"), [](Self& self, const Arguments& args) {
            SaveAttachmentFile(*self.FSource, TextArg(args, 0));
            return Variant();
        });
        // Beyond Outlook's model: the content of a data attachment as a stream
        // object, so that it need not pass through a file. Raises for an embedded
        // item or a reference, which only SaveAsFile handles.
        members.Add(QStringLiteral("OpenData"), [](Self& self, const Arguments&) {
            if (self.FSource->Kind() != AttachKind::Data)
                throw EOleException(
                    QStringLiteral("この添付ファイルはデータとして読み出せません。"));
            AttachmentSource::DataReader reader = self.FSource->OpenData();
            if (!reader)
                throw EOleException(
                    QStringLiteral("この添付ファイルはデータとして読み出せません。"));
            return Variant(std::make_shared<AttachmentDataObject>(std::move(reader)));
        });
    }
    QString ClassName() const override { return QStringLiteral("Attachment"); }

private:
    AttachmentSourcePtr FSource;
    int FCodePage;
};

TDateTime TimeOf(PropertyBag& bag, quint16 id)
{
    const std::optional<quint64> time = FindFileTime(bag, id);
    return time ? DateTimeFromFileTime(*time) : kNoDate;
}

} // namespace

QString AttachmentFileName(AttachmentSource& attachment, int codePage)
{
    for (quint16 id : {Prop::AttachLongFilename, Prop::AttachFilename, Prop::DisplayName}) {
        const QString name = TextOr(attachment, id, codePage);
        if (!name.isEmpty())
            return name;
    }
    return QString();
}

MailItemObject::MailItemObject(MessageSourcePtr source) : FSource(std::move(source)) {}

void MailItemObject::BuildMembers(Automation::ClassMembers<MailItemObject>& members)
{
    using Self = MailItemObject;
    auto text = [&members](const char* name, QString (*get)(Self&)) {
        members.Add(QString::fromLatin1(name),
                    [get](Self& self, const Arguments&) { return Variant(get(self)); });
    };
    text("EntryID", [](Self& self) { return self.FSource->EntryId(); });
    text("Subject", [](Self& self) { return self.Subject(); });
    text("Body", [](Self& self) { return self.Body(); });
    text("ReplyRecipientNames", [](Self& self) {
        return TextOr(*self.FSource, Prop::ReplyRecipientNames, self.FSource->CodePage());
    });
    text("SenderName", [](Self& self) { return self.SenderName(); });
    text("SenderEmailAddress", [](Self& self) { return self.SenderEmailAddress(); });
    text("To", [](Self& self) { return self.RecipientNames(1); });
    text("CC", [](Self& self) { return self.RecipientNames(2); });
    text("BCC", [](Self& self) { return self.RecipientNames(3); });
    text("MessageClass", [](Self& self) {
        return TextOr(*self.FSource, Prop::MessageClass, self.FSource->CodePage());
    });
    members.Add(QStringLiteral("SentOn"),
                [](Self& self, const Arguments&) { return Variant::FromDate(self.SentOn()); });
    members.Add(QStringLiteral("ReceivedTime"), [](Self& self, const Arguments&) {
        return Variant::FromDate(self.ReceivedTime());
    });
    members.Add(QStringLiteral("Importance"), [](Self& self, const Arguments&) {
        return Variant(FindInt(*self.FSource, Prop::Importance).value_or(1));
    });
    members.Add(QStringLiteral("Sensitivity"), [](Self& self, const Arguments&) {
        return Variant(FindInt(*self.FSource, Prop::Sensitivity).value_or(0));
    });
    members.Add(QStringLiteral("Recipients"), [](Self& self, const Arguments&) {
        MessageSourcePtr source = self.FSource;
        const int codePage = source->CodePage();
        return Variant(std::make_shared<Collection>(
            QStringLiteral("Recipients"), [source] { return source->RecipientCount(); },
            [source, codePage](qint32 i) -> DispatchPtr {
                return std::make_shared<RecipientObject>(source->Recipient(i), codePage);
            }));
    });
    members.Add(QStringLiteral("Attachments"), [](Self& self, const Arguments&) {
        MessageSourcePtr source = self.FSource;
        const int codePage = source->CodePage();
        return Variant(std::make_shared<Collection>(
            QStringLiteral("Attachments"), [source] { return source->AttachmentCount(); },
            [source, codePage](qint32 i) -> DispatchPtr {
                return std::make_shared<AttachmentObject>(source->Attachment(i), codePage);
            }));
    });
    members.Add(QStringLiteral("Reply"), [](Self& self, const Arguments&) {
        auto reply = std::make_shared<MemoryMessage>();
        reply->Props.SetText(Prop::MessageClass, QStringLiteral("IPM.Note"));
        reply->Props.SetText(Prop::Subject, QStringLiteral("RE: ") + self.Subject());
        reply->Props.SetInt(Prop::Importance, 1);
        reply->Props.SetInt(Prop::MessageFlags, 8); // unsent
        auto to = std::make_shared<MemoryBag>();
        to->SetText(Prop::DisplayName, self.SenderName());
        const QString address = self.SenderEmailAddress();
        to->SetText(Prop::EmailAddress, address);
        to->SetText(Prop::AddrType, QStringLiteral("SMTP"));
        to->SetInt(Prop::RecipientType, 1);
        reply->Recipients.push_back(to);
        return Variant(std::make_shared<MailItemObject>(reply));
    });
    members.Add(QStringLiteral("SaveAs"), [](Self& self, const Arguments& args) {
        const QString path = TextArg(args, 0);
        const qint32 format = args.size() > 1 ? IntArg(args, 1) : 3;
        QStringList omissions;
        self.FSaveOmissions.clear();
        if (format == 3)
            WriteMsgFile(*self.FSource, path, &omissions);
        else if (format == 0)
            WriteTextFile(self, path, omissions);
        else
            throw EOleException(
                QStringLiteral(
                    "保存形式 %1 には対応していません (対応しているのは 0 テキストと 3 .msg)。")
                    .arg(format));
        self.FSaveOmissions = omissions;
        return Variant();
    });
    // Beyond Outlook's model: what the last SaveAs had to leave out because it
    // could not be read (one sentence per line), empty when nothing.
    members.Add(QStringLiteral("SaveOmissions"), [](Self& self, const Arguments&) {
        return Variant(self.FSaveOmissions.join(QLatin1Char('\n')));
    });
}

QString MailItemObject::Subject()
{
    return StripSubjectMarker(TextOr(*FSource, Prop::Subject, FSource->CodePage()));
}

QString MailItemObject::Body()
{
    const int codePage = FSource->CodePage();
    if (std::optional<RawValue> body = FSource->Find(Prop::Body);
        body && (body->Type == PropType::Unicode || body->Type == PropType::String8))
        return DecodeText(*body, codePage, Prop::Body);
    if (std::optional<RawValue> html = FSource->Find(Prop::Html)) {
        if (html->Type == PropType::Binary) {
            const int htmlCodePage = FindInt(*FSource, Prop::InternetCodePage).value_or(codePage);
            return HtmlToText(DecodeHtml(html->Data, htmlCodePage));
        }
        return HtmlToText(DecodeText(*html, codePage, Prop::Html));
    }
    if (std::optional<RawValue> rtf = FSource->Find(Prop::RtfCompressed))
        return RtfToText(DecompressRtf(rtf->Data), codePage);
    return QString();
}

QString MailItemObject::SenderName()
{
    const int codePage = FSource->CodePage();
    const QString name = TextOr(*FSource, Prop::SenderName, codePage);
    return name.isEmpty() ? TextOr(*FSource, Prop::SentRepresentingName, codePage) : name;
}

QString MailItemObject::SenderEmailAddress()
{
    const int codePage = FSource->CodePage();
    for (quint16 id : {Prop::SenderSmtpAddress, Prop::SentRepresentingSmtpAddress,
                       Prop::SenderEmail, Prop::SentRepresentingEmail}) {
        const QString address = TextOr(*FSource, id, codePage);
        if (!address.isEmpty())
            return address;
    }
    return QString();
}

QString MailItemObject::RecipientNames(int type)
{
    return DisplayNames(*FSource, type);
}

TDateTime MailItemObject::SentOn()
{
    // Files written by other tools may lack the sent time: the received time,
    // then the creation time, stand in for it.
    for (quint16 id : {Prop::ClientSubmitTime, Prop::DeliveryTime, Prop::CreationTime})
        if (const std::optional<quint64> time = FindFileTime(*FSource, id))
            return DateTimeFromFileTime(*time);
    return kNoDate;
}

TDateTime MailItemObject::ReceivedTime()
{
    return TimeOf(*FSource, Prop::DeliveryTime);
}

QStringList MailItemObject::AttachmentNames()
{
    QStringList names;
    const int codePage = FSource->CodePage();
    const int count = FSource->AttachmentCount();
    for (int i = 0; i < count; ++i)
        names << AttachmentFileName(*FSource->Attachment(i), codePage);
    return names;
}

} // namespace OutlookPst
