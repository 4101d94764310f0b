// Saves the two sets of SaverSets.h in turn through the program's own Save,
// without end: a test kills it at random moments. Sets the event named by
// its first argument once the first save is done.
#include <windows.h>

#include "SaverSets.h"
#include "foundation/Settings.h"

extern "C" int wmain(int argc, wchar_t** argv)
{
    ParameterStore store;
    HANDLE saving = argc > 1 ? CreateEventW(nullptr, TRUE, FALSE, argv[1]) : nullptr;
    for (unsigned n = 0;; ++n) {
        qxtest::applySaverSet(store, qxtest::kSaverSets[n % 2]);
        saveSettings(store, settings_table::Writer::Save);
        if (n == 0 && saving)
            SetEvent(saving);
    }
}
