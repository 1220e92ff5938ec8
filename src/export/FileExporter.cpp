#include "FileExporter.h"

#include "ExportConf.h"

void TFileExporter::SetNameType(int type)
{
    if (type < 0 || type > 2 || type == FNameType)
        return;
    FNameType = type;
    FRule.reset();
}

QString TFileExporter::GetSaveName(const QString& dir, const QString& subject, const QString& body)
{
    if (!FRule) {
        switch (FNameType) {
        case 0:
            FRule = std::make_unique<TSaveNameSequence>(
                static_cast<const TSaveNameSequenceData*>(this));
            break;
        case 1:
            FRule =
                std::make_unique<TSaveNameSubject>(static_cast<const TSaveNameSubjectData*>(this));
            break;
        default:
            FRule = std::make_unique<TSaveNameMailParameter>(
                static_cast<const TSaveNameMailParameterData*>(this));
            break;
        }
    }
    return FRule->GetSaveName(dir, subject, body);
}

void ApplyExportConf(TFileExporter& exporter, const TExportConf& conf)
{
    const QString extension = conf.GetExtension();
    exporter.SetNameType(conf.GetEmlNameType());
    exporter.SetPlainFormat(QStringLiteral("<s>") + extension);
    exporter.SetDigit(conf.GetEmlDigit());
    if (conf.GetEmlNameType() == 2) {
        exporter.SetParameter(conf.GetEmlFormat());
        exporter.SetUseRegexp(conf.GetEmlUseParamRegexp());
        exporter.SetFormat(QStringLiteral("<s>(<n>)") + extension);
    } else {
        exporter.SetFormat(conf.GetEmlFormat());
    }
}
