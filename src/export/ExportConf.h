// The configuration of one export command: the export type, the naming rule and
// its format, the save folder and the option flags.
#pragma once

#include <QString>

// The settings shared by every export type.
class TExportEmlConf {
public:
    TExportEmlConf() = default;
    TExportEmlConf(const TExportEmlConf& source);
    TExportEmlConf& operator=(const TExportEmlConf& source) = default;
    virtual ~TExportEmlConf() = default;

    // 0 sequence number, 1 subject, 2 parameter; other values are ignored.
    int GetEmlNameType() const { return FEmlNameType; }
    void SetEmlNameType(int value);
    // The name format for rules 0 and 1; the parameter text for rule 2.
    const QString& GetEmlFormat() const { return FEmlFormat; }
    void SetEmlFormat(const QString& value) { FEmlFormat = value; }
    int GetEmlDigit() const { return FEmlDigit; }
    void SetEmlDigit(int value) { FEmlDigit = value; }
    const QString& GetEmlSaveDir() const { return FEmlSaveDir; }
    void SetEmlSaveDir(const QString& value) { FEmlSaveDir = value; }
    bool GetEmlMakeDir() const { return FEmlMakeDir; }
    void SetEmlMakeDir(bool value) { FEmlMakeDir = value; }
    bool GetEmlTimeStamp() const { return FEmlTimeStamp; }
    void SetEmlTimeStamp(bool value) { FEmlTimeStamp = value; }
    bool GetEmlUseParamRegexp() const { return FEmlUseParamRegexp; }
    void SetEmlUseParamRegexp(bool value) { FEmlUseParamRegexp = value; }
    bool GetEmlSkipSameMail() const { return FEmlSkipSameMail; }
    void SetEmlSkipSameMail(bool value) { FEmlSkipSameMail = value; }
    const QString& GetEmlAttachedFileDir() const { return FEmlAttachedFileDir; }
    void SetEmlAttachedFileDir(const QString& value) { FEmlAttachedFileDir = value; }

private:
    int FEmlNameType = 0;
    QString FEmlFormat = QStringLiteral("<n>.eml");
    int FEmlDigit = 1;
    QString FEmlSaveDir;
    bool FEmlMakeDir = false;
    bool FEmlTimeStamp = false;
    bool FEmlUseParamRegexp = false;
    bool FEmlSkipSameMail = false;
    QString FEmlAttachedFileDir;
};

// The settings plus the export type: 0 .msg, 1 .txt, 2 .eml without attachments,
// 3 .eml with attachments.
class TExportConf : public TExportEmlConf {
public:
    explicit TExportConf(int exportType);

    int GetExportType() const { return FExportType; }

    // The display label and the file extension of an export type; empty for an
    // unknown type.
    static QString GetTypeName(int exportType);
    static QString GetExtension(int exportType);
    QString GetTypeName() const { return GetTypeName(FExportType); }
    QString GetExtension() const { return GetExtension(FExportType); }

private:
    int FExportType;
};
