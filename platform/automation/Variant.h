// Automation values: null, bool, 32-bit integer, date-time, string and a
// reference-counted object reference, with the conversions callers rely on.
#pragma once

#include "runtime/DateTime.h"

#include <QString>
#include <memory>
#include <variant>
#include <vector>

namespace Automation {

class Dispatch;
using DispatchPtr = std::shared_ptr<Dispatch>;

// A date-time value, kept apart from plain doubles so that it has its own kind.
struct DateValue {
    TDateTime Value = 0;
    bool operator==(const DateValue&) const = default;
};

enum class VarType { Null, Bool, Int, Date, String, Object };

class Variant {
public:
    Variant() = default;
    Variant(bool value) : FValue(value) {}
    Variant(qint32 value) : FValue(value) {}
    Variant(DateValue value) : FValue(value) {}
    Variant(const QString& value) : FValue(value) {}
    Variant(const char16_t* value) : FValue(QString::fromUtf16(value)) {}
    // Narrow strings have no encoding here; without this they would become bools.
    Variant(const char*) = delete;
    Variant(DispatchPtr value)
    {
        if (value)
            FValue = std::move(value);
    }

    static Variant FromDate(TDateTime value) { return Variant(DateValue{value}); }

    VarType Type() const { return static_cast<VarType>(FValue.index()); }
    bool IsNull() const { return Type() == VarType::Null; }

    bool AsBool() const { return std::get<bool>(FValue); }
    qint32 AsInt() const { return std::get<qint32>(FValue); }
    TDateTime AsDate() const { return std::get<DateValue>(FValue).Value; }
    const QString& AsString() const { return std::get<QString>(FValue); }
    const DispatchPtr& AsObject() const { return std::get<DispatchPtr>(FValue); }

    // A short description of the value for messages and call records.
    QString Describe() const;

    bool operator==(const Variant& other) const = default;

private:
    std::variant<std::monostate, bool, qint32, DateValue, QString, DispatchPtr> FValue;
};

using Arguments = std::vector<Variant>;

// Name of a value kind, as used in messages ("文字列", "整数", ...).
QString VarTypeName(VarType type);

// Conversions of an invocation's result. `context` names the member the value came
// from ("MailItem.Subject"); a failed conversion raises EOleException naming it.
//   text:      null gives "", bool "True"/"False", integers in decimal, dates as
//              yyyy/mm/dd hh:nn:ss; an object cannot be converted.
//   integer:   bool gives -1 or 0, a string must hold a decimal integer.
//   date-time: from a date, or from an integer or a bool as a day count.
//   object:    null gives the null reference; nothing else converts.
QString VarToText(const Variant& value, const QString& context);
qint32 VarToInt(const Variant& value, const QString& context);
TDateTime VarToDateTime(const Variant& value, const QString& context);
DispatchPtr VarToObject(const Variant& value, const QString& context);

} // namespace Automation
