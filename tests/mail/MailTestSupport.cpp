#include "MailTestSupport.h"

#include "TestSupport.h"
#include "runtime/Locale.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <cstdlib>

namespace MailTest {

void MailFixture::SetUp()
{
    ASSERT_TRUE(FRoot.isValid());
    Out = FRoot.path() + QStringLiteral("/out");
    Tmp = FRoot.path() + QStringLiteral("/tmp");
    ASSERT_TRUE(QDir().mkdir(Out));
    ASSERT_TRUE(QDir().mkdir(Tmp));
    const char* old = std::getenv("TMPDIR");
    FHadTmp = old != nullptr;
    if (old)
        FOldTmp = old;
    setenv("TMPDIR", QFile::encodeName(Tmp).constData(), 1);
    SetFormatLocale(QLocale::c());
}

void MailFixture::TearDown()
{
    SetFormatLocale(QLocale::system());
    if (FHadTmp)
        setenv("TMPDIR", FOldTmp.constData(), 1);
    else
        unsetenv("TMPDIR");
}

Outlook::TMailItem MailFixture::Item(const Fake::MailSpec& spec, const QString& id)
{
    return Outlook::TMailItem(Automation::OleRef(Fake.MakeMail(spec, id)));
}

Fake::FakePtr MailFixture::Attachment(const Outlook::TMailItem& item, qint32 index)
{
    const Automation::OleRef attachment = item.GetItem()
                                              .GetObject(QStringLiteral("Attachments"))
                                              .GetObject(QStringLiteral("Item"), {index});
    return std::dynamic_pointer_cast<Fake::FakeObject>(attachment.Object());
}

void MailFixture::Write(const QString& path, const QByteArray& data)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
}

QByteArray MailFixture::Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList MailFixture::Entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                               QDir::NoDotAndDotDot);
}

QString CheckWithPython(const QJsonArray& cases)
{
    int exitCode = -1;
    QByteArray errors;
    const QByteArray out = TestSupport::Run(
        QStringLiteral("python3"), {QStringLiteral(TIDEWELL_SOURCE_DIR "/tests/mail/check_eml.py")},
        &exitCode, &errors, QJsonDocument(cases).toJson());
    if (exitCode == 0 && out.isEmpty())
        return QString();
    return QStringLiteral("exit code %1\n").arg(exitCode) + QString::fromUtf8(out + errors);
}

QString HeaderField(const QByteArray& file, const QByteArray& name)
{
    const qsizetype end = file.indexOf("\r\n\r\n");
    const QByteArray header = file.left(end < 0 ? file.size() : end).replace("\r\n ", " ");
    for (const QByteArray& line : header.split('\n')) {
        if (line.startsWith(name + ": "))
            return QString::fromUtf8(line.mid(name.size() + 2).trimmed());
    }
    return QString();
}

} // namespace MailTest
