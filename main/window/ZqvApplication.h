#pragma once

namespace zqvwindow {

// The whole main program: the splash window brings up the main window, which
// runs until it is closed.
int runZqv(int argc, char** argv);

} // namespace zqvwindow
