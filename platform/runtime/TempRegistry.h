// The temporary files and folders that exist while a save is under way. A program
// that is told to stop at once (a second interrupt or termination signal) removes
// them from its signal handler, so that nothing half-written is left behind.
// RemoveAll is async-signal-safe; Add and Remove are for the main thread.
#pragma once

#include <QByteArray>

namespace TempRegistry {

// Records a path; returns its slot, or -1 when the table is full (the path is
// then simply not removed by RemoveAll).
int Add(const QByteArray& path, bool isDirectory);
// Forgets a slot returned by Add; -1 is ignored.
void Remove(int slot);
// Removes every recorded file, and every recorded folder with what is inside it,
// without following symbolic links. Safe to call from a signal handler.
void RemoveAll();

} // namespace TempRegistry

// Holds back the stop signals (interrupt, termination, hang-up) for as long as
// the object lives, so that a temporary path is never found created but not yet
// recorded: create and record it while one of these lives.
class TStopSignalsHeld {
public:
    TStopSignalsHeld();
    ~TStopSignalsHeld();
    TStopSignalsHeld(const TStopSignalsHeld&) = delete;
    TStopSignalsHeld& operator=(const TStopSignalsHeld&) = delete;

private:
    unsigned char FOld[128]; // the previous signal mask (a sigset_t)
};

// Keeps a path recorded for as long as the object lives.
class TRegisteredTemp {
public:
    TRegisteredTemp() = default;
    TRegisteredTemp(const QByteArray& path, bool isDirectory)
        : FSlot(TempRegistry::Add(path, isDirectory))
    {
    }
    ~TRegisteredTemp() { TempRegistry::Remove(FSlot); }
    TRegisteredTemp(const TRegisteredTemp&) = delete;
    TRegisteredTemp& operator=(const TRegisteredTemp&) = delete;
    TRegisteredTemp(TRegisteredTemp&& other) noexcept : FSlot(other.FSlot) { other.FSlot = -1; }
    TRegisteredTemp& operator=(TRegisteredTemp&& other) noexcept
    {
        if (this != &other) {
            TempRegistry::Remove(FSlot);
            FSlot = other.FSlot;
            other.FSlot = -1;
        }
        return *this;
    }
    // Forgets the path early, for instance once it has become the target.
    void Release()
    {
        TempRegistry::Remove(FSlot);
        FSlot = -1;
    }

private:
    int FSlot = -1;
};
