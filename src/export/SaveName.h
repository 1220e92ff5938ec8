// The three file-naming rules (sequence number, subject, a parameter taken from
// the body) and the settings interfaces through which they read their formats.
#pragma once

#include <QString>
#include <map>

// Settings read by the rules on every call; the file exporter implements all three.
class TSaveNameSequenceData {
public:
    virtual QString GetFormat() const = 0;
    virtual int GetDigit() const = 0;

protected:
    ~TSaveNameSequenceData() = default;
};

class TSaveNameSubjectData {
public:
    virtual QString GetPlainFormat() const = 0;
    virtual QString GetFormat() const = 0;
    virtual int GetDigit() const = 0;

protected:
    ~TSaveNameSubjectData() = default;
};

class TSaveNameMailParameterData {
public:
    virtual QString GetPlainFormat() const = 0;
    virtual QString GetFormat() const = 0;
    virtual int GetDigit() const = 0;
    virtual QString GetParameter() const = 0;
    virtual bool GetUseRegexp() const = 0;

protected:
    ~TSaveNameMailParameterData() = default;
};

// Folder path -> name text -> the next duplicate number to try.
using TDuplicateMemory = std::map<QString, std::map<QString, int>>;

class TSaveNameBase {
public:
    virtual ~TSaveNameBase() = default;
    // The full path of the file for one mail; dir ends with a path delimiter.
    virtual QString GetSaveName(const QString& dir, const QString& subject,
                                const QString& body) = 0;

    // The plain name when no file holds it, else the first free numbered name,
    // searching from where the last search for the same name text ended. A name
    // text that would make the file name longer than a path component may be is
    // shortened (never the number or the extension); the memory is keyed on the
    // shortened text, since that is what equal names on disk share.
    static QString MakeUniqueName(const QString& dir, const QString& name,
                                  const QString& plainFormat, const QString& format, int digits,
                                  TDuplicateMemory& memory);
};

// 連番: dir followed by the format with the folder's next number.
class TSaveNameSequence : public TSaveNameBase {
public:
    explicit TSaveNameSequence(const TSaveNameSequenceData* data) : FData(data) {}
    QString GetSaveName(const QString& dir, const QString& subject, const QString& body) override;

private:
    const TSaveNameSequenceData* FData;
    std::map<QString, int> FMemory;
};

// 件名: the subject made usable as a file name, "(noname)" when it is empty.
class TSaveNameSubject : public TSaveNameBase {
public:
    explicit TSaveNameSubject(const TSaveNameSubjectData* data) : FData(data) {}
    QString GetSaveName(const QString& dir, const QString& subject, const QString& body) override;

private:
    const TSaveNameSubjectData* FData;
    TDuplicateMemory FMemory;
};

// パラメータ: the text a parameter picks out of the body.
class TSaveNameMailParameter : public TSaveNameBase {
public:
    explicit TSaveNameMailParameter(const TSaveNameMailParameterData* data) : FData(data) {}
    QString GetSaveName(const QString& dir, const QString& subject, const QString& body) override;

    // The rest of the first body line that begins with the parameter ("" if none).
    static QString ExtractPlainParameter(const QString& parameter, const QString& body);
    // Group 1 of the first match of the pattern, "." matching line breaks too; each
    // line break in it becomes one space.
    static QString ExtractRegexParameter(const QString& parameter, const QString& body);

private:
    const TSaveNameMailParameterData* FData;
    TDuplicateMemory FMemory;
};
