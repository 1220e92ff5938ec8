#include "MkPstTestSupport.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace MkPstTest {

QString SourceFile(const QString& name)
{
    return QStringLiteral(TIDEWELL_SOURCE_DIR "/tests/pst/") + name;
}

int MkPst(const QStringList& args, QByteArray* err)
{
    int code = -1;
    TestSupport::Run(TestSupport::BinaryDir() + QStringLiteral("/tidewell-mkpst"), args, &code, err);
    return code;
}

QString Write(const QString& dir, const QString& name, const QJsonObject& description,
              const QStringList& options)
{
    const QString json = dir + QLatin1Char('/') + name + QStringLiteral(".json");
    QFile f(json);
    if (!f.open(QIODevice::WriteOnly) || f.write(QJsonDocument(description).toJson()) < 0)
        return QString();
    f.close();
    const QString pst = dir + QLatin1Char('/') + name + QStringLiteral(".pst");
    return MkPst(options + QStringList{json, pst}) == 0 ? pst : QString();
}

QString Check(const QString& description, const QString& dataFile, const QString& work)
{
    QString faults;
    int code = -1;
    QByteArray out = TestSupport::Run(QStringLiteral("python3"),
                                      {SourceFile(QStringLiteral("check_pst.py")), dataFile}, &code);
    if (code != 0)
        faults += QStringLiteral("check_pst.py:\n") + QString::fromUtf8(out);
    QDir().mkpath(work);
    out = TestSupport::Run(QStringLiteral("python3"),
                           {SourceFile(QStringLiteral("check_readers.py")), description, dataFile, work},
                           &code);
    if (code != 0)
        faults += QStringLiteral("check_readers.py:\n") + QString::fromUtf8(out);
    return faults;
}

QJsonObject Mail(const QString& subject, const QString& sent, const QString& body)
{
    return QJsonObject{
        {QStringLiteral("subject"), subject},
        {QStringLiteral("subjectMarker"), true},
        {QStringLiteral("sent"), sent},
        {QStringLiteral("body"), body},
        {QStringLiteral("from"), QJsonObject{{QStringLiteral("name"), QStringLiteral("山田 太郎")},
                                             {QStringLiteral("address"), QStringLiteral("taro@example.jp")}}},
        {QStringLiteral("to"), QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("佐藤 花子")},
                                                      {QStringLiteral("address"), QStringLiteral("hanako@example.jp")}}}}};
}

} // namespace MkPstTest
