#include "Utility.h"

namespace TUtility {

QStringList Split(const QString& Text, const QString& Sep, bool Ret)
{
    QStringList result;
    qsizetype pos = 0;
    if (!Sep.isEmpty()) {
        for (qsizetype at = Text.indexOf(Sep, pos); at >= 0; at = Text.indexOf(Sep, pos)) {
            result.append(Text.mid(pos, at - pos + (Ret ? Sep.size() : 0)));
            pos = at + Sep.size();
        }
    }
    result.append(Text.mid(pos));
    return result;
}

} // namespace TUtility
