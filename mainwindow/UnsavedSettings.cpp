#include "mainwindow/UnsavedSettings.h"

#include "foundation/ParameterStore.h"
#include "foundation/Settings.h"
#include "foundation/SettingsTable.h"

namespace st = settings_table;

std::vector<std::wstring> unsavedSettings(const ParameterStore& store)
{
    int stored[st::Count];
    int next[st::Count];
    for (int k = 0; k < st::Count; ++k) {
        const st::Entry& e = st::kEntries[k];
        const bool number = e.id >= 0 && e.rule != st::Rule::Text;
        stored[k] = number ? readSetting(e.name) : -1;
        next[k] = e.factory;
    }
    st::takeStored(stored, next);
    std::vector<std::wstring> differ;
    for (int k = 0; k < st::Count; ++k) {
        const st::Entry& e = st::kEntries[k];
        if (e.writer == st::Writer::Save && e.id >= 0 && e.rule != st::Rule::Text &&
            store.get(e.id) != next[k])
            differ.push_back(e.name);
    }
    return differ;
}
