#include "foundation/SettingsJournal.h"

namespace settings_journal {

const wchar_t* const CompleteName = L"Complete";

namespace {

using Place = Backend::Place;

bool isComplete(const Value& v) { return v.name == CompleteName && !v.isText && v.number == 1; }

// Copies the values of a counted save to the settings, then forgets it. A
// refused write leaves the staging place for the next recovery.
bool finish(Backend& backend, const std::vector<Value>& values)
{
    bool all = true;
    for (const Value& v : values)
        if (v.name != CompleteName)
            all = backend.write(Place::Settings, v) && all;
    return all && backend.removeStaging();
}

}  // namespace

bool save(Backend& backend, const std::vector<Value>& values)
{
    // A staging place left by an earlier save that stopped is taken care
    // of first, so the new values are not mixed with its ones.
    recover(backend);
    if (!backend.removeStaging())
        return false;
    for (const Value& v : values)
        if (!backend.write(Place::Staging, v))
            return false;
    if (!backend.write(Place::Staging, Value::ofNumber(CompleteName, 1)))
        return false;
    return finish(backend, values);
}

void recover(Backend& backend)
{
    std::vector<Value> staged;
    if (!backend.readStaging(staged))
        return;
    bool complete = false;
    for (const Value& v : staged)
        complete = complete || isComplete(v);
    if (complete)
        finish(backend, staged);
    else
        backend.removeStaging();
}

}  // namespace settings_journal
