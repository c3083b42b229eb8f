#pragma once

#include <QString>
#include <string>

namespace cli {

// File names are kept as the bytes the system gave: a name need not be valid
// in any encoding, and a QString could not carry it back unchanged.

// A name for a message: valid UTF-8 as it is; a backslash doubled; every
// control character and every byte that is not UTF-8 as \n, \t, \r or \xNN,
// so the reader sees exactly which name is meant.
[[nodiscard]] QString shown(const std::string& path);

// Absolute (from the working folder) and with "." and ".." steps and doubled
// slashes taken out, so two spellings of one new name compare equal.
[[nodiscard]] std::string absoluteClean(const std::string& path);

// Whether the path names anything, following a final symbolic link.
[[nodiscard]] bool exists(const std::string& path);

} // namespace cli
