#pragma once

namespace cli {

// The whole program: builds the application object, reads the command line
// and runs the command. Returns the exit status.
int runCryptelle(int argc, char** argv);

} // namespace cli
