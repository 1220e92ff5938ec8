#include "PstTestSupport.h"

#include "OutlookPst.h"
#include "TestSupport.h"
#include "automation/ComObj.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QTimeZone>
#include <algorithm>
#include <memory>

using Automation::OleRef;

namespace PstTest {

QString SamplePath() { return QStringLiteral(TIDEWELL_SOURCE_DIR "/data/enron.pst"); }

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QDateTime ParsePffTime(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("^(\\w{3}) (\\d\\d), (\\d{4}) (\\d\\d):(\\d\\d):(\\d\\d)"));
    const QRegularExpressionMatch m = re.match(text.trimmed());
    if (!m.hasMatch())
        return QDateTime();
    static const QStringList months = {QStringLiteral("Jan"), QStringLiteral("Feb"), QStringLiteral("Mar"),
                                       QStringLiteral("Apr"), QStringLiteral("May"), QStringLiteral("Jun"),
                                       QStringLiteral("Jul"), QStringLiteral("Aug"), QStringLiteral("Sep"),
                                       QStringLiteral("Oct"), QStringLiteral("Nov"), QStringLiteral("Dec")};
    const QDate date(m.captured(3).toInt(), months.indexOf(m.captured(1)) + 1, m.captured(2).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    return QDateTime(date, time, Qt::UTC);
}

QString ExportName(const QString& name)
{
    QString out;
    for (QChar c : name) {
        const bool safe = c.isLetterOrNumber() || QStringLiteral(" .()_'-,#").contains(c);
        out += safe ? c : QLatin1Char('_');
    }
    return out;
}

namespace {

QMap<QString, QString> ParseHeaders(const QByteArray& text)
{
    QMap<QString, QString> headers;
    for (const QByteArray& line : text.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || line.startsWith('\t'))
            continue;
        const QString key = QString::fromUtf8(line.left(colon)).trimmed();
        const QString value = QString::fromUtf8(line.mid(colon + 1)).trimmed();
        if (!headers.contains(key))
            headers.insert(key, value);
    }
    return headers;
}

std::vector<ExportedRecipient> ParseRecipients(const QByteArray& text)
{
    std::vector<ExportedRecipient> out;
    ExportedRecipient current;
    bool any = false;
    for (const QByteArray& raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw);
        if (line.trimmed().isEmpty()) {
            if (any)
                out.push_back(current);
            current = ExportedRecipient();
            any = false;
            continue;
        }
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon < 0)
            continue;
        const QString key = line.left(colon).trimmed();
        const QString value = line.mid(colon + 1).trimmed();
        any = true;
        if (key == QLatin1String("Display name"))
            current.Name = value;
        else if (key == QLatin1String("Email address"))
            current.Address = value;
        else if (key == QLatin1String("Recipient type"))
            current.Type = value;
    }
    if (any)
        out.push_back(current);
    return out;
}

} // namespace

const Exported& PffExport(const QString& dataFile)
{
    static QHash<QString, std::shared_ptr<Exported>> cache;
    static QTemporaryDir dir;
    if (auto it = cache.constFind(dataFile); it != cache.constEnd())
        return **it;
    auto result = std::make_shared<Exported>();
    const QString target = dir.path() + QStringLiteral("/e%1").arg(cache.size());
    int exitCode = -1;
    TestSupport::Run(QStringLiteral("pffexport"), {QStringLiteral("-q"), QStringLiteral("-t"), target, dataFile},
                     &exitCode);
    QDir top(target + QStringLiteral(".export/Top of Personal Folders"));
    static const QRegularExpression messageDir(QStringLiteral("^Message(\\d{5})$"));
    QDirIterator it(top.path(), QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = top.relativeFilePath(path);
        const QStringList parts = relative.split(QLatin1Char('/'));
        const qsizetype messageAt = std::find_if(parts.begin(), parts.end(), [](const QString& p) {
                                        return messageDir.match(p).hasMatch();
                                    }) - parts.begin();
        if (messageAt == parts.size()) {
            result->Folders << QLatin1Char('\\') + parts.join(QLatin1Char('\\'));
            continue;
        }
        if (messageAt != parts.size() - 1)
            continue; // inside a message
        ExportedMessage m;
        m.Folder = messageAt == 0 ? QString() : QLatin1Char('\\') + parts.mid(0, messageAt).join(QLatin1Char('\\'));
        m.Index = messageDir.match(parts.last()).captured(1).toInt();
        m.Headers = ParseHeaders(ReadFile(path + QStringLiteral("/OutlookHeaders.txt")));
        m.Recipients = ParseRecipients(ReadFile(path + QStringLiteral("/Recipients.txt")));
        QDir attachments(path + QStringLiteral("/Attachments"));
        QStringList files = attachments.entryList(QDir::Files, QDir::Name);
        files.removeAll(QStringLiteral("ItemValues.txt"));
        std::sort(files.begin(), files.end(), [](const QString& a, const QString& b) {
            return a.section(QLatin1Char('_'), 0, 0).toInt() < b.section(QLatin1Char('_'), 0, 0).toInt();
        });
        for (const QString& f : files)
            m.Attachments.push_back({f.section(QLatin1Char('_'), 1), ReadFile(attachments.filePath(f))});
        result->Messages.push_back(std::move(m));
    }
    result->Folders.sort();
    std::sort(result->Messages.begin(), result->Messages.end(), [](const ExportedMessage& a, const ExportedMessage& b) {
        return a.Folder != b.Folder ? a.Folder < b.Folder : a.Index < b.Index;
    });
    cache.insert(dataFile, result);
    return *result;
}

OleRef NewNamespace(const QStringList& stores)
{
    OutlookPst::RegisterOutlookApplication();
    OutlookPst::SetSessionStores(stores);
    OleRef app(Automation::CreateOleObject(QStringLiteral("Outlook.Application")));
    OutlookPst::ClearSessionStores();
    return app.GetObject(QStringLiteral("GetNamespace"), {QStringLiteral("MAPI")});
}

std::vector<OleRef> Elements(const OleRef& object, const QString& member)
{
    std::vector<OleRef> out;
    OleRef collection = object.GetObject(member);
    const qint32 count = collection.GetInt(QStringLiteral("Count"));
    for (qint32 i = 1; i <= count; ++i)
        out.push_back(collection.GetObject(QStringLiteral("Item"), {i}));
    return out;
}

OleRef FolderAt(const OleRef& ns, const QString& path)
{
    OleRef current = ns;
    for (const QString& name : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        OleRef next;
        for (const OleRef& child : Elements(current, QStringLiteral("Folders")))
            if (child.GetText(QStringLiteral("Name")) == name) {
                next = child;
                break;
            }
        if (next.IsNull())
            return OleRef();
        current = next;
    }
    return current;
}

void Walk(const OleRef& folder, const QString& path, const std::function<void(const OleRef&, const QString&)>& visit)
{
    visit(folder, path);
    for (const OleRef& child : Elements(folder, QStringLiteral("Folders")))
        Walk(child, path + QLatin1Char('\\') + child.GetText(QStringLiteral("Name")), visit);
}

} // namespace PstTest
