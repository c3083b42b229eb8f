#include "SizeText.h"

#include <cfenv>
#include <cmath>

namespace engine {
namespace {

QString shortNumber(double value, const QLocale& locale)
{
    // nearbyint follows the default rounding mode, which sends halves to even.
    const double rounded = std::nearbyint(value * 100.0) / 100.0;
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    QString text = plain.toString(rounded, 'f', 2);
    const QString separator = plain.decimalPoint();
    if (text.contains(separator)) {
        while (text.endsWith(plain.zeroDigit()))
            text.chop(1);
        if (text.endsWith(separator))
            text.chop(separator.size());
    }
    return text;
}

} // namespace

QString SizeText(qint64 bytes, const QLocale& locale)
{
    const double k = static_cast<double>(bytes) / 1024.0;
    if (k > 1024.0)
        return shortNumber(k / 1024.0, locale) + QLatin1String(" mb");
    return shortNumber(k, locale) + QLatin1String(" kb");
}

} // namespace engine
