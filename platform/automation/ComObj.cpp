#include "ComObj.h"

#include "runtime/Exception.h"

#include <QHash>
#include <mutex>

namespace Automation {

namespace {

thread_local int tInitCount = 0;
thread_local HRESULT tForcedResult = S_OK;

struct Tables {
    std::mutex mutex;
    QHash<QString, ClassFactory> classes;    // keys in lower case
    QHash<QString, DispatchPtr> running;     // keys in lower case
};

Tables& TheTables()
{
    static Tables tables;
    return tables;
}

QString HexCode(HRESULT hr)
{
    return QStringLiteral("0x") +
           QString::number(static_cast<quint32>(hr), 16).toUpper().rightJustified(8, QLatin1Char('0'));
}

void RequireInitialized()
{
    if (tInitCount <= 0)
        throw EOleSysError(QStringLiteral("オートメーションが初期化されていません。(%1)").arg(HexCode(CO_E_NOTINITIALIZED)),
                           CO_E_NOTINITIALIZED);
}

} // namespace

HRESULT CoInitialize()
{
    if (tForcedResult != S_OK)
        return tForcedResult;
    return tInitCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (tInitCount > 0)
        --tInitCount;
}

int CoInitializeCount() { return tInitCount; }

void SetCoInitializeFailure(HRESULT result) { tForcedResult = result; }

void RegisterClass(const QString& progId, ClassFactory factory)
{
    auto& t = TheTables();
    std::lock_guard lock(t.mutex);
    t.classes.insert(progId.toLower(), std::move(factory));
}

void UnregisterClass(const QString& progId)
{
    auto& t = TheTables();
    std::lock_guard lock(t.mutex);
    t.classes.remove(progId.toLower());
}

DispatchPtr CreateOleObject(const QString& progId)
{
    RequireInitialized();
    ClassFactory factory;
    {
        auto& t = TheTables();
        std::lock_guard lock(t.mutex);
        factory = t.classes.value(progId.toLower());
    }
    if (!factory)
        throw EOleSysError(QStringLiteral("クラス %1 は登録されていません。(%2)")
                               .arg(progId, HexCode(REGDB_E_CLASSNOTREG)),
                           REGDB_E_CLASSNOTREG);
    DispatchPtr object;
    try {
        object = factory();
    } catch (const EOleSysError&) {
        throw;
    } catch (const Exception& e) {
        throw EOleSysError(QStringLiteral("%1 を作成できません: %2").arg(progId, e.Message()),
                           CO_E_SERVER_EXEC_FAILURE);
    } catch (const std::exception& e) {
        throw EOleSysError(QStringLiteral("%1 を作成できません: %2")
                               .arg(progId, QString::fromLocal8Bit(e.what())),
                           CO_E_SERVER_EXEC_FAILURE);
    }
    if (!object)
        throw EOleSysError(QStringLiteral("%1 を作成できません。").arg(progId), E_FAIL);
    return object;
}

DispatchPtr GetActiveOleObject(const QString& progId)
{
    RequireInitialized();
    auto& t = TheTables();
    std::lock_guard lock(t.mutex);
    const DispatchPtr object = t.running.value(progId.toLower());
    if (!object)
        throw EOleSysError(QStringLiteral("操作は利用できません。(%1)").arg(HexCode(MK_E_UNAVAILABLE)),
                           MK_E_UNAVAILABLE);
    return object;
}

void RegisterActiveObject(const QString& progId, const DispatchPtr& object)
{
    auto& t = TheTables();
    std::lock_guard lock(t.mutex);
    t.running.insert(progId.toLower(), object);
}

void RevokeActiveObject(const QString& progId, const Dispatch* object)
{
    DispatchPtr removed; // released outside the lock: its destructor may call back
    auto& t = TheTables();
    std::lock_guard lock(t.mutex);
    const auto it = t.running.find(progId.toLower());
    if (it != t.running.end() && it->get() == object) {
        removed = *it;
        t.running.erase(it);
    }
}

void ClearRunningObjects()
{
    QHash<QString, DispatchPtr> removed;
    {
        auto& t = TheTables();
        std::lock_guard lock(t.mutex);
        removed.swap(t.running);
    }
}

} // namespace Automation
