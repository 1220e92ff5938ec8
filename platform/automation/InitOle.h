// Scope holder of one initialisation of the automation services on this thread.
#pragma once

#include "ComObj.h"

template <typename T>
class TInitOleT {
public:
    TInitOleT() : FInitialized(Automation::Succeeded(Automation::CoInitialize())) {}
    ~TInitOleT()
    {
        if (FInitialized)
            Automation::CoUninitialize();
    }
    TInitOleT(const TInitOleT&) = delete;
    TInitOleT& operator=(const TInitOleT&) = delete;

    bool Initialized() const { return FInitialized; }

private:
    bool FInitialized;
};

using TInitOle = TInitOleT<int>;
