// The tidewell-outlook program, run as a user runs it.
#include "PstTestSupport.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace PstTest;

namespace {

struct Result {
    int Code = -1;
    QString Out;
    QString Err;
};

Result Tool(const QStringList& args)
{
    Result r;
    QByteArray err;
    r.Out = QString::fromUtf8(TestSupport::Run(
        TestSupport::BinaryDir() + QStringLiteral("/tidewell-outlook"), args, &r.Code, &err));
    r.Err = QString::fromUtf8(err);
    return r;
}

QStringList WithStore(const QStringList& args)
{
    return QStringList{QStringLiteral("--store"), SamplePath()} + args;
}

// Sets environment variables for the programs the test starts.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : FName(name), FOld(qgetenv(name)), FHad(qEnvironmentVariableIsSet(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (FHad)
            qputenv(FName, FOld);
        else
            qunsetenv(FName);
    }

private:
    const char* FName;
    QByteArray FOld;
    bool FHad;
};

const QString kTop = QStringLiteral("\\Personal folders");
const QString kSent =
    QStringLiteral("\\Personal folders\\lokay-m\\MLOKAY (Non-Privileged)\\Sent Items");

} // namespace

TEST(ToolTest, TreeListsEveryFolderWithItsTypeAndCount)
{
    const Exported& expected = PffExport(SamplePath());
    const Result r = Tool(WithStore({QStringLiteral("tree")}));
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    QStringList lines = r.Out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.takeFirst(), kTop + QStringLiteral("\t0\t0"));
    QStringList paths;
    for (const QString& line : lines) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        ASSERT_EQ(fields.size(), 3) << line.toStdString();
        ASSERT_TRUE(fields[0].startsWith(kTop + QLatin1Char('\\')));
        const QString path = fields[0].mid(kTop.size());
        paths << path;
        EXPECT_EQ(fields[1], QStringLiteral("0"));
        const auto count =
            std::count_if(expected.Messages.begin(), expected.Messages.end(),
                          [&](const ExportedMessage& m) { return m.Folder == path; });
        EXPECT_EQ(fields[2].toInt(), count) << path.toStdString();
    }
    // Tree order: every folder comes after its parent.
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString parent = paths[i].section(QLatin1Char('\\'), 0, -2);
        if (!parent.isEmpty()) {
            EXPECT_LT(paths.indexOf(parent), i) << paths[i].toStdString();
        }
    }
    paths.sort();
    EXPECT_EQ(paths, expected.Folders);
}

TEST(ToolTest, ShowPrintsOneMailAsJson)
{
    TestSupport::ScopedTimeZone zone("UTC");
    const Exported& expected = PffExport(SamplePath());
    const ExportedMessage* message = nullptr;
    for (const ExportedMessage& m : expected.Messages)
        if (m.Attachments.size() == 2 && !message)
            message = &m;
    ASSERT_NE(message, nullptr);
    const Result r = Tool(WithStore(
        {QStringLiteral("show"), kTop + message->Folder, QString::number(message->Index)}));
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(r.Out.toUtf8()).object();
    for (const char* key : {"EntryID", "Subject", "Body", "ReplyRecipientNames", "SenderName",
                            "SenderEmailAddress", "To", "CC", "BCC", "SentOn", "ReceivedTime",
                            "Importance", "Sensitivity", "Recipients", "Attachments"})
        EXPECT_TRUE(json.contains(QLatin1String(key))) << key;
    EXPECT_EQ(json[QStringLiteral("Subject")].toString(),
              message->Headers.value(QStringLiteral("Subject")));
    EXPECT_EQ(json[QStringLiteral("SenderName")].toString(),
              message->Headers.value(QStringLiteral("Sender name")));
    EXPECT_EQ(json[QStringLiteral("SentOn")].toString(),
              ParsePffTime(message->Headers.value(QStringLiteral("Client submit time")))
                  .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
    const QJsonArray recipients = json[QStringLiteral("Recipients")].toArray();
    ASSERT_EQ(static_cast<std::size_t>(recipients.size()), message->Recipients.size());
    EXPECT_EQ(recipients[0][QStringLiteral("Name")].toString(), message->Recipients[0].Name);
    EXPECT_EQ(recipients[0][QStringLiteral("Address")].toString(), message->Recipients[0].Address);
    const QJsonArray attachments = json[QStringLiteral("Attachments")].toArray();
    ASSERT_EQ(attachments.size(), 2);
    EXPECT_EQ(ExportName(attachments[1].toString()), message->Attachments[1].Name);
}

TEST(ToolTest, SaveWritesMsgAndText)
{
    QTemporaryDir dir;
    const QString msg = dir.filePath(QStringLiteral("a.msg"));
    const QString txt = dir.filePath(QStringLiteral("a.txt"));
    Result r = Tool(WithStore({QStringLiteral("save"), kSent, QStringLiteral("1"), msg,
                               QStringLiteral("--format"), QStringLiteral("msg")}));
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_TRUE(ReadFile(msg).startsWith(QByteArray::fromHex("d0cf11e0a1b11ae1")));
    r = Tool(WithStore({QStringLiteral("save"), kSent, QStringLiteral("2"), txt,
                        QStringLiteral("--format"), QStringLiteral("txt")}));
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_TRUE(QString::fromUtf8(ReadFile(txt)).startsWith(QStringLiteral("差出人:\t")));
    r = Tool(WithStore({QStringLiteral("save"), kSent, QStringLiteral("1"), msg,
                        QStringLiteral("--format"), QStringLiteral("rtf")}));
    EXPECT_NE(r.Code, 0);
    EXPECT_TRUE(r.Err.contains(QLatin1String("rtf"))) << r.Err.toStdString();
}

TEST(ToolTest, ErrorsGoToStandardErrorWithAFailingExitCode)
{
    // 1 for what the data file does not hold, 2 for a command line that does not
    // say what to do.
    const struct {
        QStringList Args;
        int Code;
    } cases[] = {
        {WithStore({QStringLiteral("show"), kTop + QStringLiteral("\\No such folder"),
                    QStringLiteral("1")}),
         1},
        {WithStore({QStringLiteral("show"), kSent, QStringLiteral("0")}), 1},
        {WithStore({QStringLiteral("show"), kSent, QStringLiteral("3")}), 1},
        {{QStringLiteral("--store"), QStringLiteral("/no/such/file.pst"), QStringLiteral("tree")},
         1},
        {WithStore({QStringLiteral("show"), kSent, QStringLiteral("x")}), 2},
        {WithStore({QStringLiteral("show"), kSent}), 2},
        {WithStore({QStringLiteral("save"), kSent, QStringLiteral("1")}), 2},
        {WithStore({QStringLiteral("save"), kSent, QStringLiteral("1"), QStringLiteral("a"),
                    QStringLiteral("--format")}),
         2},
        {WithStore({QStringLiteral("tree"), QStringLiteral("extra")}), 2},
        {{QStringLiteral("profile")}, 2},
        {{QStringLiteral("profile"), QStringLiteral("add")}, 2},
        {WithStore({QStringLiteral("frobnicate")}), 2},
        {{QStringLiteral("--store")}, 2},
        {{}, 2},
    };
    for (const auto& c : cases) {
        const Result r = Tool(c.Args);
        EXPECT_EQ(r.Code, c.Code) << c.Args.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(r.Err.trimmed().isEmpty()) << c.Args.join(QLatin1Char(' ')).toStdString();
    }
    const Result help = Tool({QStringLiteral("--help")});
    EXPECT_EQ(help.Code, 0);
    EXPECT_TRUE(help.Out.contains(QLatin1String("profile add")));
}

TEST(ToolTest, ProfileCommandsEditTheProfileThatTreeReads)
{
    QTemporaryDir dir;
    const ScopedEnv profile("TIDEWELL_OUTLOOK_PROFILE", QByteArray());
    const ScopedEnv config("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    Result r = Tool({QStringLiteral("tree")});
    EXPECT_EQ(r.Code, 0);
    EXPECT_TRUE(r.Out.isEmpty()); // an empty profile is an empty tree

    ASSERT_EQ(Tool({QStringLiteral("profile"), QStringLiteral("add"), SamplePath()}).Code, 0);
    ASSERT_EQ(Tool({QStringLiteral("profile"), QStringLiteral("add"), SamplePath()}).Code, 0);
    EXPECT_EQ(QString::fromUtf8(ReadFile(dir.filePath(QStringLiteral("tidewell/outlook-profile")))),
              QFileInfo(SamplePath()).absoluteFilePath() + QLatin1Char('\n'));
    r = Tool({QStringLiteral("profile"), QStringLiteral("list")});
    EXPECT_EQ(r.Out, QFileInfo(SamplePath()).absoluteFilePath() + QLatin1Char('\n'));
    r = Tool({QStringLiteral("tree")});
    EXPECT_TRUE(r.Out.startsWith(kTop + QLatin1Char('\t'))) << r.Out.toStdString();

    ASSERT_EQ(Tool({QStringLiteral("profile"), QStringLiteral("remove"), SamplePath()}).Code, 0);
    EXPECT_TRUE(Tool({QStringLiteral("profile"), QStringLiteral("list")}).Out.isEmpty());
    EXPECT_NE(Tool({QStringLiteral("profile"), QStringLiteral("remove"), SamplePath()}).Code, 0);
    EXPECT_NE(Tool({QStringLiteral("profile"), QStringLiteral("add"),
                    dir.filePath(QStringLiteral("none.pst"))})
                  .Code,
              0);

    // TIDEWELL_OUTLOOK_PROFILE names another file.
    const QString other = dir.filePath(QStringLiteral("other-profile"));
    const ScopedEnv named("TIDEWELL_OUTLOOK_PROFILE", other.toLocal8Bit());
    ASSERT_EQ(Tool({QStringLiteral("profile"), QStringLiteral("add"), SamplePath()}).Code, 0);
    EXPECT_TRUE(QFile::exists(other));
}
