#include "ExportCli.h"

#include "ConsoleHost.h"
#include "OutlookPst.h"
#include "app/ErrorMail.h"
#include "app/ExportRun.h"
#include "app/FolderTree.h"
#include "export/ExportConf.h"
#include "export/FileUtils.h"
#include "export/RegexUtility.h"
#include "outlook/Outlook.h"
#include "runtime/Exception.h"
#include "support/Nkf.h"

#include <unistd.h>

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringEncoder>

#include <algorithm>
#include <cerrno>

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

struct Options {
    QStringList stores;
    QString folder;
    bool subFolders = true;
    int exportType = -1;
    int nameType = 0;
    QString format;
    bool formatSet = false;
    int digits = 1;
    QString parameter;
    bool parameterSet = false;
    bool regex = false;
    QString attachmentsDir;
    QString outDir;
    IExportHost::Answer onError = IExportHost::Answer::Yes;
    QString errorsCsv;
    QString csvEncoding;
};

class UsageError : public Exception {
public:
    using Exception::Exception;
};

int IndexOf(const QStringList& names, const QString& value, const QString& option)
{
    const int index = static_cast<int>(names.indexOf(value));
    if (index < 0)
        throw UsageError(QStringLiteral("--%1 には %2 のどれかを指定してください。")
                             .arg(option, names.join(QLatin1Char('|'))));
    return index;
}

// QCommandLineParser's messages, in the words of the rest of the program.
QString ParserError(const QCommandLineParser& parser)
{
    const QString text = parser.errorText();
    static const std::pair<const char*, const char16_t*> patterns[] = {
        {"^Unknown options?:? '?(.*?)'?\\.?$", u"不明なオプションです: %1"},
        {"^Missing value after '(.*)'\\.$", u"%1 の後に値を指定してください。"},
        {"^Unexpected value after '(.*)'\\.$", u"%1 には値を指定できません。"},
    };
    for (const auto& [pattern, message] : patterns) {
        const QRegularExpressionMatch match =
            QRegularExpression(QLatin1String(pattern)).match(text);
        if (match.hasMatch())
            return QString::fromUtf16(message).arg(match.captured(1));
    }
    return QStringLiteral("オプションが正しくありません: ") + text;
}

Options Parse(QCommandLineParser& parser, const QStringList& arguments, QTextStream& out,
              bool& done)
{
    parser.setApplicationDescription(QStringLiteral(
        "Outlook のデータファイル (.pst, .ost) のメールを1通1ファイルでエクスポートします。"));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("この説明を表示します。"));
    const QCommandLineOption store(
        QStringLiteral("store"),
        QStringLiteral(
            "この実行で開くデータファイル (繰り返し可)。省略するとプロファイルのデータファイル。"),
        QStringLiteral("FILE"));
    const QCommandLineOption folder(
        QStringLiteral("folder"),
        QStringLiteral("エクスポートを始めるフォルダのパス (例: \\Personal "
                       "folders\\Inbox)。省略するとフォルダツリーの先頭。"),
        QStringLiteral("PATH"));
    const QCommandLineOption noSub(QStringLiteral("no-subfolders"),
                                   QStringLiteral("サブフォルダを含めずにエクスポートします。"));
    const QCommandLineOption type(
        QStringLiteral("type"),
        QStringLiteral("エクスポート形式 (必須): msg, txt, eml (添付ファイルなし), eml-attachments "
                       "(添付ファイルあり)。"),
        QStringLiteral("TYPE"));
    const QCommandLineOption name(
        QStringLiteral("name"),
        QStringLiteral(
            "ファイル名の付け方: sequence (連番、既定。同じ名前のファイルは上書きします), subject "
            "(件名), parameter (パラメータ)。"
            "件名とパラメータでは、同じ名前のファイルがあれば番号を付けた名前にします。"),
        QStringLiteral("RULE"));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("連番と件名のフォーマット。番号 = <n>、件名 = "
                                                   "<s>。既定は <n>.拡張子 と <s>(<n>).拡張子。"),
                                    QStringLiteral("FMT"));
    const QCommandLineOption digits(QStringLiteral("digits"),
                                    QStringLiteral("連番の桁数 (0～9、既定 1)。"),
                                    QStringLiteral("N"));
    const QCommandLineOption parameter(
        QStringLiteral("parameter"),
        QStringLiteral("パラメータ文字: この文字で始まる本文の行の残りをファイル名にします。"),
        QStringLiteral("TEXT"));
    const QCommandLineOption regex(
        QStringLiteral("regex"),
        QStringLiteral(
            "パラメータ文字を正規表現として使い、1番目のグループをファイル名にします。"));
    const QCommandLineOption attachments(QStringLiteral("attachments-dir"),
                                         QStringLiteral("添付ファイルも保存するフォルダ。"),
                                         QStringLiteral("DIR"));
    const QCommandLineOption outDir(QStringLiteral("out"),
                                    QStringLiteral("エクスポートしたメールを保存するフォルダ。"),
                                    QStringLiteral("DIR"));
    const QCommandLineOption onError(
        QStringLiteral("on-error"),
        QStringLiteral(
            "エラーの後: continue (続行、既定) または skip-folder (そのフォルダを中止)。"),
        QStringLiteral("ACTION"));
    const QCommandLineOption csv(QStringLiteral("errors-csv"),
                                 QStringLiteral("エラーになったメールの一覧を CSV で保存します。"),
                                 QStringLiteral("FILE"));
    const QCommandLineOption csvEncoding(
        QStringLiteral("csv-encoding"),
        QStringLiteral("CSV の文字コード (例: Shift_JIS)。既定はロケールの文字コード。"),
        QStringLiteral("NAME"));
    parser.addOptions({help, store, folder, noSub, type, name, format, digits, parameter, regex,
                       attachments, outDir, onError, csv, csvEncoding});

    // The parser takes the first argument for the program name.
    if (!parser.parse(QStringList{QStringLiteral("tidewell-export")} + arguments))
        throw UsageError(ParserError(parser));
    if (parser.isSet(help)) {
        out << parser.helpText();
        done = true;
        return {};
    }
    if (!parser.positionalArguments().isEmpty())
        throw UsageError(QStringLiteral("不明な引数です: ") +
                         parser.positionalArguments().join(QLatin1Char(' ')));

    Options o;
    o.stores = parser.values(store);
    o.folder = parser.value(folder);
    o.subFolders = !parser.isSet(noSub);
    if (!parser.isSet(type))
        throw UsageError(QStringLiteral("--type を指定してください。"));
    o.exportType = IndexOf({QStringLiteral("msg"), QStringLiteral("txt"), QStringLiteral("eml"),
                            QStringLiteral("eml-attachments")},
                           parser.value(type), QStringLiteral("type"));
    if (parser.isSet(name))
        o.nameType = IndexOf(
            {QStringLiteral("sequence"), QStringLiteral("subject"), QStringLiteral("parameter")},
            parser.value(name), QStringLiteral("name"));
    o.formatSet = parser.isSet(format);
    o.format = parser.value(format);
    if (parser.isSet(digits)) {
        bool ok = false;
        o.digits = parser.value(digits).toInt(&ok);
        if (!ok || o.digits < 0 || o.digits > 9)
            throw UsageError(QStringLiteral("--digits には 0 から 9 の数を指定してください。"));
    }
    o.parameterSet = parser.isSet(parameter);
    o.parameter = parser.value(parameter);
    o.regex = parser.isSet(regex);
    if (o.nameType == 2 && o.formatSet)
        throw UsageError(QStringLiteral(
            "パラメータの規則には --format ではなく --parameter を指定してください。"));
    if (o.nameType != 2 && (o.parameterSet || o.regex))
        throw UsageError(QStringLiteral(
            "--parameter と --regex は --name parameter と一緒に指定してください。"));
    o.attachmentsDir = parser.value(attachments);
    o.outDir = parser.value(outDir);
    if (parser.isSet(onError))
        o.onError = IndexOf({QStringLiteral("continue"), QStringLiteral("skip-folder")},
                            parser.value(onError), QStringLiteral("on-error")) == 0
                        ? IExportHost::Answer::Yes
                        : IExportHost::Answer::No;
    o.errorsCsv = parser.value(csv);
    o.csvEncoding = parser.value(csvEncoding);
    return o;
}

// The configuration a new export of the type starts from, with the naming rule's
// own default format as the conditions dialog sets it when a rule is chosen.
TExportConf MakeConf(const Options& o)
{
    TExportConf conf(o.exportType);
    conf.SetEmlNameType(o.nameType);
    const QString extension = conf.GetExtension();
    if (o.nameType == 2)
        conf.SetEmlFormat(o.parameter);
    else if (o.formatSet)
        conf.SetEmlFormat(o.format);
    else if (o.nameType == 1)
        conf.SetEmlFormat(QStringLiteral("<s>(<n>)") + extension);
    else
        conf.SetEmlFormat(QStringLiteral("<n>") + extension);
    conf.SetEmlDigit(o.digits);
    conf.SetEmlUseParamRegexp(o.regex);
    conf.SetEmlSaveDir(o.outDir.isEmpty()
                           ? QString()
                           : QDir::cleanPath(QDir::current().absoluteFilePath(o.outDir)));
    conf.SetEmlAttachedFileDir(
        o.attachmentsDir.isEmpty()
            ? QString()
            : QDir::cleanPath(QDir::current().absoluteFilePath(o.attachmentsDir)));
    return conf;
}

// The entry checks of the export conditions, on the configuration. Empty when the
// configuration may be exported; otherwise the message.
QString CheckConf(const TExportConf& conf)
{
    if (conf.GetEmlNameType() != 2 && !conf.GetEmlFormat().contains(QStringLiteral("<n>")))
        return QStringLiteral("フォーマット形式に連番記号(<n>)がありません。");
    if (conf.GetEmlNameType() == 2) {
        if (conf.GetEmlFormat().isEmpty())
            return QStringLiteral("パラメータ文字が入力されていません。");
        if (conf.GetEmlUseParamRegexp() && !TUtility::ValidateRegexp(conf.GetEmlFormat()))
            return QStringLiteral("正規表現に間違いがあります。");
    }
    if (conf.GetEmlSaveDir().isEmpty() && conf.GetEmlAttachedFileDir().isEmpty())
        return QStringLiteral("保存先フォルダが指定されていません。");
    return QString();
}

// Whether the error list can be written where and as asked; empty when it can,
// else the message. Checked before the first mail, so that a long export does not
// end without its list.
QString CheckErrorsCsv(const QString& fileName, const QString& encoding)
{
    if (!encoding.isEmpty() && !QStringEncoder(encoding.toLatin1().constData()).isValid())
        return QStringLiteral("--csv-encoding: 文字コード %1 は使用できません。").arg(encoding);
    if (fileName.isEmpty())
        return QString();
    const QFileInfo info(fileName);
    const QString cannot =
        QStringLiteral("エラー一覧の CSV ファイル %1 を作成できません: ").arg(fileName);
    if (info.isDir())
        return cannot + SysErrorMessage(EISDIR);
    if (!QFileInfo(info.absolutePath()).isDir()) {
        // A missing folder is made at the end, as --out makes its own: the
        // nearest folder that exists must let it be made.
        QString existing = info.absolutePath();
        while (!QFileInfo::exists(existing))
            existing = QFileInfo(existing).absolutePath();
        if (!QFileInfo(existing).isDir())
            return cannot + SysErrorMessage(ENOTDIR);
        if (::access(QFile::encodeName(existing).constData(), W_OK | X_OK) != 0)
            return cannot + SysErrorMessage(errno);
        return QString();
    }
    // A trial of what writing it at the end does: a temporary file in its folder.
    QSaveFile trial(fileName);
    errno = 0;
    if (!trial.open(QIODevice::WriteOnly))
        return cannot + (errno != 0 ? SysErrorMessage(errno) : trial.errorString());
    trial.cancelWriting();
    trial.commit();
    return QString();
}

// The data files to export from, each checked before anything is written. Empty
// when none can be opened; every failure is printed.
QStringList OpenableStores(const QStringList& requested, TConsoleHost& host,
                           std::vector<TErrorMail>& problems)
{
    QStringList openable;
    for (const QString& path : requested) {
        const QString problem = OutlookPst::CheckDataFile(path);
        if (problem.isEmpty()) {
            openable << path;
        } else {
            host.PrintLine(problem);
            problems.push_back({QLatin1Char('\\') + QFileInfo(path).fileName(), -1, problem});
        }
    }
    return openable;
}

// Creates a missing folder with its parents; the message when that fails.
QString MakeFolder(const QString& dir)
{
    if (dir.isEmpty())
        return QString();
    const QString reason = TFileUtils::MakeDirectories(dir);
    if (reason.isEmpty())
        return QString();
    return QStringLiteral("保存先フォルダの作成に失敗しました。\n%1\n%2").arg(dir, reason);
}

// Same folder, same position, same message: the same failure seen twice, once
// while the tree was built and once by the export.
bool SameRecord(const TErrorMail& a, const TErrorMail& b)
{
    return a.FolderPath == b.FolderPath && a.Index == b.Index && a.Message == b.Message;
}

} // namespace

int RunExportTool(const QStringList& arguments, QTextStream& out, QTextStream& err,
                  bool errIsTerminal)
{
    QCommandLineParser parser;
    Options options;
    try {
        bool done = false;
        options = Parse(parser, arguments, out, done);
        if (done)
            return kOk;
    } catch (const UsageError& e) {
        err << e.Message() << "\n" << QStringLiteral("--help で使い方を表示します。") << "\n";
        return kUsage;
    }

    const TExportConf conf = MakeConf(options);
    if (const QString problem = CheckConf(conf); !problem.isEmpty()) {
        err << problem << "\n";
        return kUsage;
    }
    if (const QString problem = CheckErrorsCsv(options.errorsCsv, options.csvEncoding);
        !problem.isEmpty()) {
        err << problem << "\n";
        return kUsage;
    }

    TConsoleHost host(err, errIsTerminal, options.onError);
    TConsoleHost::InstallInterruptHandler();

    // The start-up checks of the desktop program: the converter, then Outlook.
    host.ShowStatus(QStringLiteral("NKF32.DLLを読み込みます。"));
    if (TNkfSingleton::GetInstance()->GetNkf()->Init() != 0) {
        host.PrintLine(QStringLiteral("NKF32.DLLの読み込みに失敗しました。"));
        return kUsage;
    }
    host.ShowStatus(QStringLiteral("NKF32.DLLを読み込みました。"));

    // Every data file is opened before anything is written: one that cannot be
    // opened is reported once, and with none left there is nothing to export from.
    QStringList requested;
    if (!options.stores.isEmpty()) {
        for (const QString& store : options.stores)
            requested << QFileInfo(store).absoluteFilePath();
    } else {
        try {
            requested = OutlookPst::ProfileStores();
        } catch (const Exception& e) {
            host.PrintLine(e.Message());
            return kUsage;
        }
        if (requested.isEmpty()) {
            host.PrintLine(QStringLiteral(
                "エクスポートするデータファイルがありません。--store ファイル でデータファイル "
                "(.pst, .ost) を指定するか、"
                "tidewell-outlook profile add ファイル でプロファイルに加えてください。"));
            return kUsage;
        }
    }
    std::vector<TErrorMail> problems; // in the order they were met
    const QStringList stores = OpenableStores(requested, host, problems);
    if (stores.isEmpty())
        return kUsage;
    OutlookPst::SetSessionStores(stores);

    TMailSelections selections;
    TErrorMailList errorMails;
    TFolderTree tree;
    TOutlook* session = nullptr;
    try {
        host.ShowStatus(QStringLiteral("Outlookに接続します。"));
        session = TOutlookSingleton::GetInstance();
        host.ShowStatus(QStringLiteral("Outlookに接続しました。"));
        host.ShowStatus(QStringLiteral("Outlookのフォルダを取得します。"));
        tree.Build(session->GetFolders(), selections);
        host.ShowStatus(QStringLiteral("Outlookのフォルダを取得しました。"));
    } catch (const Exception& e) {
        host.PrintLine(e.Message());
        return kUsage;
    }
    for (const TErrorMail& problem : tree.Problems()) {
        host.PrintLine(QStringLiteral("フォルダを読み込めませんでした。 %1 (%2)")
                           .arg(problem.FolderPath, problem.Message));
        problems.push_back(problem);
    }

    TFolderNode* node = tree.FirstNode();
    if (!options.folder.isEmpty()) {
        node = tree.FindNode(options.folder);
        if (!node) {
            host.PrintLine(QStringLiteral("フォルダが見つかりません: ") + options.folder);
            return kUsage;
        }
    }
    if (!node) {
        host.PrintLine(QStringLiteral("フォルダが選択されていません。"));
        return kUsage;
    }

    for (const QString& dir : {conf.GetEmlSaveDir(), conf.GetEmlAttachedFileDir()}) {
        if (const QString problem = MakeFolder(dir); !problem.isEmpty()) {
            host.PrintLine(problem);
            return kUsage;
        }
    }

    TExportRun run(host, selections, errorMails);
    try {
        run.ExportFolders(conf, node, options.subFolders);
    } catch (const Exception& e) {
        host.PrintLine(e.Message());
        return kFailed;
    }
    // The failures in the order they happened: the data files and folders met
    // before the export, then the export's own.
    std::vector<TErrorMail> records = problems;
    for (const TErrorMail& record : errorMails.GetList())
        if (std::none_of(problems.begin(), problems.end(),
                         [&](const TErrorMail& p) { return SameRecord(p, record); }))
            records.push_back(record);

    const bool cancelled = host.GetCancelRequested();
    if (cancelled)
        host.PrintLine(QStringLiteral("キャンセルされました。"));
    else if (records.empty())
        host.PrintLine(QStringLiteral("エクスポート処理を終了しました。"));
    host.PrintLine(
        QStringLiteral("%1通のメールを書き出しました。").arg(run.WrittenMails()) +
        (conf.GetEmlAttachedFileDir().isEmpty()
             ? QString()
             : QStringLiteral("添付ファイル %1個を保存しました。").arg(run.SavedAttachments())));
    if (!records.empty())
        host.PrintLine(QStringLiteral("%1件のエラーがありました。").arg(records.size()));

    if (!options.errorsCsv.isEmpty()) {
        try {
            if (const QString reason = TFileUtils::MakeDirectories(QFileInfo(options.errorsCsv).absolutePath());
                !reason.isEmpty())
                throw EInOutError(QStringLiteral("エラー一覧の CSV ファイル %1 を作成できません: %2")
                                      .arg(options.errorsCsv, reason));
            WriteCsvFile(options.errorsCsv, ErrorListColumns(), FillErrorRows(*session, records),
                         options.csvEncoding);
        } catch (const Exception& e) {
            host.PrintLine(e.Message());
            return kFailed;
        }
    }
    TOutlookSingleton::ReleaseInstance();
    return records.empty() && !cancelled ? kOk : kFailed;
}
