#include "PathElide.h"

namespace engine {

QString elidePathKeepingName(const QString& path, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    const qsizetype nameStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    const QString folder = path.left(nameStart);
    const QString name = path.mid(nameStart);
    const int room = width - metrics.horizontalAdvance(name);
    const QString ellipsis(QChar(0x2026));
    if (folder.isEmpty() || room <= metrics.horizontalAdvance(ellipsis + QLatin1Char('/')))
        return folder.isEmpty() ? name : ellipsis + QLatin1Char('/') + name;
    return metrics.elidedText(folder, Qt::ElideMiddle, room) + name;
}

} // namespace engine
