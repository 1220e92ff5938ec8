#include "Commands.h"

#include "OutlookPst.h"
#include "automation/ComObj.h"
#include "automation/Dispatch.h"
#include "runtime/DateTime.h"
#include "runtime/Exception.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using Automation::OleRef;

namespace {

const char kUsage[] =
    "使い方: tidewell-outlook [--store ファイル]... コマンド\n"
    "\n"
    "Outlook のデータファイル (.pst, .ost) を Outlook の代わりに提供するサーバーの道具です。\n"
    "--store を指定すると、プロファイルの代わりにそのデータファイルを開きます "
    "(プロファイルは変えません)。\n"
    "\n"
    "コマンド:\n"
    "  profile list              プロファイルのデータファイルを表示します\n"
    "  profile add ファイル      データファイルをプロファイルに加えます\n"
    "  profile remove ファイル   データファイルをプロファイルから除きます\n"
    "  tree                      フォルダーを 1 行ずつ表示します "
    "(パス、既定のアイテムの種類、アイテム数をタブ区切りで)\n"
    "  show パス 番号            フォルダーの 番号 (1 から) のメールを JSON で表示します\n"
    "  save パス 番号 ファイル [--format msg|txt]\n"
    "                            メールを .msg (既定) かテキストで保存します\n"
    "  --help                    この説明を表示します\n"
    "\n"
    "パスはフォルダー名の前に \\ を付けて最上位からつなげたものです (例: \\Personal "
    "folders\\Inbox)。\n";

class ToolError : public Exception {
public:
    using Exception::Exception;
};

// A command line that does not say what to do: exit code 2, as for any usage error.
class UsageError : public ToolError {
public:
    using ToolError::ToolError;
};

OleRef OpenNamespace()
{
    OleRef application(Automation::CreateOleObject(QStringLiteral("Outlook.Application")));
    return application.GetObject(QStringLiteral("GetNamespace"), {QStringLiteral("MAPI")});
}

std::vector<OleRef> Children(const OleRef& parent)
{
    std::vector<OleRef> children;
    OleRef folders = parent.GetObject(QStringLiteral("Folders"));
    const qint32 count = folders.GetInt(QStringLiteral("Count"));
    for (qint32 i = 1; i <= count; ++i)
        children.push_back(folders.GetObject(QStringLiteral("Item"), {i}));
    return children;
}

// Prints the folder and everything below it; returns false if any part failed.
bool PrintTree(const OleRef& folder, const QString& parentPath, QTextStream& out, QTextStream& err)
{
    QString path = parentPath;
    try {
        path += QLatin1Char('\\') + folder.GetText(QStringLiteral("Name"));
        const qint32 type = folder.GetInt(QStringLiteral("DefaultItemType"));
        const qint32 count =
            folder.GetObject(QStringLiteral("Items")).GetInt(QStringLiteral("Count"));
        out << path << '\t' << type << '\t' << count << '\n';
        bool ok = true;
        for (const OleRef& child : Children(folder))
            ok = PrintTree(child, path, out, err) && ok;
        return ok;
    } catch (const Exception& e) {
        out.flush();
        err << path << ": " << e.Message() << '\n';
        return false;
    }
}

OleRef FindFolder(const OleRef& ns, const QString& path)
{
    const QStringList names = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (names.isEmpty())
        throw UsageError(QStringLiteral("フォルダーのパスが空です。"));
    OleRef current = ns;
    for (const QString& name : names) {
        OleRef match;
        for (const OleRef& child : Children(current)) {
            if (child.GetText(QStringLiteral("Name")) == name) {
                match = child;
                break;
            }
        }
        if (match.IsNull())
            throw ToolError(QStringLiteral("フォルダー %1 はありません。").arg(path));
        current = match;
    }
    return current;
}

OleRef FindItem(const QString& path, const QString& indexText)
{
    bool ok = false;
    const qint32 index = indexText.toInt(&ok);
    if (!ok)
        throw UsageError(QStringLiteral("番号 %1 は整数ではありません。").arg(indexText));
    OleRef items = FindFolder(OpenNamespace(), path).GetObject(QStringLiteral("Items"));
    const qint32 count = items.GetInt(QStringLiteral("Count"));
    if (index < 1 || index > count)
        throw ToolError(
            count == 0
                ? QStringLiteral("フォルダー %1 にはアイテムがありません。").arg(path)
                : QStringLiteral("番号 %1 は範囲外です (1 から %2)。").arg(index).arg(count));
    return items.GetObject(QStringLiteral("Item"), {index});
}

QString IsoTime(TDateTime value)
{
    return DateTimeToQDateTime(value).toString(Qt::ISODate);
}

int Show(const QStringList& args, QTextStream& out)
{
    if (args.size() != 2)
        throw UsageError(QStringLiteral("show にはパスと番号を指定してください。"));
    const OleRef item = FindItem(args[0], args[1]);
    QJsonObject json;
    for (const char* member : {"EntryID", "Subject", "Body", "ReplyRecipientNames", "SenderName",
                               "SenderEmailAddress", "To", "CC", "BCC"})
        json.insert(QLatin1String(member), item.GetText(QLatin1String(member)));
    json.insert(QStringLiteral("SentOn"), IsoTime(item.GetDateTime(QStringLiteral("SentOn"))));
    json.insert(QStringLiteral("ReceivedTime"),
                IsoTime(item.GetDateTime(QStringLiteral("ReceivedTime"))));
    json.insert(QStringLiteral("Importance"), item.GetInt(QStringLiteral("Importance")));
    json.insert(QStringLiteral("Sensitivity"), item.GetInt(QStringLiteral("Sensitivity")));
    QJsonArray recipients;
    OleRef recipientList = item.GetObject(QStringLiteral("Recipients"));
    for (qint32 i = 1, n = recipientList.GetInt(QStringLiteral("Count")); i <= n; ++i) {
        OleRef r = recipientList.GetObject(QStringLiteral("Item"), {i});
        recipients.append(
            QJsonObject{{QStringLiteral("Name"), r.GetText(QStringLiteral("Name"))},
                        {QStringLiteral("Address"), r.GetText(QStringLiteral("Address"))}});
    }
    json.insert(QStringLiteral("Recipients"), recipients);
    QJsonArray attachments;
    OleRef attachmentList = item.GetObject(QStringLiteral("Attachments"));
    for (qint32 i = 1, n = attachmentList.GetInt(QStringLiteral("Count")); i <= n; ++i)
        attachments.append(attachmentList.GetObject(QStringLiteral("Item"), {i})
                               .GetText(QStringLiteral("FileName")));
    json.insert(QStringLiteral("Attachments"), attachments);
    out << QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Indented));
    return 0;
}

int Save(QStringList args)
{
    QString format;
    const qsizetype at = args.indexOf(QStringLiteral("--format"));
    if (at >= 0) {
        if (at + 1 >= args.size())
            throw UsageError(QStringLiteral("--format には msg か txt を指定してください。"));
        format = args[at + 1];
        args.remove(at, 2);
    }
    if (args.size() != 3)
        throw UsageError(
            QStringLiteral("save にはパス、番号、保存先のファイルを指定してください。"));
    if (format.isEmpty())
        format = args[2].endsWith(QLatin1String(".txt"), Qt::CaseInsensitive)
                     ? QStringLiteral("txt")
                     : QStringLiteral("msg");
    qint32 number;
    if (format == QLatin1String("msg"))
        number = 3;
    else if (format == QLatin1String("txt"))
        number = 0;
    else
        throw UsageError(QStringLiteral("形式 %1 には対応していません (msg か txt)。").arg(format));
    FindItem(args[0], args[1]).Call(QStringLiteral("SaveAs"), {args[2], number});
    return 0;
}

int Profile(const QStringList& args, QTextStream& out)
{
    const QString verb = args.value(0);
    if (verb == QLatin1String("list") && args.size() == 1) {
        for (const QString& path : OutlookPst::ProfileStores())
            out << path << '\n';
        return 0;
    }
    if (verb == QLatin1String("add") && args.size() == 2) {
        if (!QFileInfo(args[1]).isFile())
            throw ToolError(QStringLiteral("データファイル %1 がありません。").arg(args[1]));
        OutlookPst::AddProfileStore(args[1]);
        return 0;
    }
    if (verb == QLatin1String("remove") && args.size() == 2) {
        OutlookPst::RemoveProfileStore(args[1]);
        return 0;
    }
    throw UsageError(QStringLiteral(
        "profile には list、add ファイル、remove ファイル のどれかを指定してください。"));
}

} // namespace

int RunOutlookTool(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    QStringList args = arguments;
    QStringList stores;
    while (!args.isEmpty() && args.first() == QLatin1String("--store")) {
        if (args.size() < 2) {
            err << "--store にはデータファイルを指定してください。\n";
            return 2;
        }
        stores << args[1];
        args.remove(0, 2);
    }
    if (args.isEmpty() || args.first() == QLatin1String("--help") ||
        args.first() == QLatin1String("-h")) {
        (args.isEmpty() ? err : out) << QString::fromUtf8(kUsage);
        return args.isEmpty() ? 2 : 0;
    }
    if (!stores.isEmpty())
        OutlookPst::SetSessionStores(stores);
    const QString command = args.takeFirst();
    try {
        if (command == QLatin1String("profile"))
            return Profile(args, out);
        if (command == QLatin1String("tree")) {
            if (!args.isEmpty())
                throw UsageError(QStringLiteral("tree は引数を取りません。"));
            bool ok = true;
            for (const OleRef& top : Children(OpenNamespace()))
                ok = PrintTree(top, QString(), out, err) && ok;
            return ok ? 0 : 1;
        }
        if (command == QLatin1String("show"))
            return Show(args, out);
        if (command == QLatin1String("save"))
            return Save(args);
        err << QStringLiteral("コマンド %1 は不明です。--help で使い方を表示します。\n")
                   .arg(command);
        return 2;
    } catch (const UsageError& e) {
        out.flush();
        err << e.Message() << '\n' << QStringLiteral("--help で使い方を表示します。") << '\n';
        return 2;
    } catch (const Exception& e) {
        out.flush();
        err << e.Message() << '\n';
        return 1;
    }
}
