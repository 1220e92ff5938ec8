// The texts the mail list and its preview show for a mail.
#pragma once

#include "runtime/DateTime.h"

#include <QString>

namespace Outlook {
class TMailItem;
}

// "yyyy/mm/dd(ddd) hh:nn" with the locale's separators and short weekday name.
QString FormatMailDateTime(TDateTime value);

// The preview of a mail: sender, subject, received time, one line per attachment,
// "---", then the body, lines separated by "\n". Reading stops at the first part
// that fails: *partial gets what was read before, and the error passes on.
QString MailPreviewText(const Outlook::TMailItem& item, QString* partial = nullptr);
