#include "Miscellaneous.h"

#include <QDesktopServices>
#include <QUrl>

namespace zqvtools {

QString documentUrl(const QString& target)
{
    const QUrl asAddress(target, QUrl::StrictMode);
    if (asAddress.isValid() && asAddress.scheme().size() > 1 && !target.startsWith(QLatin1Char('/')))
        return asAddress.toString();
    return QUrl::fromLocalFile(target).toString();
}

void OpenDocument(const QString& target)
{
    (void)QDesktopServices::openUrl(QUrl(documentUrl(target)));
}

} // namespace zqvtools
