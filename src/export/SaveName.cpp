#include "SaveName.h"

#include "FileUtils.h"
#include "RegexUtility.h"
#include "SequenceNumber.h"

#include <QFileInfo>
#include <QStringList>
#include <vector>

namespace {

const QString& NoName()
{
    static const QString text = QStringLiteral("(noname)");
    return text;
}

// A folder of that name does not count as taken.
bool FileExists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

// "(<n>)" inserted before the extension of the last path component, or appended.
QString NumberedFormat(const QString& plainFormat)
{
    const qsizetype slash = plainFormat.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = plainFormat.lastIndexOf(QLatin1Char('.'));
    QString result = plainFormat;
    if (dot > slash)
        result.insert(dot, QStringLiteral("(<n>)"));
    else
        result += QStringLiteral("(<n>)");
    return result;
}

// dir followed by the expanded format. When the last component would be longer
// than a file name may be, the longest leading part of the name text that fits is
// used instead, cut between code points; *usedName receives the text used.
QString ExpandFitting(const QString& dir, const QString& format, int number, int digits,
                      const QString& name, QString* usedName)
{
    const QString full = dir + TSequenceNumber::Expand(format, number, digits, name);
    *usedName = name;
    if (TFileUtils::LastComponentBytes(full) <= TFileUtils::MaxFileNameBytes)
        return full;
    std::vector<qsizetype> cuts; // code point boundaries, from 0 to name.size() - 1
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!(name[i].isLowSurrogate() && i > 0 && name[i - 1].isHighSurrogate()))
            cuts.push_back(i);
    }
    auto fits = [&](qsizetype cut) {
        return TFileUtils::LastComponentBytes(
                   dir + TSequenceNumber::Expand(format, number, digits, name.left(cut))) <=
               TFileUtils::MaxFileNameBytes;
    };
    if (!fits(0))
        return full;                             // nothing the name text could give up makes it fit
    std::size_t low = 0, high = cuts.size() - 1; // fits(cuts[low]) holds
    while (low < high) {
        const std::size_t middle = (low + high + 1) / 2;
        if (fits(cuts[middle]))
            low = middle;
        else
            high = middle - 1;
    }
    *usedName = name.left(cuts[low]);
    return dir + TSequenceNumber::Expand(format, number, digits, *usedName);
}

} // namespace

QString TSaveNameBase::MakeUniqueName(const QString& dir, const QString& name,
                                      const QString& plainFormat, const QString& format, int digits,
                                      TDuplicateMemory& memory)
{
    const QString base = dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
    QString key;
    const QString first = ExpandFitting(base, plainFormat, 0, 1, name, &key);
    if (!FileExists(first))
        return first;
    std::map<QString, int>& names = memory[dir];
    auto entry = names.try_emplace(key, 1).first;
    const QString numbered =
        format.contains(QStringLiteral("<n>")) ? format : NumberedFormat(plainFormat);
    int n = entry->second;
    QString candidate;
    QString used;
    do {
        candidate = ExpandFitting(base, numbered, n, digits, key, &used);
        ++n;
    } while (FileExists(candidate));
    entry->second = n;
    return candidate;
}

QString TSaveNameSequence::GetSaveName(const QString& dir, const QString&, const QString&)
{
    auto entry = FMemory.try_emplace(dir, 1).first;
    const int n = entry->second++;
    return dir + TSequenceNumber::Expand(FData->GetFormat(), n, FData->GetDigit(), QString());
}

QString TSaveNameSubject::GetSaveName(const QString& dir, const QString& subject, const QString&)
{
    const QString name = subject.isEmpty() ? NoName() : TFileUtils::GetUsingFileName(subject);
    return MakeUniqueName(dir, name, FData->GetPlainFormat(), FData->GetFormat(), FData->GetDigit(),
                          FMemory);
}

QString TSaveNameMailParameter::GetSaveName(const QString& dir, const QString&, const QString& body)
{
    const QString parameter = FData->GetParameter();
    QString text = FData->GetUseRegexp() ? ExtractRegexParameter(parameter, body)
                                         : ExtractPlainParameter(parameter, body);
    text = TFileUtils::GetUsingFileName(text);
    if (text.isEmpty())
        text = NoName();
    return MakeUniqueName(dir, text, FData->GetPlainFormat(), FData->GetFormat(), FData->GetDigit(),
                          FMemory);
}

QString TSaveNameMailParameter::ExtractPlainParameter(const QString& parameter, const QString& body)
{
    if (parameter.isEmpty() || body.isEmpty())
        return QString();
    const qsizetype nul = body.indexOf(QChar(0));
    const QStringView text = QStringView(body).left(nul < 0 ? body.size() : nul);
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != QLatin1Char('\r') &&
               text[end] != QLatin1Char('\n'))
            ++end;
        const QStringView line = text.mid(start, end - start);
        if (line.startsWith(parameter))
            return line.mid(parameter.size()).toString();
        if (end >= text.size())
            break;
        start = end + (text[end] == QLatin1Char('\r') && end + 1 < text.size() &&
                               text[end + 1] == QLatin1Char('\n')
                           ? 2
                           : 1);
    }
    return QString();
}

QString TSaveNameMailParameter::ExtractRegexParameter(const QString& parameter, const QString& body)
{
    QString text = TRegexUtility::GetRegexText(body, parameter, TRegexUtility::SingleLine);
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}
