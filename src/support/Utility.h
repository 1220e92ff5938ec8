// Text helpers shared by the layers.
#pragma once

#include <QString>
#include <QStringList>

namespace TUtility {

// Cuts Text at every occurrence of Sep (an empty Sep is never found). Each piece
// ends with Sep when Ret is true. Always at least one piece: the rest after the
// last occurrence, empty when nothing is left.
QStringList Split(const QString& Text, const QString& Sep, bool Ret);

} // namespace TUtility
