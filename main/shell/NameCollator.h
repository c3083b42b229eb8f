#pragma once

#include <QCollator>

namespace zqvshell {

// How the window uses it: never directly; it orders names in the tree and the list.

// Names in the user's locale, case-insensitive, digits by value ("file2"
// before "file10"). One per thread of use: collators are not shared.
[[nodiscard]] QCollator nameCollator();

} // namespace zqvshell
