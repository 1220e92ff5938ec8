#include "Variant.h"

#include "Dispatch.h"
#include "runtime/Exception.h"

namespace Automation {

QString VarTypeName(VarType type)
{
    switch (type) {
    case VarType::Null:
        return QStringLiteral("Null");
    case VarType::Bool:
        return QStringLiteral("真偽値");
    case VarType::Int:
        return QStringLiteral("整数");
    case VarType::Date:
        return QStringLiteral("日時");
    case VarType::String:
        return QStringLiteral("文字列");
    case VarType::Object:
        return QStringLiteral("オブジェクト");
    }
    return QString();
}

QString Variant::Describe() const
{
    switch (Type()) {
    case VarType::Null:
        return QStringLiteral("Null");
    case VarType::Bool:
        return AsBool() ? QStringLiteral("True") : QStringLiteral("False");
    case VarType::Int:
        return QString::number(AsInt());
    case VarType::Date:
        return FormatDateTime(QStringLiteral("yyyy'-'mm'-'dd hh':'nn':'ss"), AsDate());
    case VarType::String:
        return QLatin1Char('"') + AsString() + QLatin1Char('"');
    case VarType::Object:
        return QLatin1Char('<') + AsObject()->ClassName() + QLatin1Char('>');
    }
    return QString();
}

namespace {

[[noreturn]] void ConversionFailed(const Variant& value, const QString& context, VarType target)
{
    throw EOleException(QStringLiteral("オートメーションエラー (%1): %2の値 %3 を%4に変換できません。")
                            .arg(context, VarTypeName(value.Type()), value.Describe(),
                                 VarTypeName(target)));
}

} // namespace

QString VarToText(const Variant& value, const QString& context)
{
    switch (value.Type()) {
    case VarType::Null:
        return QString();
    case VarType::Bool:
        return value.AsBool() ? QStringLiteral("True") : QStringLiteral("False");
    case VarType::Int:
        return QString::number(value.AsInt());
    case VarType::Date:
        return FormatDateTime(QStringLiteral("yyyy'/'mm'/'dd hh':'nn':'ss"), value.AsDate());
    case VarType::String:
        return value.AsString();
    case VarType::Object:
        break;
    }
    ConversionFailed(value, context, VarType::String);
}

qint32 VarToInt(const Variant& value, const QString& context)
{
    switch (value.Type()) {
    case VarType::Bool:
        return value.AsBool() ? -1 : 0;
    case VarType::Int:
        return value.AsInt();
    case VarType::String: {
        bool ok = false;
        const qint32 n = value.AsString().trimmed().toInt(&ok);
        if (ok)
            return n;
        break;
    }
    default:
        break;
    }
    ConversionFailed(value, context, VarType::Int);
}

TDateTime VarToDateTime(const Variant& value, const QString& context)
{
    switch (value.Type()) {
    case VarType::Date:
        return value.AsDate();
    case VarType::Int:
        return value.AsInt();
    case VarType::Bool:
        return value.AsBool() ? -1 : 0;
    default:
        break;
    }
    ConversionFailed(value, context, VarType::Date);
}

DispatchPtr VarToObject(const Variant& value, const QString& context)
{
    if (value.IsNull())
        return nullptr;
    if (value.Type() == VarType::Object)
        return value.AsObject();
    ConversionFailed(value, context, VarType::Object);
}

} // namespace Automation
