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
