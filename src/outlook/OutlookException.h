#pragma once

#include "runtime/Exception.h"

namespace Outlook {

// The one error type of the Outlook layer: the connection to Outlook wraps its
// failures into it.
class TOutlookException : public Exception {
public:
    explicit TOutlookException(const QString& message) : Exception(message) {}
};

} // namespace Outlook
