// The one place where libpff's results become exceptions, and scope holders for
// libpff's handles. libpff answers 1 (done), 0 (not there) or -1 (failed, with
// an error object); Check turns -1 into an EOleException carrying libpff's text.
#pragma once

#include "Props.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

#include <libpff.h>

namespace OutlookPst {

class PffError {
public:
    PffError() = default;
    ~PffError();
    PffError(const PffError&) = delete;
    PffError& operator=(const PffError&) = delete;

    libpff_error_t** Out() { return &FError; }
    // libpff's description of the failure: its innermost cause, "libpff: ..."
    QString Text() const;

private:
    libpff_error_t* FError = nullptr;
};

// Returns result (1 or 0); raises EOleException "what: libpff's text" for -1 and
// for any value libpff does not document.
int Check(int result, const PffError& error, const QString& what);

// Calls a libpff function with a fresh error object appended to its arguments.
template <typename F, typename... Args> int Call(const QString& what, F function, Args... args)
{
    PffError error;
    return Check(function(args..., error.Out()), error, what);
}

// Largest property value read into memory at once. Larger values are either
// damaged or attachment data, which is streamed instead.
constexpr std::size_t kMaxValueSize = 256u * 1024u * 1024u;

// Reads the data of a record entry. Raises for a failure or an oversized value.
RawValue ReadEntry(libpff_record_entry_t* entry, const QString& what);

// Owns one record entry.
class EntryHolder {
public:
    EntryHolder() = default;
    ~EntryHolder();
    EntryHolder(const EntryHolder&) = delete;
    EntryHolder& operator=(const EntryHolder&) = delete;
    libpff_record_entry_t** Out() { return &FEntry; }
    libpff_record_entry_t* Get() const { return FEntry; }

private:
    libpff_record_entry_t* FEntry = nullptr;
};

} // namespace OutlookPst
