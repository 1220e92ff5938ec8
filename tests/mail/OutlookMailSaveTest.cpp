// Saving one mail: temporary files and folders, failures, the Outlook formats
// and the Date field.
#include "MailTestSupport.h"
#include "TestSupport.h"
#include "mail/OutlookMail.h"
#include "runtime/Exception.h"

#include <QFileInfo>
#include <QRegularExpression>

using Fake::MailSpec;
using MailTest::MailFixture;

namespace {

MailSpec WithAttachments()
{
    MailSpec spec;
    spec.Subject = QStringLiteral("添付");
    spec.Body = QStringLiteral("本文");
    spec.SenderName = QStringLiteral("Sender");
    spec.SenderEmailAddress = QStringLiteral("sender@example.com");
    spec.Attachments = {{QStringLiteral("同じ名前.txt"), "first"},
                        {QStringLiteral("同じ名前.txt"), "second"}};
    spec.SentOn = EncodeDateTime(2014, 1, 5, 9, 3, 7);
    return spec;
}

} // namespace

class OutlookMailSaveTest : public MailFixture {};

TEST_F(OutlookMailSaveTest, AttachmentsGoThroughATemporaryFolderThatIsDeleted)
{
    const Outlook::TMailItem item = Item(WithAttachments());
    QStringList seen;
    for (qint32 i = 1; i <= 2; ++i) {
        const QByteArray data = i == 1 ? "first" : "second";
        Attachment(item, i)->On(
            QStringLiteral("SaveAsFile"), [&seen, data](const Automation::Arguments& args) {
                const QString path = args.at(0).AsString();
                // Outlook gets an existing, empty file of a new name.
                const QFileInfo info(path);
                EXPECT_TRUE(info.isFile() && info.size() == 0) << path.toStdString();
                seen << path;
                Write(path, data);
                return Automation::Variant();
            });
    }
    const QString target = Out + QStringLiteral("/a.eml");
    TOutlookMail(item).Save(target, 3);

    ASSERT_EQ(seen.size(), 2);
    EXPECT_NE(seen[0], seen[1]);
    const QString folder = QFileInfo(seen[0]).path();
    EXPECT_EQ(QFileInfo(seen[1]).path(), folder);
    EXPECT_EQ(QFileInfo(folder).path(), Tmp);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^tmp[0-9A-F]+\\.tmp$"))
                    .match(QFileInfo(folder).fileName())
                    .hasMatch());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]+\\.tmp$"))
                    .match(QFileInfo(seen[0]).fileName())
                    .hasMatch());
    EXPECT_TRUE(Entries(Tmp).isEmpty());
    EXPECT_EQ(Entries(Out), QStringList{QStringLiteral("a.eml")});
    const QByteArray file = Read(target);
    EXPECT_TRUE(file.contains("Zmlyc3Q=")) << file.constData(); // "first"
    EXPECT_TRUE(file.contains("c2Vjb25k")) << file.constData(); // "second"
}

TEST_F(OutlookMailSaveTest, AFailureLeavesTheTargetAsItWasAndNoTemporaryFiles)
{
    const QString target = Out + QStringLiteral("/a.eml");
    {
        // Outlook fails to save the second attachment: the mail is written without
        // it, and says what was left out.
        const Outlook::TMailItem item = Item(WithAttachments());
        Attachment(item, 2)->Fail(QStringLiteral("SaveAsFile"));
        TOutlookMail mail(item);
        EXPECT_EQ(mail.Save(target, 3, {}), target);
        ASSERT_EQ(mail.GetOmissions().size(), 1);
        EXPECT_TRUE(mail.GetOmissions()[0].startsWith(
            QStringLiteral("添付ファイル 2 を読めないため、除きました")))
            << mail.GetOmissions()[0].toStdString();
        const QByteArray file = Read(target);
        EXPECT_TRUE(file.contains("Zmlyc3Q=")) << file.constData();  // "first"
        EXPECT_FALSE(file.contains("c2Vjb25k")) << file.constData(); // "second"
        // The recipients cannot be read: the mail goes out without them.
        auto object = Fake.MakeMail(WithAttachments(), QStringLiteral("r"));
        object->Fail(QStringLiteral("Recipients"));
        TOutlookMail second{Outlook::TMailItem(Automation::OleRef(object))};
        second.Save(target, 2);
        ASSERT_EQ(second.GetOmissions().size(), 1);
        EXPECT_TRUE(
            second.GetOmissions()[0].startsWith(QStringLiteral("受信者の一覧を読めないため")));
    }
    EXPECT_TRUE(Entries(Tmp).isEmpty());
    EXPECT_EQ(Entries(Out), QStringList{QStringLiteral("a.eml")});
    Write(target, "old");
    {
        // The attachment's file is gone when it is read: the error comes while the
        // target's temporary file is half written (the first attachment is large
        // enough to have been written out).
        MailSpec spec = WithAttachments();
        spec.Attachments[0].Data = QByteArray(300 * 1024, 'x');
        const Outlook::TMailItem item = Item(spec);
        Attachment(item, 2)->On(QStringLiteral("SaveAsFile"),
                                [](const Automation::Arguments& args) {
                                    QFile::remove(args.at(0).AsString());
                                    return Automation::Variant();
                                });
        EXPECT_THROW(TOutlookMail(item).Save(target, 3), EInOutError);
    }
    EXPECT_EQ(Read(target), "old");
    EXPECT_TRUE(Entries(Tmp).isEmpty());
    EXPECT_EQ(Entries(Out), QStringList{QStringLiteral("a.eml")});
    {
        // A mail-item read fails while composing.
        MailSpec spec = WithAttachments();
        auto object = Fake.MakeMail(spec, QStringLiteral("f"));
        object->Fail(QStringLiteral("Body"));
        EXPECT_THROW(TOutlookMail(Outlook::TMailItem(Automation::OleRef(object))).Save(target, 2),
                     EOleException);
    }
    EXPECT_EQ(Read(target), "old");
    EXPECT_EQ(Entries(Out), QStringList{QStringLiteral("a.eml")});
    // A target folder that does not exist.
    EXPECT_THROW(TOutlookMail(Item(WithAttachments())).Save(Out + QStringLiteral("/none/a.eml"), 2),
                 EInOutError);
}

TEST_F(OutlookMailSaveTest, OutlookFormatsAreSavedBesideTheTargetAndRenamed)
{
    const QString target = Out + QStringLiteral("/a.msg");
    Write(target, "old");
    const Outlook::TMailItem item = Item(WithAttachments());
    const struct {
        int type;
        qint32 format;
    } cases[] = {{0, 3}, {1, 0}};
    for (const auto& c : cases) {
        Fake.SavedAs.clear();
        TOutlookMail(item).Save(target, c.type);
        ASSERT_EQ(Fake.SavedAs.size(), 1u);
        EXPECT_EQ(Fake.SavedAs[0].second, c.format);
        EXPECT_EQ(QFileInfo(Fake.SavedAs[0].first).path(), Out);
        EXPECT_TRUE(Fake.SavedAs[0].first.endsWith(QStringLiteral(".tmp")));
        EXPECT_EQ(Read(target), "saved by the fake in format " + QByteArray::number(c.format));
        EXPECT_EQ(Entries(Out), QStringList{QStringLiteral("a.msg")});
    }
    EXPECT_EQ(Fake.Log.Count(QStringLiteral("Subject")) +
                  Fake.Log.Count(QStringLiteral("Attachments")),
              0);

    Write(target, "old");
    std::dynamic_pointer_cast<Fake::FakeObject>(item.GetItem().Object())
        ->Fail(QStringLiteral("SaveAs"));
    EXPECT_THROW(TOutlookMail(item).Save(target, 0), EOleException);
    EXPECT_EQ(Read(target), "old");
    EXPECT_EQ(Entries(Out), QStringList{QStringLiteral("a.msg")});
    EXPECT_TRUE(Entries(Tmp).isEmpty());

    // Outlook's error names the file it was given; the user is told the target.
    const Outlook::TMailItem refused = Item(WithAttachments());
    std::dynamic_pointer_cast<Fake::FakeObject>(refused.GetItem().Object())
        ->On(QStringLiteral("SaveAs"), [](const Automation::Arguments& args) -> Automation::Variant {
            throw EOleException(QStringLiteral("書き込めません: %1: 容量不足").arg(args.at(0).AsString()));
        });
    try {
        TOutlookMail(refused).Save(target, 0);
        ADD_FAILURE() << "no error";
    } catch (const EOleException& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("書き込めません: %1: 容量不足").arg(target)))
            << e.Message().toStdString();
        EXPECT_FALSE(e.Message().contains(QStringLiteral(".tmp"))) << e.Message().toStdString();
    }
    EXPECT_EQ(Entries(Out), QStringList{QStringLiteral("a.msg")});

    // Any other type writes nothing and reports nothing.
    Fake.Log.Clear();
    TOutlookMail(item).Save(Out + QStringLiteral("/b.eml"), 4);
    TOutlookMail(item).Save(Out + QStringLiteral("/b.eml"), -1);
    EXPECT_EQ(Fake.Log.Total(), 0);
    EXPECT_EQ(Entries(Out), QStringList{QStringLiteral("a.msg")});
}

TEST_F(OutlookMailSaveTest, DateCarriesTheOffsetInForceAtTheSentTime)
{
    const struct {
        const char* zone;
        TDateTime sent;
        const char* date;
    } cases[] = {
        {"Europe/Berlin", EncodeDateTime(2014, 1, 5, 9, 3, 7), "Sun, 5 Jan 2014 09:03:07 +0100"},
        {"Europe/Berlin", EncodeDateTime(2014, 7, 5, 9, 3, 7), "Sat, 5 Jul 2014 09:03:07 +0200"},
        {"Asia/Tokyo", EncodeDateTime(2014, 7, 15, 23, 59, 59), "Tue, 15 Jul 2014 23:59:59 +0900"},
        {"UTC", EncodeDateTime(2000, 2, 29, 0, 0, 0), "Tue, 29 Feb 2000 00:00:00 +0000"},
        {"America/St_Johns", EncodeDateTime(2014, 1, 5, 9, 3, 7), "Sun, 5 Jan 2014 09:03:07 -0330"},
        {"America/St_Johns", EncodeDateTime(2014, 7, 5, 9, 3, 7), "Sat, 5 Jul 2014 09:03:07 -0230"},
    };
    const QString target = Out + QStringLiteral("/d.eml");
    for (const auto& c : cases) {
        TestSupport::ScopedTimeZone tz(c.zone);
        MailSpec spec;
        spec.SentOn = c.sent;
        spec.Sensitivity = 0; // normal: no field
        spec.Importance = 3;  // reads as empty: no field
        TOutlookMail(Item(spec)).Save(target, 2);
        const QByteArray file = Read(target);
        EXPECT_EQ(MailTest::HeaderField(file, "Date"), QString::fromLatin1(c.date)) << c.zone;
        EXPECT_FALSE(file.contains("Sensitivity:"));
        EXPECT_FALSE(file.contains("Importance:"));
    }
}

TEST_F(OutlookMailSaveTest, ComposerAcceptsOnlyWhatItCanWrite)
{
    const Outlook::TMailItem item = Item(WithAttachments());
    const QString target = Out + QStringLiteral("/c.eml");
    EXPECT_THROW(TOutlookMail(item).SaveEml(target, false, QStringLiteral("ISO-2022-JP"),
                                            QStringLiteral("BASE64")),
                 Exception);
    EXPECT_THROW(
        TOutlookMail(item).SaveEml(target, true, QStringLiteral("UTF-8"), QStringLiteral("7bit")),
        Exception);
    EXPECT_TRUE(Entries(Out).isEmpty());
    EXPECT_TRUE(Entries(Tmp).isEmpty());

    QChar encoding = QLatin1Char('Q');
    QString charSet = QStringLiteral("ISO-8859-1");
    TInitializeISO(QLatin1Char('B'), QStringLiteral("UTF-8")).InitializeISO(encoding, charSet);
    EXPECT_EQ(encoding, QLatin1Char('B'));
    EXPECT_EQ(charSet, QStringLiteral("UTF-8"));
}

namespace {

// Gives the attachments an OpenData stream over their data, in pieces of
// pieceBytes; a piece asked for after failAfter bytes fails.
void OfferStreams(Fake::FakeOutlook& fake, const std::vector<Fake::FakePtr>& attachments,
                  const MailSpec& described, qsizetype pieceBytes, qsizetype failAfter = -1)
{
    for (std::size_t i = 0; i < described.Attachments.size(); ++i) {
        const QByteArray data = described.Attachments[i].Data;
        auto stream = std::make_shared<Fake::FakeObject>(fake.Log, QStringLiteral("AttachmentData"),
                                                         QStringLiteral("stream%1").arg(i));
        auto used = std::make_shared<qsizetype>(0);
        stream->On(QStringLiteral("Read"), [data, used, pieceBytes, failAfter](
                                               const Automation::Arguments& args) {
            if (failAfter >= 0 && *used >= failAfter)
                throw EOleException(QStringLiteral("ブロックが壊れています。"));
            const qsizetype take =
                std::min({pieceBytes, qsizetype(args.at(0).AsInt()), data.size() - *used});
            const QString text = QString::fromLatin1(data.constData() + *used, take);
            *used += take;
            return Automation::Variant(text);
        });
        attachments.at(i)->On(QStringLiteral("OpenData"),
                 [stream](const Automation::Arguments&) { return Automation::Variant(stream); });
    }
}

QByteArray WithoutBoundaries(QByteArray eml)
{
    static const QRegularExpression boundary(QStringLiteral("[0-9A-Za-z]*=_[0-9A-Za-z]*"));
    return QString::fromLatin1(eml).replace(boundary, QStringLiteral("B")).toLatin1();
}

} // namespace

TEST_F(OutlookMailSaveTest, StreamedAttachmentsGiveTheSameFileWithoutATemporaryFolder)
{
    MailSpec described = WithAttachments();
    // Sizes around the encoder's chunk of 1024 Base64 lines, and every byte value.
    QByteArray bytes;
    for (int i = 0; i < 3 * 57 * 1024 + 5; ++i)
        bytes.append(char((i * 7 + i / 256) & 0xFF));
    described.Attachments[0].Data = bytes.left(57 * 1024);
    described.Attachments[1].Data = bytes;
    const QString saved = Out + QStringLiteral("/saved.eml");
    TOutlookMail(Item(described)).Save(saved, 3);
    const int savedFiles = Fake.Log.Count(QStringLiteral("SaveAsFile"));
    for (const qsizetype piece : {qsizetype(1000), qsizetype(57 * 1024), qsizetype(1 << 20)}) {
        const Outlook::TMailItem item = Item(described);
        OfferStreams(Fake, {Attachment(item, 1), Attachment(item, 2)}, described, piece);
        const QString streamed = Out + QStringLiteral("/streamed.eml");
        TOutlookMail(item).Save(streamed, 3);
        EXPECT_EQ(WithoutBoundaries(Read(streamed)), WithoutBoundaries(Read(saved))) << piece;
        EXPECT_EQ(Fake.Log.Count(QStringLiteral("SaveAsFile")), savedFiles);
        EXPECT_TRUE(Entries(Tmp).isEmpty()); // no temporary folder was made
    }
}

TEST_F(OutlookMailSaveTest, AStreamThatBreaksOffIsWrittenAgainThroughFiles)
{
    MailSpec described = WithAttachments();
    described.Attachments[1].Data = QByteArray(200 * 1024, 'y');
    const QString saved = Out + QStringLiteral("/saved.eml");
    TOutlookMail(Item(described)).Save(saved, 3);
    {
        // The stream fails part-way; SaveAsFile reads the attachment fine.
        const Outlook::TMailItem item = Item(described);
        OfferStreams(Fake, {Attachment(item, 1), Attachment(item, 2)}, described, 4096, 100 * 1024);
        const QString target = Out + QStringLiteral("/retried.eml");
        TOutlookMail mail(item);
        mail.Save(target, 3);
        EXPECT_EQ(WithoutBoundaries(Read(target)), WithoutBoundaries(Read(saved)));
        EXPECT_TRUE(mail.GetOmissions().isEmpty());
    }
    {
        // Both fail: the attachment is left out and said so, as without streams.
        const Outlook::TMailItem item = Item(described);
        OfferStreams(Fake, {Attachment(item, 1), Attachment(item, 2)}, described, 4096, 100 * 1024);
        Attachment(item, 2)->Fail(QStringLiteral("SaveAsFile"));
        const QString target = Out + QStringLiteral("/omitted.eml");
        TOutlookMail mail(item);
        mail.Save(target, 3);
        ASSERT_EQ(mail.GetOmissions().size(), 1);
        EXPECT_TRUE(mail.GetOmissions()[0].startsWith(QStringLiteral("添付ファイル 2 を読めない")));
        const QByteArray file = Read(target);
        EXPECT_TRUE(file.contains("Zmlyc3Q=")); // "first"
        EXPECT_FALSE(file.contains("eXl5eXl5")); // nothing of the broken one
    }
    EXPECT_TRUE(Entries(Tmp).isEmpty());
}
