#include "ExportConf.h"

TExportEmlConf::TExportEmlConf(const TExportEmlConf& source)
    : FEmlNameType(source.FEmlNameType), FEmlFormat(source.FEmlFormat), FEmlDigit(source.FEmlDigit),
      FEmlSaveDir(source.FEmlSaveDir), FEmlMakeDir(source.FEmlMakeDir),
      FEmlTimeStamp(source.FEmlTimeStamp), FEmlUseParamRegexp(source.FEmlUseParamRegexp),
      FEmlSkipSameMail(source.FEmlSkipSameMail), FEmlAttachedFileDir(source.FEmlAttachedFileDir)
{
}

void TExportEmlConf::SetEmlNameType(int value)
{
    if (value >= 0 && value < 3)
        FEmlNameType = value;
}

TExportConf::TExportConf(int exportType) : FExportType(exportType)
{
    switch (exportType) {
    case 0:
        SetEmlFormat(QStringLiteral("<n>.msg"));
        break;
    case 1:
        SetEmlFormat(QStringLiteral("<n>.txt"));
        break;
    case 2:
    case 3:
        SetEmlFormat(QStringLiteral("<n>.eml"));
        break;
    default:
        break;
    }
}

QString TExportConf::GetTypeName(int exportType)
{
    switch (exportType) {
    case 0:
        return QStringLiteral("Outlook メッセージ形式 (.msg)");
    case 1:
        return QStringLiteral("テキスト形式 (.txt)");
    case 2:
        return QStringLiteral("eml形式 (.eml) 添付ファイルなし");
    case 3:
        return QStringLiteral("eml形式 (.eml) 添付ファイルあり");
    default:
        return QString();
    }
}

QString TExportConf::GetExtension(int exportType)
{
    switch (exportType) {
    case 0:
        return QStringLiteral(".msg");
    case 1:
        return QStringLiteral(".txt");
    case 2:
    case 3:
        return QStringLiteral(".eml");
    default:
        return QString();
    }
}
