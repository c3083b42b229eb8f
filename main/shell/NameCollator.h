#pragma once

#include <QCollator>

namespace zqvshell {

// Names in the user's locale, case-insensitive, digits by value ("file2"
// before "file10"). One per thread of use: collators are not shared.
[[nodiscard]] QCollator nameCollator();

} // namespace zqvshell
