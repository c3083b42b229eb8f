#pragma once

#include <QAbstractButton>
#include <QObject>
#include <QString>
#include <QTest>
#include <stdexcept>

#include <gtest/gtest.h>

#include "QtText.h"

namespace testsupport {

// The child with this objectName; a missing widget fails the test loudly.
template <typename T> T* child(const QObject* parent, const char* name)
{
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        ADD_FAILURE() << "no child named " << name;
        throw std::runtime_error(std::string("missing widget ") + name);
    }
    return found;
}

// Clicks a check box or option on its indicator; the middle of a stretched
// one is empty space.
inline void clickIndicator(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

} // namespace testsupport
