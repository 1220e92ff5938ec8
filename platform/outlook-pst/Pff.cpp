#include "Pff.h"

#include "runtime/Exception.h"

#include <vector>

namespace OutlookPst {

PffError::~PffError()
{
    if (FError)
        libpff_error_free(&FError);
}

QString PffError::Text() const
{
    if (!FError)
        return QStringLiteral("原因は報告されていません。");
    std::vector<char> buffer(4096, '\0');
    const int length = libpff_error_backtrace_sprint(FError, buffer.data(), buffer.size());
    if (length <= 0)
        return QStringLiteral("原因は報告されていません。");
    // libpff lists the failure from the innermost call outwards; the first line
    // says what was wrong, the rest only which calls gave up because of it.
    QString text =
        QString::fromUtf8(buffer.data()).trimmed().section(QLatin1Char('\n'), 0, 0).trimmed();
    const qsizetype colon = text.indexOf(QStringLiteral(": "));
    if (colon > 0 && text.left(colon).startsWith(QLatin1String("lib")))
        text = text.mid(colon + 2);
    return QStringLiteral("libpff: ") + text;
}

int Check(int result, const PffError& error, const QString& what)
{
    if (result == 1 || result == 0)
        return result;
    if (result == -1)
        throw EOleException(QStringLiteral("%1: %2").arg(what, error.Text()));
    throw EOleException(
        QStringLiteral("%1: libpff が想定外の値 %2 を返しました。").arg(what).arg(result));
}

RawValue ReadEntry(libpff_record_entry_t* entry, const QString& what)
{
    RawValue value;
    uint32_t type = 0;
    Call(what, libpff_record_entry_get_value_type, entry, &type);
    value.Type = type;
    size_t size = 0;
    Call(what, libpff_record_entry_get_data_size, entry, &size);
    if (size > kMaxValueSize)
        throw EOleException(
            QStringLiteral("%1: 値が大きすぎます (%2 バイト)。データファイルが壊れています。")
                .arg(what)
                .arg(size));
    if (size == 0)
        return value;
    value.Data.resize(static_cast<qsizetype>(size));
    Call(what, libpff_record_entry_get_data, entry, reinterpret_cast<uint8_t*>(value.Data.data()),
         size);
    return value;
}

EntryHolder::~EntryHolder()
{
    if (FEntry)
        libpff_record_entry_free(&FEntry, nullptr);
}

} // namespace OutlookPst
