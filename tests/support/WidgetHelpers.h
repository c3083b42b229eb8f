#pragma once

#include <QObject>
#include <QString>

#include <gtest/gtest.h>
#include <stdexcept>

namespace testsupport {

// The child with this objectName; a missing widget fails the test loudly.
template<typename T>
T* child(const QObject* parent, const char* name)
{
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        ADD_FAILURE() << "no child named " << name;
        throw std::runtime_error(std::string("missing widget ") + name);
    }
    return found;
}

} // namespace testsupport
