// .msg and text files written by SaveAs, read back by msgconvert and Python's
// email package.
#include "OutlookPst.h"
#include "PstTestSupport.h"
#include "Writers.h"
#include "TestSupport.h"
#include "automation/ComObj.h"
#include "runtime/Exception.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using Automation::OleRef;
using namespace OutlookPst;
using namespace PstTest;

namespace {

// Converts .msg files of one folder with msgconvert and reads the .eml files.
QJsonArray Msgconvert(const QString& dir, const QStringList& names)
{
    QStringList quoted;
    for (const QString& n : names)
        quoted << QLatin1Char('\'') + n + QLatin1Char('\'');
    int exitCode = -1;
    QByteArray errors;
    TestSupport::Run(QStringLiteral("sh"),
                     {QStringLiteral("-c"), QStringLiteral("cd '%1' && msgconvert %2").arg(dir, quoted.join(QLatin1Char(' ')))},
                     &exitCode, &errors);
    EXPECT_EQ(exitCode, 0) << errors.toStdString();
    QStringList emls;
    for (QString n : names)
        emls << dir + QLatin1Char('/') + n.replace(QStringLiteral(".msg"), QStringLiteral(".eml"));
    const QByteArray json = TestSupport::Run(QStringLiteral("python3"),
                                             QStringList{QStringLiteral(TIDEWELL_SOURCE_DIR "/tests/pst/eml_dump.py")} + emls,
                                             &exitCode, &errors);
    EXPECT_EQ(exitCode, 0) << errors.toStdString();
    return QJsonDocument::fromJson(json).array();
}

QString Lines(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

QByteArray Utf16Bytes(const QString& text)
{
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

std::shared_ptr<MemoryMessage> Fixture()
{
    auto m = std::make_shared<MemoryMessage>();
    m->StringCodePage = 932;
    m->Props.SetText(Prop::MessageClass, QStringLiteral("IPM.Note"));
    // "会議のお知らせ ①～" as an 8-bit string of code page 932.
    m->Props.Set(Prop::Subject, PropType::String8,
                 QByteArray::fromHex("89EF8B6382CC82A8926D82E782B92087408160"));
    m->Props.SetText(Prop::SenderName, QStringLiteral("山田 太郎"));
    m->Props.SetText(Prop::SenderEmail, QStringLiteral("yamada@example.jp"));
    m->Props.SetText(Prop::SenderAddrType, QStringLiteral("SMTP"));
    m->Props.SetText(Prop::Body, QStringLiteral("佐藤さん\r\n\r\n来週の会議の資料を送ります。\r\n"));
    m->Props.SetText(Prop::DisplayTo, QStringLiteral("stale text"));
    NamedProp keyword;
    keyword.Guid = QByteArray::fromHex("0820060000000000c000000000000046");
    keyword.Id = 0x8554;
    m->Props.Entries.push_back(PropEntry{0x8001, RawValue{PropType::Unicode, Utf16Bytes(QStringLiteral("16.0"))}, keyword});
    auto to = std::make_shared<MemoryBag>();
    to->SetText(Prop::DisplayName, QStringLiteral("佐藤 花子"));
    to->SetText(Prop::EmailAddress, QStringLiteral("/O=EXAMPLE/CN=SATO"));
    to->SetText(Prop::AddrType, QStringLiteral("EX"));
    to->SetText(Prop::SmtpAddress, QStringLiteral("sato@example.jp"));
    to->SetInt(Prop::RecipientType, 1);
    auto cc = std::make_shared<MemoryBag>();
    cc->SetText(Prop::DisplayName, QStringLiteral("Bob"));
    cc->SetText(Prop::EmailAddress, QStringLiteral("bob@example.com"));
    cc->SetText(Prop::AddrType, QStringLiteral("SMTP"));
    cc->SetInt(Prop::RecipientType, 2);
    m->Recipients = {to, cc};

    auto big = std::make_shared<MemoryAttachment>();
    big->Props.SetText(Prop::AttachLongFilename, QStringLiteral("資料.bin"));
    big->Props.SetInt(Prop::AttachMethod, 1);
    QRandomGenerator random(4);
    big->Data.resize(200000);
    for (char& c : big->Data)
        c = static_cast<char>(random.bounded(256));
    auto small = std::make_shared<MemoryAttachment>();
    small->Props.SetText(Prop::AttachFilename, QStringLiteral("memo.txt"));
    small->Props.SetInt(Prop::AttachMethod, 1);
    small->Data = "short text\n";
    auto inner = std::make_shared<MemoryMessage>();
    inner->Props.SetText(Prop::Subject, QStringLiteral("元のメール"));
    inner->Props.SetText(Prop::Body, QStringLiteral("元の本文"));
    inner->Props.SetText(Prop::SenderName, QStringLiteral("Carol"));
    inner->Props.SetText(Prop::SenderEmail, QStringLiteral("carol@example.org"));
    auto embedded = std::make_shared<MemoryAttachment>();
    embedded->Props.SetText(Prop::DisplayName, QStringLiteral("元のメール"));
    embedded->Props.SetInt(Prop::AttachMethod, 5);
    embedded->Type = AttachKind::Embedded;
    embedded->Message = inner;
    m->Attachments = {big, small, embedded};
    return m;
}

class MsgTest : public ::testing::Test {
protected:
    void TearDown() override { Automation::ClearRunningObjects(); }
    QTemporaryDir FDir;
};

// An attachment whose data fails after 100 000 bytes have been handed out.
class FailingAttachment : public MemoryAttachment {
public:
    void ReadData(const std::function<void(const char*, qsizetype)>& sink) override
    {
        const QByteArray chunk(100000, 'x');
        sink(chunk.constData(), chunk.size());
        throw EOleException(QStringLiteral("壊れたデータ"));
    }
};

} // namespace

TEST_F(MsgTest, AMessageWithRecipientsAttachmentsAndAnEmbeddedMessageOpensInMsgconvert)
{
    auto fixture = Fixture();
    WriteMsgFile(*fixture, FDir.filePath(QStringLiteral("m.msg")));
    const QJsonArray emls = Msgconvert(FDir.path(), {QStringLiteral("m.msg")});
    ASSERT_EQ(emls.size(), 1);
    const QJsonObject eml = emls[0].toObject();
    EXPECT_EQ(eml[QStringLiteral("Subject")].toString(), QStringLiteral("会議のお知らせ ①～"));
    EXPECT_EQ(eml[QStringLiteral("From")].toString(), QStringLiteral("山田 太郎 <yamada@example.jp>"));
    // The display texts are those of the recipient table, not the stale stored one.
    EXPECT_EQ(eml[QStringLiteral("To")].toString(), QStringLiteral("佐藤 花子 <sato@example.jp>"));
    EXPECT_EQ(eml[QStringLiteral("Cc")].toString(), QStringLiteral("Bob <bob@example.com>"));
    EXPECT_EQ(Lines(eml[QStringLiteral("body")].toString()), Lines(QStringLiteral("佐藤さん\n\n来週の会議の資料を送ります。")));
    const QJsonArray attachments = eml[QStringLiteral("attachments")].toArray();
    ASSERT_EQ(attachments.size(), 3);
    EXPECT_EQ(attachments[0][QStringLiteral("name")].toString(), QStringLiteral("資料.bin"));
    EXPECT_EQ(QByteArray::fromHex(attachments[0][QStringLiteral("data")].toString().toLatin1()),
              fixture->Attachments[0]->Data);
    EXPECT_EQ(attachments[1][QStringLiteral("name")].toString(), QStringLiteral("memo.txt"));
    EXPECT_EQ(QByteArray::fromHex(attachments[1][QStringLiteral("data")].toString().toLatin1()), QByteArray("short text\n"));
    const QJsonObject inner = attachments[2][QStringLiteral("message")].toObject();
    EXPECT_EQ(inner[QStringLiteral("Subject")].toString(), QStringLiteral("元のメール"));
    EXPECT_EQ(inner[QStringLiteral("From")].toString(), QStringLiteral("Carol <carol@example.org>"));
    EXPECT_EQ(Lines(inner[QStringLiteral("body")].toString()), QStringLiteral("元の本文"));

    // Saved on its own, the embedded message is a .msg file; a reference is refused.
    const QString saved = FDir.filePath(QStringLiteral("inner.msg"));
    SaveAttachmentFile(*fixture->Attachments[2], saved);
    EXPECT_TRUE(ReadFile(saved).startsWith(QByteArray::fromHex("d0cf11e0a1b11ae1")));
    MemoryAttachment reference;
    reference.Type = AttachKind::Reference;
    EXPECT_THROW(SaveAttachmentFile(reference, FDir.filePath(QStringLiteral("ref.bin"))), EOleException);
    EXPECT_FALSE(QFile::exists(FDir.filePath(QStringLiteral("ref.bin"))));
}

TEST_F(MsgTest, EveryItemOfTheSampleFileOpensInMsgconvert)
{
    const Exported& expected = PffExport(SamplePath());
    const OleRef ns = NewNamespace({SamplePath()});
    const OleRef top = Elements(ns, QStringLiteral("Folders")).front();
    QStringList names;
    std::vector<OleRef> items;
    for (const ExportedMessage& m : expected.Messages) {
        const OleRef item = FolderAt(top, m.Folder).GetObject(QStringLiteral("Items")).GetObject(QStringLiteral("Item"), {m.Index});
        names << QStringLiteral("m%1.msg").arg(names.size());
        item.Call(QStringLiteral("SaveAs"), {FDir.filePath(names.last()), 3});
        items.push_back(item);
    }
    const QJsonArray emls = Msgconvert(FDir.path(), names);
    ASSERT_EQ(emls.size(), static_cast<qsizetype>(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i) {
        const ExportedMessage& m = expected.Messages[i];
        SCOPED_TRACE((m.Folder + QStringLiteral(" #") + QString::number(m.Index)).toStdString());
        const QJsonObject eml = emls[static_cast<qsizetype>(i)].toObject();
        EXPECT_EQ(eml[QStringLiteral("Subject")].toString().simplified(), m.Headers.value(QStringLiteral("Subject")).simplified());
        EXPECT_EQ(Lines(eml[QStringLiteral("body")].toString()), Lines(items[i].GetText(QStringLiteral("Body"))));
        const QJsonArray attachments = eml[QStringLiteral("attachments")].toArray();
        ASSERT_EQ(static_cast<std::size_t>(attachments.size()), m.Attachments.size());
        for (std::size_t a = 0; a < m.Attachments.size(); ++a) {
            // msgconvert shortens long attachment names.
            const QString name = ExportName(attachments[static_cast<qsizetype>(a)][QStringLiteral("name")].toString());
            EXPECT_TRUE(m.Attachments[a].Name.startsWith(name) && name.size() >= std::min<qsizetype>(40, m.Attachments[a].Name.size()))
                << name.toStdString() << " / " << m.Attachments[a].Name.toStdString();
            EXPECT_EQ(QByteArray::fromHex(attachments[static_cast<qsizetype>(a)][QStringLiteral("data")].toString().toLatin1()),
                      m.Attachments[a].Data);
        }
    }
}

TEST_F(MsgTest, TextFormatHasTheHeaderLinesThatHaveValuesThenTheBody)
{
    TestSupport::ScopedTimeZone zone("Asia/Tokyo");
    const OleRef ns = NewNamespace({SamplePath()});
    const OleRef top = Elements(ns, QStringLiteral("Folders")).front();
    const QString sentPath = QStringLiteral("\\lokay-m\\MLOKAY (Non-Privileged)\\Sent Items");
    const Exported& expected = PffExport(SamplePath());
    for (const ExportedMessage& m : expected.Messages) {
        if (m.Folder != sentPath && m.Attachments.size() != 2)
            continue;
        SCOPED_TRACE((m.Folder + QStringLiteral(" #") + QString::number(m.Index)).toStdString());
        const OleRef item = FolderAt(top, m.Folder).GetObject(QStringLiteral("Items")).GetObject(QStringLiteral("Item"), {m.Index});
        const QString path = FDir.filePath(QStringLiteral("m.txt"));
        item.Call(QStringLiteral("SaveAs"), {path, 0});
        const QString text = QString::fromUtf8(ReadFile(path));
        QStringList header;
        header << QStringLiteral("差出人:\t") + m.Headers.value(QStringLiteral("Sender name"));
        const QDateTime sent = ParsePffTime(m.Headers.value(QStringLiteral("Client submit time"))).toLocalTime();
        header << QStringLiteral("送信日時:\t") + sent.toString(QStringLiteral("yyyy年M月d日 H:mm"));
        QStringList to, cc, files;
        for (const ExportedRecipient& r : m.Recipients)
            (r.Type == QLatin1String("To") ? to : cc) << r.Name;
        if (!to.isEmpty())
            header << QStringLiteral("宛先:\t") + to.join(QStringLiteral("; "));
        if (!cc.isEmpty())
            header << QStringLiteral("CC:\t") + cc.join(QStringLiteral("; "));
        header << QStringLiteral("件名:\t") + m.Headers.value(QStringLiteral("Subject"));
        for (const ExportedAttachment& a : m.Attachments)
            files << a.Name;
        const qsizetype blank = text.indexOf(QStringLiteral("\r\n\r\n"));
        ASSERT_GT(blank, 0);
        QStringList lines = text.left(blank).split(QStringLiteral("\r\n"));
        if (!files.isEmpty()) {
            ASSERT_TRUE(lines.last().startsWith(QStringLiteral("添付ファイル:\t")));
            QStringList written = lines.takeLast().mid(8).split(QStringLiteral("; "));
            for (QString& w : written)
                w = ExportName(w);
            EXPECT_EQ(written, files);
        }
        EXPECT_EQ(lines, header);
        EXPECT_EQ(text.mid(blank + 4), item.GetText(QStringLiteral("Body")));
    }
}

TEST_F(MsgTest, AFailedSaveLeavesTheTargetAsItWas)
{
    const QString target = FDir.filePath(QStringLiteral("keep.msg"));
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("old content");
    file.close();

    auto message = Fixture();
    message->Attachments.push_back(std::make_shared<FailingAttachment>());
    EXPECT_THROW(WriteMsgFile(*message, target), EOleException);

    const OleRef ns = NewNamespace({SamplePath()});
    const OleRef item = FolderAt(Elements(ns, QStringLiteral("Folders")).front(),
                                 QStringLiteral("\\lokay-m\\MLOKAY (Non-Privileged)\\Sent Items"))
                            .GetObject(QStringLiteral("Items"))
                            .GetObject(QStringLiteral("Item"), {1});
    try {
        item.Call(QStringLiteral("SaveAs"), {target, 5});
        ADD_FAILURE() << "format 5 was accepted";
    } catch (const EOleException& e) {
        EXPECT_TRUE(e.Message().contains(QLatin1String("5"))) << e.Message().toStdString();
    }
    EXPECT_THROW(item.Call(QStringLiteral("SaveAs"), {FDir.filePath(QStringLiteral("no/such/dir/x.msg")), 3}),
                 EOleException);
    EXPECT_EQ(ReadFile(target), QByteArray("old content"));
    EXPECT_EQ(QDir(FDir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("keep.msg")});

    // A successful save replaces the file.
    item.Call(QStringLiteral("SaveAs"), {target, 3});
    EXPECT_TRUE(ReadFile(target).startsWith(QByteArray::fromHex("d0cf11e0a1b11ae1")));
}

// The eml writer names each attachment's file by creating it empty first. Such
// a file is written in place, and a failed write leaves it empty.
TEST_F(MsgTest, AnEmptyTargetIsWrittenInPlaceAndEmptiedAgainOnFailure)
{
    const QString target = FDir.filePath(QStringLiteral("placeholder.tmp"));
    QFile placeholder(target);
    ASSERT_TRUE(placeholder.open(QIODevice::WriteOnly));
    placeholder.close();
    const auto inode = [&target] {
        struct stat st {};
        EXPECT_EQ(stat(QFile::encodeName(target).constData(), &st), 0);
        return st.st_ino;
    };
    const auto before = inode();

    FailingAttachment failing;
    EXPECT_THROW(SaveAttachmentFile(failing, target), EOleException);
    EXPECT_EQ(ReadFile(target), QByteArray());
    EXPECT_EQ(inode(), before);

    MemoryAttachment good;
    good.Data = QByteArray(300000, 'y') + "end";
    SaveAttachmentFile(good, target);
    EXPECT_EQ(ReadFile(target), good.Data);
    EXPECT_EQ(inode(), before);
    EXPECT_EQ(QDir(FDir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("placeholder.tmp")});

    // A file that is not empty, an empty one reached through a symbolic link,
    // or a FIFO is replaced through a temporary file instead.
    SaveAttachmentFile(good, target);
    EXPECT_NE(inode(), before);
    const QString empty = FDir.filePath(QStringLiteral("empty"));
    const QString link = FDir.filePath(QStringLiteral("link"));
    QFile(empty).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(empty, link));
    SaveAttachmentFile(good, link);
    EXPECT_EQ(ReadFile(empty), QByteArray());
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadFile(link), good.Data);
    const QString fifo = FDir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    SaveAttachmentFile(good, fifo); // must not wait for a reader
    EXPECT_EQ(ReadFile(fifo), good.Data);
}
