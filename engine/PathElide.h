#pragma once

#include <QFontMetrics>
#include <QString>

namespace engine {

// The path shortened to `width` pixels by leaving out the middle of its folder
// part; the file name itself is always shown whole.
[[nodiscard]] QString elidePathKeepingName(const QString& path, const QFontMetrics& metrics, int width);

} // namespace engine
