#include "ZqvApplication.h"

int main(int argc, char** argv)
{
    return zqvwindow::runZqv(argc, argv);
}
