// tidewell-export on real mailboxes beyond the sample: offline caches, damaged
// copies of the sample, two exports into one folder, and signals. Counts are
// compared with what readpst and pffexport find in the same files.
#include "../pst/PstTestSupport.h"
#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>

namespace {

QString DataPath(const QString& name)
{
    return QStringLiteral(TIDEWELL_SOURCE_DIR "/data/") + name;
}

QString Exporter()
{
    return TestSupport::BinaryDir() + QStringLiteral("/tidewell-export");
}

struct RunResult {
    int Code = -1;
    QString Err;
};

RunResult Export(const QStringList& args)
{
    RunResult r;
    QByteArray err;
    TestSupport::Run(Exporter(), args, &r.Code, &err);
    r.Err = QString::fromUtf8(err);
    return r;
}

// Files below dir per folder ("" for dir itself), hidden ones included.
QMap<QString, int> FilesPerFolder(const QString& dir, const QString& suffix)
{
    QMap<QString, int> counts;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        if (file.endsWith(suffix))
            ++counts[QDir(dir).relativeFilePath(QFileInfo(file).path())];
    }
    return counts;
}

int Total(const QMap<QString, int>& counts)
{
    int total = 0;
    for (int n : counts)
        total += n;
    return total;
}

// The mails readpst writes from a data file, per folder below the store's top.
QMap<QString, int> ReadpstMails(const QString& dataFile, const QString& work)
{
    QDir().mkpath(work);
    int code = -1;
    TestSupport::Run(QStringLiteral("readpst"),
                     {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-j"),
                      QStringLiteral("0"), QStringLiteral("-o"), work, dataFile},
                     &code);
    // readpst puts everything into a folder named after the store.
    const QStringList top = QDir(work).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    return top.size() == 1
               ? FilesPerFolder(work + QLatin1Char('/') + top[0], QStringLiteral(".eml"))
               : QMap<QString, int>();
}

// Lines of the error list, without the header and the end.
QStringList CsvRows(const QString& csv)
{
    QFile file(csv);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    lines.removeFirst();
    lines.removeLast();
    return lines;
}

QStringList TemporaryFilesBelow(const QString& dir)
{
    QStringList found;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString name = QFileInfo(file).fileName();
        if (name.endsWith(QLatin1String(".tmp")) || name.startsWith(QLatin1Char('.')))
            found << file;
    }
    return found;
}

class MailboxesTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
};

} // namespace

TEST_F(MailboxesTest, OfflineCachesExportEveryMailThatReadpstWrites)
{
    for (const char* name :
         {"pstextractortest@outlook.com.ost", "pstextractortestpdf@outlook.com.ost"}) {
        const QString ost = DataPath(QLatin1String(name));
        ASSERT_TRUE(QFileInfo::exists(ost)) << "run tools/fetch-sample-data.sh";
        const QString out = tmp.filePath(QLatin1String(name) + QStringLiteral("-out"));
        const RunResult r = Export({QStringLiteral("--store"), ost, QStringLiteral("--type"),
                                    QStringLiteral("eml"), QStringLiteral("--name"),
                                    QStringLiteral("subject"), QStringLiteral("--out"), out});
        EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
        const QMap<QString, int> peer =
            ReadpstMails(ost, tmp.filePath(QLatin1String(name) + QStringLiteral("-readpst")));
        ASSERT_GT(Total(peer), 0) << name;
        // Folder by folder: the calendar, contacts and tasks are passed over by
        // both, since their items are not mails.
        EXPECT_EQ(FilesPerFolder(out, QStringLiteral(".eml")), peer) << name;
    }
}

TEST_F(MailboxesTest, ADamagedFolderCostsOnlyItself)
{
    // One-byte changes to the sample and a zeroed page, each of which once cost
    // every mail of the file.
    const struct {
        qint64 Offset;
        QByteArray Bytes;
    } damages[] = {
        {18699, QByteArray(1, '\x45')},
        {13917968, QByteArray(1, '\x61')},
        {20118, QByteArray(1, '\xCA')},
        {266 * 4096, QByteArray(4096, '\0')},
    };
    const int sampleMails =
        static_cast<int>(PstTest::PffExport(PstTest::SamplePath()).Messages.size());
    int n = 0;
    for (const auto& damage : damages) {
        const QString copy = tmp.filePath(QStringLiteral("damaged%1.pst").arg(++n));
        ASSERT_TRUE(QFile::copy(PstTest::SamplePath(), copy));
        QFile file(copy);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.seek(damage.Offset));
        ASSERT_EQ(file.write(damage.Bytes), damage.Bytes.size());
        file.close();

        const QString out = tmp.filePath(QStringLiteral("out%1").arg(n));
        const QString csv = tmp.filePath(QStringLiteral("errors%1.csv").arg(n));
        const RunResult r = Export({QStringLiteral("--store"), copy, QStringLiteral("--type"),
                                    QStringLiteral("eml"), QStringLiteral("--out"), out,
                                    QStringLiteral("--errors-csv"), csv,
                                    QStringLiteral("--csv-encoding"), QStringLiteral("UTF-8")});
        const int written = Total(FilesPerFolder(out, QStringLiteral(".eml")));
        const int readpst =
            Total(ReadpstMails(copy, tmp.filePath(QStringLiteral("readpst%1").arg(n))));
        const int pffexport = static_cast<int>(PstTest::PffExport(copy).Messages.size());
        const QString label = QStringLiteral("damage %1: written %2, readpst %3, pffexport %4\n%5")
                                  .arg(n)
                                  .arg(written)
                                  .arg(readpst)
                                  .arg(pffexport)
                                  .arg(r.Err);
        EXPECT_GE(written, std::max(readpst, pffexport)) << label.toStdString();
        // Every mail that is not written is listed, with its position.
        const QStringList rows = CsvRows(csv);
        int listed = 0;
        for (const QString& row : rows)
            if (!row.section(QLatin1Char(','), 1, 1).isEmpty())
                ++listed;
        EXPECT_GE(written + listed, sampleMails) << label.toStdString();
        EXPECT_EQ(r.Code, rows.isEmpty() ? 0 : 1) << label.toStdString();
    }
}

TEST_F(MailboxesTest, TwoExportsIntoOneFolderKeepEveryFile)
{
    const QStringList args{QStringLiteral("--store"), PstTest::SamplePath(),
                           QStringLiteral("--type"),  QStringLiteral("eml"),
                           QStringLiteral("--name"),  QStringLiteral("subject")};
    for (int round = 0; round < 10; ++round) {
        const QString out = tmp.filePath(QStringLiteral("round%1").arg(round));
        QProcess first, second;
        first.start(Exporter(), args + QStringList{QStringLiteral("--out"), out});
        second.start(Exporter(), args + QStringList{QStringLiteral("--out"), out});
        ASSERT_TRUE(first.waitForFinished(120000) && second.waitForFinished(120000));
        EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().constData();
        EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().constData();
        EXPECT_EQ(TestSupport::FilesBelow(out).size(), 2 * 71) << "round " << round;
        EXPECT_EQ(TemporaryFilesBelow(out), QStringList());
    }
}

TEST_F(MailboxesTest, TerminationCancelsCleanlyAndASecondSignalStillCleansUp)
{
    // Enough copies of the sample that the export is still running when the signal comes.
    QStringList stores;
    for (int i = 0; i < 15; ++i) {
        const QString copy = tmp.filePath(QStringLiteral("copy%1.pst").arg(i));
        ASSERT_TRUE(QFile::copy(PstTest::SamplePath(), copy));
        stores << QStringLiteral("--store") << copy;
    }
    for (int signals : {1, 2}) {
        const QString out = tmp.filePath(QStringLiteral("out%1").arg(signals));
        const QString temp = tmp.filePath(QStringLiteral("tmp%1").arg(signals));
        const QString csv = tmp.filePath(QStringLiteral("errors%1.csv").arg(signals));
        ASSERT_TRUE(QDir().mkpath(temp));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), temp);
        process.setProcessEnvironment(environment);
        process.start(Exporter(),
                      stores + QStringList{QStringLiteral("--type"),
                                           QStringLiteral("eml-attachments"),
                                           QStringLiteral("--name"), QStringLiteral("subject"),
                                           QStringLiteral("--out"), out,
                                           QStringLiteral("--errors-csv"), csv});
        ASSERT_TRUE(process.waitForStarted());
        // In the middle: once the first mail is there.
        while (process.state() == QProcess::Running && TestSupport::FilesBelow(out).isEmpty())
            QThread::msleep(5);
        ASSERT_EQ(process.state(), QProcess::Running)
            << "the export ended before it could be interrupted";
        const pid_t pid = static_cast<pid_t>(process.processId());
        if (signals == 1) {
            ::kill(pid, SIGTERM);
        } else {
            // Two different signals, so that both are delivered even though the
            // second comes before the first is handled.
            ::kill(pid, SIGSTOP);
            ::kill(pid, SIGINT);
            ::kill(pid, SIGTERM);
            ::kill(pid, SIGCONT);
        }
        ASSERT_TRUE(process.waitForFinished(60000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_LT(TestSupport::FilesBelow(out).size(), 15 * 71);
        EXPECT_EQ(TemporaryFilesBelow(out), QStringList()) << signals;
        EXPECT_EQ(QDir(temp).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList())
            << signals;
        if (signals == 1) {
            EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(process.exitCode(), 1) << err.toStdString();
            EXPECT_TRUE(err.contains(QStringLiteral("キャンセルされました。")))
                << err.toStdString();
            EXPECT_TRUE(QFileInfo::exists(csv));
        } else {
            EXPECT_TRUE(process.exitCode() == 128 + SIGTERM || process.exitCode() == 128 + SIGINT)
                << process.exitCode() << err.toStdString();
        }
    }
}
