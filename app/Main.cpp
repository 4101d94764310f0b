// Entry function of the analyzer.
#include <windows.h>

#include "app/ParameterStore.h"

extern "C" int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    auto* store = new ParameterStore();
    store->createGdiObjects();
    store->deleteGdiObjects();
    delete store;
    (void)instance;
    return 0;
}
