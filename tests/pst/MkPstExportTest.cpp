// The stand-in and tidewell-export on data files written at test time: a store
// whose IPM subtree is its root folder, an attachment without an attach
// method, mails without a sent time, and the Japanese mailbox. Expected values
// come from the descriptions; every file is also read by pffexport and readpst.
#include "MkPstTestSupport.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace MkPstTest;

namespace {

int Export(const QString& store, const QStringList& args, QByteArray* err = nullptr)
{
    int code = -1;
    TestSupport::Run(TestSupport::BinaryDir() + QStringLiteral("/tidewell-export"),
                     QStringList{QStringLiteral("--store"), store} + args, &code, err);
    return code;
}

// What Python's email package reads in the .eml files below dir.
QJsonObject ReadEmls(const QString& dir)
{
    const QByteArray json = TestSupport::Run(
        QStringLiteral("python3"), {SourceFile(QStringLiteral("read_eml_tree.py")), dir});
    return QJsonDocument::fromJson(json).object();
}

QJsonObject Folder(const QString& name, const QJsonArray& mails)
{
    return QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("mails"), mails}};
}

class MkPstExportTest : public ::testing::Test {
protected:
    // Writes the description, checks the data file with the independent readers,
    // and returns its path.
    QString Make(const QString& name, const QJsonObject& description)
    {
        const QString pst = Write(tmp.path(), name, description);
        EXPECT_FALSE(pst.isEmpty());
        EXPECT_EQ(Check(tmp.filePath(name + QStringLiteral(".json")), pst, tmp.filePath(name + QStringLiteral("-readers"))),
                  QString());
        return pst;
    }
    QTemporaryDir tmp;
};

} // namespace

TEST_F(MkPstExportTest, AStoreWhoseIpmSubtreeIsTheRootExportsEveryFolder)
{
    QJsonArray folders;
    for (const QString& name : {QStringLiteral("受信"), QStringLiteral("送信")}) {
        QJsonArray mails;
        for (int i = 1; i <= 100; ++i)
            mails.append(Mail(QStringLiteral("%1 %2").arg(name).arg(i), QStringLiteral("2024-02-01T00:00:00Z"),
                              QStringLiteral("本文")));
        folders.append(Folder(name, mails));
    }
    const QString pst = Make(QStringLiteral("root"), QJsonObject{{QStringLiteral("ipmSubtreeIsRoot"), true},
                                                                 {QStringLiteral("folders"), folders}});
    const QString out = tmp.filePath(QStringLiteral("out"));
    QByteArray err;
    ASSERT_EQ(Export(pst, {QStringLiteral("--type"), QStringLiteral("eml"), QStringLiteral("--out"), out}, &err), 0)
        << err.toStdString();
    QMap<QString, int> perDir;
    for (const QString& f : TestSupport::FilesBelow(out))
        ++perDir[QFileInfo(f).path()];
    EXPECT_EQ(perDir, (QMap<QString, int>{{QStringLiteral("受信"), 100}, {QStringLiteral("送信"), 100}}));
}

TEST_F(MkPstExportTest, AnAttachmentWithoutAttachMethodIsExportedAsAFile)
{
    QJsonObject mail = Mail(QStringLiteral("方法なしの添付"), QStringLiteral("2024-02-02T00:00:00Z"), QStringLiteral("本文"));
    mail.insert(QStringLiteral("attachments"),
                QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("報告書.txt")},
                                       {QStringLiteral("data"), QStringLiteral("添付の中身")},
                                       {QStringLiteral("method"), false}}});
    const QString pst =
        Make(QStringLiteral("method"), QJsonObject{{QStringLiteral("folders"), QJsonArray{Folder(QStringLiteral("受信"), {mail})}}});
    const QString out = tmp.filePath(QStringLiteral("out"));
    ASSERT_EQ(Export(pst, {QStringLiteral("--type"), QStringLiteral("eml-attachments"), QStringLiteral("--out"), out}), 0);
    const QJsonObject eml = ReadEmls(out).value(QStringLiteral("受信/1.eml")).toObject();
    const QJsonArray attachments = eml.value(QStringLiteral("attachments")).toArray();
    ASSERT_EQ(attachments.size(), 1) << QJsonDocument(eml).toJson().toStdString();
    EXPECT_EQ(attachments[0][QStringLiteral("filename")].toString(), QStringLiteral("報告書.txt"));
    EXPECT_EQ(attachments[0][QStringLiteral("sha256")].toString(),
              QString::fromLatin1(QCryptographicHash::hash(QStringLiteral("添付の中身").toUtf8(),
                                                           QCryptographicHash::Sha256).toHex()));
}

TEST_F(MkPstExportTest, WithoutASentTimeTheFileTimeIsTheDeliveryThenTheCreationTime)
{
    auto mail = [](const QString& subject, const QStringList& times) {
        QJsonObject m = Mail(subject, QString(), QStringLiteral("本文"));
        m.remove(QStringLiteral("sent"));
        const char* keys[] = {"sent", "received", "created"};
        for (int i = 0; i < 3; ++i)
            if (!times[i].isEmpty())
                m.insert(QLatin1String(keys[i]), times[i]);
        return m;
    };
    const QJsonArray mails{
        mail(QStringLiteral("全部"), {QStringLiteral("2024-03-01T01:00:00Z"), QStringLiteral("2024-03-01T02:00:00Z"),
                                     QStringLiteral("2024-03-01T03:00:00Z")}),
        mail(QStringLiteral("受信と作成"), {QString(), QStringLiteral("2024-03-02T02:00:00Z"),
                                           QStringLiteral("2024-03-02T03:00:00Z")}),
        mail(QStringLiteral("作成だけ"), {QString(), QString(), QStringLiteral("2024-03-03T03:00:00Z")})};
    const QString pst =
        Make(QStringLiteral("times"), QJsonObject{{QStringLiteral("folders"), QJsonArray{Folder(QStringLiteral("受信"), mails)}}});
    const QString out = tmp.filePath(QStringLiteral("out"));
    ASSERT_EQ(Export(pst, {QStringLiteral("--type"), QStringLiteral("eml"), QStringLiteral("--out"), out}), 0);
    const char* expected[] = {"2024-03-01T01:00:00Z", "2024-03-02T02:00:00Z", "2024-03-03T03:00:00Z"};
    for (int i = 0; i < 3; ++i) {
        const QFileInfo file(out + QStringLiteral("/受信/%1.eml").arg(i + 1));
        ASSERT_TRUE(file.exists()) << i;
        EXPECT_EQ(file.lastModified().toSecsSinceEpoch(),
                  QDateTime::fromString(QLatin1String(expected[i]), Qt::ISODate).toSecsSinceEpoch())
            << i;
    }
}

namespace {

// A name made usable as a file or directory name: the characters file names
// may not hold become their full-width forms (control characters spaces), a
// name of dots only becomes full-width dots, and the name is cut to 255 UTF-8
// bytes with room for the extension.
QString Usable(const QString& text, const QString& extension = QString())
{
    QString out;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\')
            out += QChar(0xFFE5);
        else if (u == u'"')
            out += QChar(0x201D);
        else if (u == u'*' || u == u'/' || u == u':' || u == u'<' || u == u'>' || u == u'?' || u == u'|')
            out += QChar(u + 0xFEE0);
        else if (u < 0x20)
            out += QLatin1Char(' ');
        else
            out += c;
    }
    if (!out.isEmpty() && out.count(QLatin1Char('.')) == out.size())
        out.fill(QChar(0xFF0E));
    while ((out + extension).toUtf8().size() > 255)
        out.chop(out.at(out.size() - 1).isLowSurrogate() ? 2 : 1);
    return out;
}

struct DescribedFolder {
    QString Dir; // relative to the export folder
    QJsonArray Mails;
};

// The mail folders of a description with their export directories; calendar
// and other non-mail folders are not exported.
void Folders(const QJsonArray& list, const QString& parent, std::vector<DescribedFolder>& out)
{
    for (const QJsonValue& v : list) {
        const QJsonObject f = v.toObject();
        if (f.value(QStringLiteral("class")).toString(QStringLiteral("IPF.Note")) != QStringLiteral("IPF.Note"))
            continue;
        const QString dir = (parent.isEmpty() ? QString() : parent + QLatin1Char('/')) +
                            Usable(f.value(QStringLiteral("name")).toString());
        out.push_back({dir, f.value(QStringLiteral("mails")).toArray()});
        Folders(f.value(QStringLiteral("folders")).toArray(), dir, out);
    }
}

} // namespace

TEST_F(MkPstExportTest, TheJapaneseMailboxExportsWithEveryTypeAndNamingRule)
{
    TestSupport::ScopedTimeZone tz("Asia/Tokyo");
    const QString json = SourceFile(QStringLiteral("fixtures/japanese.json"));
    QFile file(json);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject description = QJsonDocument::fromJson(file.readAll()).object();
    std::vector<DescribedFolder> folders{{description.value(QStringLiteral("deletedItemsName")).toString(),
                                          description.value(QStringLiteral("deletedItems")).toArray()}};
    Folders(description.value(QStringLiteral("folders")).toArray(), QString(), folders);
    const QString pst = tmp.filePath(QStringLiteral("japanese.pst"));
    ASSERT_EQ(MkPst({json, pst}), 0); // read by the independent readers in MkPstTest

    const char* types[] = {"msg", "txt", "eml", "eml-attachments"};
    const char* extensions[] = {".msg", ".txt", ".eml", ".eml"};
    for (int t = 0; t < 4; ++t) {
        for (const char* rule : {"sequence", "subject", "parameter"}) {
            const QString label = QStringLiteral("%1 %2").arg(QLatin1String(types[t]), QLatin1String(rule));
            const QString out = tmp.filePath(QString(label).replace(QLatin1Char(' '), QLatin1Char('-')));
            QStringList args{QStringLiteral("--type"), QLatin1String(types[t]), QStringLiteral("--name"),
                             QLatin1String(rule), QStringLiteral("--out"), out};
            if (QLatin1String(rule) == QLatin1String("parameter"))
                args << QStringLiteral("--parameter") << QStringLiteral("(?s)^(\\w+)") << QStringLiteral("--regex");
            QByteArray err;
            ASSERT_EQ(Export(pst, args, &err), 0) << label.toStdString() << "\n" << err.toStdString();

            QMap<QString, QStringList> files;
            for (const QString& f : TestSupport::FilesBelow(out))
                files[QFileInfo(f).path() == QStringLiteral(".") ? QString() : QFileInfo(f).path()]
                    << QFileInfo(f).fileName();
            QMap<QString, int> expectedCounts, counts;
            for (const DescribedFolder& f : folders)
                if (!f.Mails.isEmpty())
                    expectedCounts[f.Dir] = static_cast<int>(f.Mails.size());
            for (auto it = files.cbegin(); it != files.cend(); ++it)
                counts[it.key()] = static_cast<int>(it.value().size());
            EXPECT_EQ(counts, expectedCounts) << label.toStdString();
            for (const DescribedFolder& f : folders)
                EXPECT_TRUE(QFileInfo(out + QLatin1Char('/') + f.Dir).isDir()) << f.Dir.toStdString();

            if (QLatin1String(rule) == QLatin1String("subject")) {
                // Subjects made usable, "(noname)" for none, "(1)" for the second of a name.
                const QString ext = QLatin1String(extensions[t]);
                QStringList expected;
                for (const QJsonValue& m : folders[1].Mails) {
                    const QJsonObject mail = m.toObject();
                    QString name = Usable(mail.value(QStringLiteral("subjectPrefix")).toString() +
                                              mail.value(QStringLiteral("subject")).toString(),
                                          ext);
                    if (name.isEmpty())
                        name = QStringLiteral("(noname)");
                    expected << (expected.contains(name + ext) ? name + QStringLiteral("(1)") + ext : name + ext);
                }
                expected.sort();
                QStringList actual = files.value(folders[1].Dir);
                actual.sort();
                EXPECT_EQ(actual, expected) << label.toStdString();
            }
            if (QLatin1String(rule) == QLatin1String("sequence")) {
                // File n of a folder is its n-th mail and carries its sent time.
                for (const DescribedFolder& f : folders)
                    for (qsizetype i = 0; i < f.Mails.size(); ++i) {
                        const QFileInfo info(out + QLatin1Char('/') + f.Dir +
                                             QStringLiteral("/%1%2").arg(i + 1).arg(QLatin1String(extensions[t])));
                        const QString sent = f.Mails[i].toObject().value(QStringLiteral("sent")).toString();
                        EXPECT_EQ(info.lastModified().toSecsSinceEpoch(),
                                  QDateTime::fromString(sent, Qt::ISODate).toSecsSinceEpoch())
                            << info.filePath().toStdString();
                    }
            }
        }
    }

    // The .eml files as Python's email package reads them: subjects and bodies
    // from the description, attachments byte for byte.
    const QJsonObject emls = ReadEmls(tmp.filePath(QStringLiteral("eml-attachments-sequence")));
    for (const DescribedFolder& f : folders)
        for (qsizetype i = 0; i < f.Mails.size(); ++i) {
            const QJsonObject mail = f.Mails[i].toObject();
            const QString path = f.Dir + QStringLiteral("/%1.eml").arg(i + 1);
            const QJsonObject eml = emls.value(path).toObject();
            EXPECT_EQ(eml.value(QStringLiteral("subject")).toString(),
                      mail.value(QStringLiteral("subjectPrefix")).toString() + mail.value(QStringLiteral("subject")).toString())
                << path.toStdString();
            if (mail.contains(QStringLiteral("body"))) {
                EXPECT_EQ(eml.value(QStringLiteral("body")).toString().replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                          mail.value(QStringLiteral("body")).toString().replace(QStringLiteral("\r\n"), QStringLiteral("\n")))
                    << path.toStdString();
            }
            const QJsonArray described = mail.value(QStringLiteral("attachments")).toArray();
            const QJsonArray written = eml.value(QStringLiteral("attachments")).toArray();
            ASSERT_EQ(written.size(), described.size()) << path.toStdString();
            for (qsizetype a = 0; a < described.size(); ++a) {
                const QJsonObject d = described[a].toObject();
                if (d.contains(QStringLiteral("message")))
                    continue;
                EXPECT_EQ(written[a][QStringLiteral("filename")].toString(), d.value(QStringLiteral("name")).toString());
                if (d.contains(QStringLiteral("data"))) {
                    EXPECT_EQ(written[a][QStringLiteral("sha256")].toString(),
                              QString::fromLatin1(QCryptographicHash::hash(d.value(QStringLiteral("data")).toString().toUtf8(),
                                                                           QCryptographicHash::Sha256).toHex()));
                } else if (d.contains(QStringLiteral("size"))) {
                    EXPECT_EQ(written[a][QStringLiteral("size")].toInt(), d.value(QStringLiteral("size")).toInt());
                }
            }
        }

    // The .msg files as msgconvert reads them.
    const QString msgDir = tmp.filePath(QStringLiteral("msg-sequence/") + folders[1].Dir);
    for (qsizetype i = 0; i < folders[1].Mails.size(); ++i) {
        const QString msg = msgDir + QStringLiteral("/%1.msg").arg(i + 1);
        const QString eml = tmp.filePath(QStringLiteral("converted%1.eml").arg(i + 1));
        int code = -1;
        TestSupport::Run(QStringLiteral("msgconvert"), {QStringLiteral("--outfile"), eml, msg}, &code);
        ASSERT_EQ(code, 0) << msg.toStdString();
    }
    QDir converted(tmp.path());
    const QString convertedDir = tmp.filePath(QStringLiteral("converted"));
    QDir().mkpath(convertedDir);
    for (const QString& f : converted.entryList({QStringLiteral("converted*.eml")}, QDir::Files))
        QFile::rename(converted.filePath(f), convertedDir + QLatin1Char('/') + f);
    // msgconvert folds a long subject so that it reads back with a leading space.
    const QJsonObject fromMsg = ReadEmls(convertedDir);
    for (qsizetype i = 0; i < folders[1].Mails.size(); ++i) {
        const QJsonObject mail = folders[1].Mails[i].toObject();
        EXPECT_EQ(fromMsg.value(QStringLiteral("converted%1.eml").arg(i + 1)).toObject().value(QStringLiteral("subject")).toString().trimmed(),
                  mail.value(QStringLiteral("subjectPrefix")).toString() + mail.value(QStringLiteral("subject")).toString())
            << i;
    }

    // The same mailbox without encryption gives the same .eml files.
    const QString plain = tmp.filePath(QStringLiteral("japanese-plain.pst"));
    ASSERT_EQ(MkPst({QStringLiteral("--no-encryption"), json, plain}), 0);
    const QString plainOut = tmp.filePath(QStringLiteral("plain"));
    ASSERT_EQ(Export(plain, {QStringLiteral("--type"), QStringLiteral("eml-attachments"), QStringLiteral("--out"), plainOut}), 0);
    EXPECT_EQ(ReadEmls(plainOut), emls);
}
