#include "NameCollator.h"

#include <QLocale>

namespace zqvshell {

QCollator nameCollator()
{
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    collator.setIgnorePunctuation(false);
    return collator;
}

} // namespace zqvshell
