#include "NameCollator.h"

#include <QLocale>

namespace zqvshell {

QCollator nameCollator()
{
    QLocale locale;
    // The C locale (C.UTF-8 of many minimal systems) would order by code
    // point, capitals first and "10" before "2": take the language-neutral
    // rules there instead.
    if (locale.language() == QLocale::C) {
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    }
    QCollator collator{locale};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    collator.setIgnorePunctuation(false);
    return collator;
}

} // namespace zqvshell
