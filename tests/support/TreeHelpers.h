#pragma once

#include <string>

#include <sys/stat.h>

#include "TempDir.h"

namespace testsupport {

// A folder tree with the awkward cases: blanks, non-ASCII names, an empty
// file, an empty folder and nesting.
inline void makeAwkwardTree(const std::string& root)
{
    ::mkdir(root.c_str(), 0755);
    ::mkdir((root + "/sub folder").c_str(), 0755);
    ::mkdir((root + "/sub folder/deeper").c_str(), 0755);
    ::mkdir((root + "/empty folder").c_str(), 0755);
    ::mkdir((root + "/Ünïcödé").c_str(), 0755);
    writeFile(root + "/top file.txt", "top level\n");
    writeFile(root + "/empty.bin", "");
    writeFile(root + "/sub folder/notes.md", std::string(100000, 'n'));
    writeFile(root + "/sub folder/deeper/data.bin", std::string(3000, '\x01') + std::string(70000, '\xfe'));
    writeFile(root + "/Ünïcödé/café.txt", "crème brûlée\n");
    writeFile(root + "/.hidden", "dot file\n");
}

} // namespace testsupport
