#pragma once

#include <QIcon>

namespace cryptelle {

// The application icon in every size the package installs, from the copies
// embedded by the `cryptelle_app_icon` target, so the build tree shows it too.
inline QIcon applicationIcon()
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/hicolor/%1x%1/apps/cryptelle.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace cryptelle
