#pragma once

#include <QLocale>
#include <QString>

namespace engine {

// "1.5 kb", "4.77 mb": two decimals at most, halves to even, no trailing zeros,
// the locale's decimal separator.
[[nodiscard]] QString SizeText(qint64 bytes, const QLocale& locale = QLocale());

} // namespace engine
