// Process-wide automation services: initialisation counting, the class registry
// by program identifier and the running-object table.
#pragma once

#include "Dispatch.h"

#include <QString>
#include <functional>

namespace Automation {

using HRESULT = qint32;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT MK_E_UNAVAILABLE = static_cast<HRESULT>(0x800401E3u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = static_cast<HRESULT>(0x80080005u);

inline bool Succeeded(HRESULT hr) { return hr >= 0; }

// Initialisation of the calling thread. The first call on a thread gives S_OK,
// every further one S_FALSE (already initialised), which counts as success; each
// successful call must be matched by one CoUninitialize.
HRESULT CoInitialize();
void CoUninitialize();
// How many successful CoInitialize calls of this thread are not yet matched.
int CoInitializeCount();
// Makes the next CoInitialize calls of this thread return `result` without
// initialising (a negative code simulates a failure); S_OK restores normal work.
void SetCoInitializeFailure(HRESULT result);

using ClassFactory = std::function<DispatchPtr()>;

// Registers a class under a program identifier, replacing an earlier registration.
void RegisterClass(const QString& progId, ClassFactory factory);
void UnregisterClass(const QString& progId);

// A new object of the class. Raises EOleSysError when the thread is not
// initialised, the identifier is unknown, or the factory fails.
DispatchPtr CreateOleObject(const QString& progId);

// The object registered as running under the identifier. Raises EOleSysError
// (MK_E_UNAVAILABLE) when none is registered, or when the thread is not initialised.
DispatchPtr GetActiveOleObject(const QString& progId);

// Registers a running object; a later registration under the same identifier
// replaces it. The table keeps the object alive until it is revoked.
void RegisterActiveObject(const QString& progId, const DispatchPtr& object);
// Removes the registration if it is this object.
void RevokeActiveObject(const QString& progId, const Dispatch* object);
// Removes every running object (for tests, and at the end of a run).
void ClearRunningObjects();

} // namespace Automation
