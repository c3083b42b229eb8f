#include "EngineMain.h"

int main(int argc, char** argv)
{
    return engine::runEngine(argc, argv);
}
