// tidewell-export on the sample data file, checked against pffexport's reading of
// the same file and, for the .eml files, with Python's email package.
#include "../mail/MailTestSupport.h"
#include "../pst/PstTestSupport.h"
#include "OutlookPst.h"
#include "TestSupport.h"
#include "app/ErrorMail.h"
#include "outlook/Folder.h"
#include "outlook/Outlook.h"
#include "runtime/DateTime.h"
#include "runtime/Exception.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using PstTest::PffExport;
using PstTest::SamplePath;

namespace {

struct RunResult {
    int code = -1;
    QString err;
};

RunResult Export(const QStringList& args)
{
    RunResult r;
    QByteArray err;
    TestSupport::Run(TestSupport::BinaryDir() + QStringLiteral("/tidewell-export"),
                     QStringList{QStringLiteral("--store"), SamplePath()} + args, &r.code, &err);
    r.err = QString::fromUtf8(err);
    return r;
}

QStringList Files(const QString& dir)
{
    return TestSupport::FilesBelow(dir);
}

// Directories below dir, as "\"-separated paths like pffexport's folder paths.
QStringList Dirs(const QString& dir)
{
    QStringList out;
    QDirIterator it(dir, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QLatin1Char('\\') + QDir(dir).relativeFilePath(it.next()).replace(QLatin1Char('/'),
                                                                                 QLatin1Char('\\'));
    out.sort();
    return out;
}

// The export folder of a pffexport folder path.
QString DirOf(const QString& out, const QString& pffFolder)
{
    return out + QString(pffFolder).replace(QLatin1Char('\\'), QLatin1Char('/'));
}

class ExportToolTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
};

} // namespace

TEST_F(ExportToolTest, EveryTypeAndNamingRuleExportsTheWholeSample)
{
    TestSupport::ScopedTimeZone tz("Asia/Tokyo");
    const auto& sample = PffExport(SamplePath());
    ASSERT_EQ(sample.Messages.size(), 71u);
    const char* types[] = {"msg", "txt", "eml", "eml-attachments"};
    const char* extensions[] = {".msg", ".txt", ".eml", ".eml"};
    for (int t = 0; t < 4; ++t) {
        for (const char* rule : {"sequence", "subject", "parameter"}) {
            const QString out = tmp.filePath(
                QStringLiteral("%1-%2").arg(QLatin1String(types[t]), QLatin1String(rule)));
            QStringList args{QStringLiteral("--type"), QLatin1String(types[t]),
                             QStringLiteral("--name"), QLatin1String(rule),
                             QStringLiteral("--out"),  out};
            if (QLatin1String(rule) == QLatin1String("parameter"))
                args << QStringLiteral("--parameter") << QStringLiteral("(?s)^\\W*(\\w+)")
                     << QStringLiteral("--regex");
            const RunResult r = Export(args);
            const QString label =
                QStringLiteral("%1 %2").arg(QLatin1String(types[t]), QLatin1String(rule));
            ASSERT_EQ(r.code, 0) << label.toStdString() << "\n" << r.err.toStdString();
            const QStringList files = Files(out);
            EXPECT_EQ(files.size(), 71) << label.toStdString();
            for (const QString& f : files)
                EXPECT_TRUE(f.endsWith(QLatin1String(extensions[t]))) << f.toStdString();
            // The directory tree mirrors the folders (the root's own files go straight in).
            EXPECT_EQ(Dirs(out), sample.Folders) << label.toStdString();
            EXPECT_TRUE(r.err.contains(QStringLiteral("エクスポート処理を終了しました。")));
        }
    }

    // With sequence names, file n of a folder is its n-th mail: it carries that
    // mail's sent time.
    for (const auto& m : sample.Messages) {
        const QString file = DirOf(tmp.filePath(QStringLiteral("eml-sequence")), m.Folder) +
                             QStringLiteral("/%1.eml").arg(m.Index);
        const QDateTime sent =
            PstTest::ParsePffTime(m.Headers.value(QStringLiteral("Client submit time")));
        ASSERT_TRUE(QFileInfo::exists(file)) << file.toStdString();
        EXPECT_EQ(QFileInfo(file).lastModified().toSecsSinceEpoch(), sent.toSecsSinceEpoch())
            << file.toStdString();
    }
}

TEST_F(ExportToolTest, EmlFilesOfTheSampleCarryWhatTheMailItemsGave)
{
    TestSupport::ScopedTimeZone tz("Asia/Tokyo");
    const QString out = tmp.filePath(QStringLiteral("eml"));
    ASSERT_EQ(Export({QStringLiteral("--type"), QStringLiteral("eml-attachments"),
                      QStringLiteral("--out"), out})
                  .code,
              0);

    // The mail items as the Outlook layer reads them through the stand-in, the
    // attachment bytes as pffexport finds them.
    OutlookPst::RegisterOutlookApplication();
    OutlookPst::SetSessionStores({SamplePath()});
    TOutlook* session = TOutlookSingleton::GetInstance();
    const QString top = QLatin1Char('\\') + session->GetFolders().front()->GetName();
    QJsonArray cases;
    for (const auto& m : PffExport(SamplePath()).Messages) {
        Outlook::TFolder* folder = session->FindFolder(top + m.Folder);
        ASSERT_NE(folder, nullptr) << m.Folder.toStdString();
        Outlook::TMailItem item = folder->GetMessages()->GetItem(m.Index - 1);
        auto pairs = [](const std::vector<IMailAddressPairPtr>& list) {
            QJsonArray a;
            for (const auto& p : list) {
                const bool sameAsAddress =
                    p->GetName().compare(p->GetAddress(), Qt::CaseInsensitive) == 0;
                a.append(QJsonArray{sameAsAddress ? QString() : p->GetName(), p->GetAddress()});
            }
            return a;
        };
        const QString senderName = item.GetSenderName();
        const QString senderAddress = item.GetSenderEmailAddress();
        QJsonArray attachments;
        const auto itemAttachments = item.GetAttachments();
        ASSERT_EQ(itemAttachments.size(), m.Attachments.size());
        for (std::size_t i = 0; i < m.Attachments.size(); ++i)
            attachments.append(QJsonObject{
                {QStringLiteral("filename"), itemAttachments[i].GetFileName()},
                {QStringLiteral("size"), m.Attachments[i].Data.size()},
                {QStringLiteral("sha256"),
                 QString::fromLatin1(
                     QCryptographicHash::hash(m.Attachments[i].Data, QCryptographicHash::Sha256)
                         .toHex())}});
        cases.append(QJsonObject{
            {QStringLiteral("path"), DirOf(out, m.Folder) + QStringLiteral("/%1.eml").arg(m.Index)},
            {QStringLiteral("multipart"), !m.Attachments.empty()},
            {QStringLiteral("from"),
             QJsonArray{senderName.compare(senderAddress, Qt::CaseInsensitive) == 0 ? QString()
                                                                                    : senderName,
                        senderAddress}},
            {QStringLiteral("to"), pairs(item.GetToList())},
            {QStringLiteral("cc"), pairs(item.GetCcList())},
            {QStringLiteral("bcc"), pairs(item.GetBccList())},
            {QStringLiteral("subject"), item.GetSubject()},
            {QStringLiteral("date"),
             DateTimeToQDateTime(item.GetSentOn()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))},
            {QStringLiteral("importance"), item.GetImportance()},
            {QStringLiteral("received"),
             FormatDateTime(QStringLiteral("yyyy/mm/dd hh:nn:ss"), item.GetReceivedTime())},
            {QStringLiteral("sensitivity"), item.GetSensitivity()},
            {QStringLiteral("body"), item.GetBody()},
            {QStringLiteral("attachments"), attachments},
        });
    }
    TOutlookSingleton::ReleaseInstance();
    OutlookPst::ClearSessionStores();
    EXPECT_EQ(cases.size(), 71);
    EXPECT_EQ(MailTest::CheckWithPython(cases), QString());
}

TEST_F(ExportToolTest, FailuresLandInTheCsvAndTheExitCode)
{
    // A directory where the first mail of Systems would go makes that save fail.
    const auto& sample = PffExport(SamplePath());
    const QString out = tmp.filePath(QStringLiteral("out"));
    QString systems;
    for (const QString& f : sample.Folders)
        if (f.endsWith(QStringLiteral("\\Systems")))
            systems = f;
    ASSERT_FALSE(systems.isEmpty());
    ASSERT_TRUE(QDir().mkpath(DirOf(out, systems) + QStringLiteral("/1.eml")));
    // The list's folder does not exist yet: it is made at the end, as --out is.
    const QString csv = tmp.filePath(QStringLiteral("lists/errors.csv"));

    RunResult r = Export({QStringLiteral("--type"), QStringLiteral("eml"), QStringLiteral("--out"),
                          out, QStringLiteral("--errors-csv"), csv,
                          QStringLiteral("--csv-encoding"), QStringLiteral("UTF-8")});
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("1通目のメールでエラーが発生しました。")))
        << r.err.toStdString();
    EXPECT_EQ(Files(out).size(), 70);
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 3); // header, one record, and the end after the last CR LF
    EXPECT_EQ(lines[0], CsvRecord(ErrorListColumns()));
    const QString expectedStart =
        QStringLiteral("\"\\Personal folders") + systems + QStringLiteral("\",1,");
    EXPECT_TRUE(lines[1].startsWith(expectedStart)) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("1.eml"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].isEmpty());

    // Skipping the folder after the failure leaves its other mails unwritten.
    const QString second = tmp.filePath(QStringLiteral("second"));
    ASSERT_TRUE(QDir().mkpath(DirOf(second, systems) + QStringLiteral("/1.eml")));
    r = Export({QStringLiteral("--type"), QStringLiteral("eml"), QStringLiteral("--out"), second,
                QStringLiteral("--on-error"), QStringLiteral("skip-folder")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(Files(second).size(), 71 - 7);
}

TEST_F(ExportToolTest, StartFolderAttachmentsAndSubFolders)
{
    const QString top = QStringLiteral("\\Personal folders\\lokay-m\\MLOKAY (Non-Privileged)");
    const QString out = tmp.filePath(QStringLiteral("one"));
    RunResult r =
        Export({QStringLiteral("--type"), QStringLiteral("txt"), QStringLiteral("--folder"), top,
                QStringLiteral("--no-subfolders"), QStringLiteral("--out"), out});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(Files(out), QStringList{QStringLiteral("1.txt")});

    // Attachments only: every attachment of the sample, and no mail file.
    std::size_t attachmentCount = 0;
    for (const auto& m : PffExport(SamplePath()).Messages)
        attachmentCount += m.Attachments.size();
    const QString attachments = tmp.filePath(QStringLiteral("attachments"));
    r = Export({QStringLiteral("--type"), QStringLiteral("eml-attachments"),
                QStringLiteral("--attachments-dir"), attachments});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(static_cast<std::size_t>(Files(attachments).size()), attachmentCount);
    EXPECT_GT(attachmentCount, 0u);
}

TEST_F(ExportToolTest, UsageErrorsEndWithTheCheckMessageAndCodeTwo)
{
    const QString out = tmp.filePath(QStringLiteral("out"));
    QFile blocker(tmp.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    struct Case {
        QStringList args;
        QString message;
    } cases[] = {
        {{QStringLiteral("--type"), QStringLiteral("eml"), QStringLiteral("--format"),
          QStringLiteral("<s>.eml"), QStringLiteral("--name"), QStringLiteral("subject"),
          QStringLiteral("--out"), out},
         QStringLiteral("フォーマット形式に連番記号(<n>)がありません。")},
        {{QStringLiteral("--type"), QStringLiteral("eml"), QStringLiteral("--name"),
          QStringLiteral("parameter"), QStringLiteral("--out"), out},
         QStringLiteral("パラメータ文字が入力されていません。")},
        {{QStringLiteral("--type"), QStringLiteral("eml"), QStringLiteral("--name"),
          QStringLiteral("parameter"), QStringLiteral("--parameter"), QStringLiteral("(abc"),
          QStringLiteral("--regex"), QStringLiteral("--out"), out},
         QStringLiteral("正規表現に間違いがあります。")},
        {{QStringLiteral("--type"), QStringLiteral("eml")},
         QStringLiteral("保存先フォルダが指定されていません。")},
        {{QStringLiteral("--type"), QStringLiteral("eml"), QStringLiteral("--out"),
          tmp.filePath(QStringLiteral("file/sub"))},
         QStringLiteral("保存先フォルダの作成に失敗しました。")},
        {{QStringLiteral("--type"), QStringLiteral("eml"), QStringLiteral("--out"),
          tmp.filePath(QString(300, QLatin1Char('a')))},
         QStringLiteral("ファイル名またはパスが長すぎます。")},
        {{QStringLiteral("--type"), QStringLiteral("eml"), QStringLiteral("--folder"),
          QStringLiteral("\\Nowhere"), QStringLiteral("--out"), out},
         QStringLiteral("フォルダが見つかりません")},
        {{QStringLiteral("--type"), QStringLiteral("pdf"), QStringLiteral("--out"), out},
         QStringLiteral("--type")},
        {{QStringLiteral("--out"), out}, QStringLiteral("--type を指定してください。")},
        {{QStringLiteral("--type"), QStringLiteral("eml"), QStringLiteral("--bogus"),
          QStringLiteral("--out"), out},
         QStringLiteral("不明なオプションです: bogus")},
        {{QStringLiteral("--type"), QStringLiteral("eml"), QStringLiteral("--out")},
         QStringLiteral("--out の後に値を指定してください。")},
        // The error list's options are checked before the first mail, not after the last.
        {{QStringLiteral("--type"), QStringLiteral("eml"), QStringLiteral("--out"), out,
          QStringLiteral("--errors-csv"), tmp.filePath(QStringLiteral("e.csv")),
          QStringLiteral("--csv-encoding"), QStringLiteral("NOPE")},
         QStringLiteral("文字コード NOPE は使用できません。")},
        {{QStringLiteral("--type"), QStringLiteral("eml"), QStringLiteral("--out"), out,
          QStringLiteral("--errors-csv"), tmp.path()},
         QStringLiteral("CSV ファイル %1 を作成できません: 同じ名前のフォルダーがあります。")
             .arg(tmp.path())},
        {{QStringLiteral("--type"), QStringLiteral("eml"), QStringLiteral("--out"), out,
          QStringLiteral("--errors-csv"), tmp.filePath(QStringLiteral("file/none/e.csv"))},
         QStringLiteral("CSV ファイル %1 を作成できません: %2")
             .arg(tmp.filePath(QStringLiteral("file/none/e.csv")), SysErrorMessage(ENOTDIR))},
    };
    for (const Case& c : cases) {
        const RunResult r = Export(c.args);
        EXPECT_EQ(r.code, 2) << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(out)); // nothing was written

    // A missing save folder is created with its parents.
    const QString deep = tmp.filePath(QStringLiteral("a/b/c"));
    EXPECT_EQ(
        Export({QStringLiteral("--type"), QStringLiteral("eml"), QStringLiteral("--folder"),
                QStringLiteral("\\Personal folders\\lokay-m\\MLOKAY (Non-Privileged)\\Sent Items"),
                QStringLiteral("--out"), deep})
            .code,
        0);
    EXPECT_EQ(Files(deep).size(), 2);
}

TEST_F(ExportToolTest, NothingToExportFrom)
{
    // An empty profile says how to add a data file.
    const QString out = tmp.filePath(QStringLiteral("o"));
    qputenv("TIDEWELL_OUTLOOK_PROFILE", tmp.filePath(QStringLiteral("empty-profile")).toUtf8());
    int code = 0;
    QByteArray err;
    TestSupport::Run(
        TestSupport::BinaryDir() + QStringLiteral("/tidewell-export"),
        {QStringLiteral("--type"), QStringLiteral("eml"), QStringLiteral("--out"), out}, &code,
        &err);
    qunsetenv("TIDEWELL_OUTLOOK_PROFILE");
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(QString::fromUtf8(err).contains(QStringLiteral("tidewell-outlook profile add")))
        << err.constData();

    // Data files that cannot be opened: one message each, in Japanese, naming the
    // file, and nothing created.
    const QString empty = tmp.filePath(QStringLiteral("empty.pst"));
    const QString text = tmp.filePath(QStringLiteral("text.pst"));
    const QString folder = tmp.filePath(QStringLiteral("folder.pst"));
    QFile(empty).open(QIODevice::WriteOnly);
    QFile textFile(text);
    ASSERT_TRUE(textFile.open(QIODevice::WriteOnly));
    textFile.write("From: someone\r\n\r\nnot a data file\r\n");
    textFile.close();
    ASSERT_TRUE(QDir().mkpath(folder));
    const struct {
        QString Path;
        QString Reason;
    } cases[] = {
        {tmp.filePath(QStringLiteral("missing.pst")), QStringLiteral("ファイルがありません。")},
        {folder, QStringLiteral("ファイルではなくフォルダーです。")},
        {empty, QStringLiteral("空のファイルです。")},
        {text, QStringLiteral("Outlook のデータファイル (.pst, .ost) ではありません。")},
    };
    const QString csv = tmp.filePath(QStringLiteral("e.csv"));
    for (const auto& c : cases) {
        QByteArray errors;
        TestSupport::Run(TestSupport::BinaryDir() + QStringLiteral("/tidewell-export"),
                         {QStringLiteral("--store"), c.Path, QStringLiteral("--type"),
                          QStringLiteral("eml"), QStringLiteral("--out"), out,
                          QStringLiteral("--errors-csv"), csv},
                         &code, &errors);
        const QString message =
            QStringLiteral("データファイル %1 を開けません: %2").arg(c.Path, c.Reason);
        EXPECT_EQ(code, 2) << c.Path.toStdString();
        EXPECT_EQ(QString::fromUtf8(errors).count(QStringLiteral("を開けません")), 1)
            << errors.constData();
        EXPECT_TRUE(QString::fromUtf8(errors).contains(message)) << errors.constData();
        EXPECT_FALSE(QFileInfo::exists(out));
        EXPECT_FALSE(QFileInfo::exists(csv));
    }

    // With a readable file beside it, the readable one is exported and the other
    // one is the first row of the error list.
    const RunResult r =
        Export({QStringLiteral("--store"), text, QStringLiteral("--type"), QStringLiteral("eml"),
                QStringLiteral("--out"), out, QStringLiteral("--errors-csv"), csv,
                QStringLiteral("--csv-encoding"), QStringLiteral("UTF-8")});
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_EQ(Files(out).size(), 71);
    EXPECT_FALSE(r.err.contains(QStringLiteral("エクスポート処理を終了しました。")))
        << r.err.toStdString();
    QFile list(csv);
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(list.readAll()).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("\\text.pst,,,,,"))) << lines[1].toStdString();
}
