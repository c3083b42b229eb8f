#pragma once

#include <QString>
#include <string>

namespace testsupport {

// A path or text from the tests' std::string world.
inline QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace testsupport
