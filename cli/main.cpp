#include "CliMain.h"

int main(int argc, char** argv)
{
    return cli::runCryptelle(argc, argv);
}
