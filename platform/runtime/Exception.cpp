#include "Exception.h"

#include <cstring>

QString SysErrorMessage(int errorCode)
{
    char buffer[256] = {};
    // The GNU strerror_r returns a pointer that may or may not be the buffer.
    const char* text = strerror_r(errorCode, buffer, sizeof buffer);
    return QString::fromLocal8Bit(text);
}
