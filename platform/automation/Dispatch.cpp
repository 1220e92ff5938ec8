#include "Dispatch.h"

#include "runtime/Exception.h"

#include <new>

namespace Automation {

QString InvokeKindName(InvokeKind kind)
{
    switch (kind) {
    case InvokeKind::PropertyGet:
        return QStringLiteral("property");
    case InvokeKind::Method:
        return QStringLiteral("method");
    case InvokeKind::Procedure:
        return QStringLiteral("procedure");
    }
    return QString();
}

Variant DispatchTable::Invoke(const QString& member, InvokeKind, const Arguments& args)
{
    const auto it = FMembers.constFind(member.toLower());
    if (it == FMembers.constEnd())
        ThrowUnknownMember(member);
    return (*it)(args);
}

void DispatchTable::AddMember(const QString& name, Handler handler)
{
    FMembers.insert(name.toLower(), std::move(handler));
}

void Dispatch::ThrowUnknownMember(const QString& member)
{
    throw EOleException(QStringLiteral("メンバー %1 はありません。").arg(member));
}

QString Dispatch::TextArg(const Arguments& args, std::size_t index)
{
    if (index >= args.size())
        throw EOleException(QStringLiteral("%1番目の引数がありません。").arg(index + 1));
    return VarToText(args[index], QStringLiteral("%1番目の引数").arg(index + 1));
}

qint32 Dispatch::IntArg(const Arguments& args, std::size_t index)
{
    if (index >= args.size())
        throw EOleException(QStringLiteral("%1番目の引数がありません。").arg(index + 1));
    return VarToInt(args[index], QStringLiteral("%1番目の引数").arg(index + 1));
}

QString OleRef::ClassName() const
{
    return FObject ? FObject->ClassName() : QStringLiteral("(null)");
}

QString OleRef::Context(const QString& member) const
{
    return ClassName() + QLatin1Char('.') + member;
}

Variant OleRef::Invoke(const QString& member, InvokeKind kind, const Arguments& args) const
{
    if (!FObject)
        throw EOleException(QStringLiteral("オートメーションエラー (%1): オブジェクトが設定されていません。")
                                .arg(Context(member)));
    try {
        return FObject->Invoke(member, kind, args);
    } catch (const Exception& e) {
        throw EOleException(
            QStringLiteral("オートメーションエラー (%1): %2").arg(Context(member), e.Message()));
    } catch (const std::bad_alloc&) {
        throw EOleException(
            QStringLiteral("オートメーションエラー (%1): メモリが不足しています。").arg(Context(member)));
    } catch (const std::exception& e) {
        throw EOleException(QStringLiteral("オートメーションエラー (%1): %2")
                                .arg(Context(member), QString::fromLocal8Bit(e.what())));
    }
}

Variant OleRef::Get(const QString& member, const Arguments& args) const
{
    return Invoke(member, InvokeKind::PropertyGet, args);
}

Variant OleRef::Call(const QString& member, const Arguments& args) const
{
    return Invoke(member, InvokeKind::Method, args);
}

void OleRef::Exec(const QString& member, const Arguments& args) const
{
    Invoke(member, InvokeKind::Procedure, args);
}

// The conversions below name the object and member only when they fail: the
// name is a string built for each call, and these calls are the hot path of
// an export.
QString OleRef::GetText(const QString& member, const Arguments& args) const
{
    const Variant value = Get(member, args);
    if (value.Type() == VarType::String)
        return value.AsString();
    return VarToText(value, Context(member));
}

qint32 OleRef::GetInt(const QString& member, const Arguments& args) const
{
    const Variant value = Get(member, args);
    if (value.Type() == VarType::Int)
        return value.AsInt();
    return VarToInt(value, Context(member));
}

TDateTime OleRef::GetDateTime(const QString& member, const Arguments& args) const
{
    const Variant value = Get(member, args);
    if (value.Type() == VarType::Date)
        return value.AsDate();
    return VarToDateTime(value, Context(member));
}

OleRef OleRef::GetObject(const QString& member, const Arguments& args) const
{
    const Variant value = Get(member, args);
    if (value.Type() == VarType::Object)
        return OleRef(value.AsObject());
    return OleRef(VarToObject(value, Context(member)));
}

OleRef OleRef::CallObject(const QString& member, const Arguments& args) const
{
    const Variant value = Call(member, args);
    if (value.Type() == VarType::Object)
        return OleRef(value.AsObject());
    return OleRef(VarToObject(value, Context(member)));
}

} // namespace Automation
