// The naming front-end of one folder's export: holds the naming settings, creates
// the rule for the chosen name type on first use and keeps it, with its memory of
// the names handed out, until the name type changes or the exporter goes.
#pragma once

#include "SaveName.h"

#include <memory>

class TExportConf;

class TFileExporter : public TSaveNameSequenceData,
                      public TSaveNameSubjectData,
                      public TSaveNameMailParameterData {
public:
    TFileExporter() = default;
    TFileExporter(const TFileExporter&) = delete;
    TFileExporter& operator=(const TFileExporter&) = delete;

    QString GetFormat() const override { return FFormat; }
    int GetDigit() const override { return FDigit; }
    QString GetPlainFormat() const override { return FPlainFormat; }
    QString GetParameter() const override { return FParameter; }
    bool GetUseRegexp() const override { return FUseRegexp; }

    // 0 sequence, 1 subject, 2 parameter; other values are ignored. A change drops
    // the current rule and its memory.
    void SetNameType(int type);
    void SetFormat(const QString& value) { FFormat = value; }
    void SetPlainFormat(const QString& value) { FPlainFormat = value; }
    void SetDigit(int value) { FDigit = value; }
    // The parameter rule's line prefix or pattern, and whether it is a pattern.
    void SetParameter(const QString& value) { FParameter = value; }
    void SetUseRegexp(bool value) { FUseRegexp = value; }

    QString GetSaveName(const QString& dir, const QString& subject, const QString& body);

private:
    int FNameType = 0;
    QString FFormat;
    QString FPlainFormat;
    int FDigit = 0;
    QString FParameter;
    bool FUseRegexp = false;
    std::unique_ptr<TSaveNameBase> FRule;
};

// Gives a new exporter the naming settings of a configuration: the name type, the
// format, "<s>" plus the type's extension as the plain format, and the digit
// count. For the parameter rule, whose EmlFormat holds the parameter text, the
// parameter and the regular-expression choice are passed on and duplicates are
// numbered "<s>(<n>)" plus the extension.
void ApplyExportConf(TFileExporter& exporter, const TExportConf& conf);
