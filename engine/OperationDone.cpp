#include "OperationDone.h"

namespace engine {
namespace {

bool g_operationDone = false;

} // namespace

void markOperationDone()
{
    g_operationDone = true;
}

bool operationDone()
{
    return g_operationDone;
}

void forgetOperationDone()
{
    g_operationDone = false;
}

} // namespace engine
