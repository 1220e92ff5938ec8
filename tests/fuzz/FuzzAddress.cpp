// Address-list texts as a mail item's recipients give them: parsed into name
// and address pairs, written back as text and parsed once more.
#include "support/EMail.h"

#include <QString>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto pairs = MailAddressPair::ParseAddressList(text);
    const QString again = MailAddressPair::ToCommaText(pairs);
    MailAddressPair::ParseAddressList(again);
    return 0;
}
