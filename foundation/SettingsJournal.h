// SettingsJournal: a save of several settings that a crash cannot tear.
//
// How it works
// - The settings live as named values in one place (the settings key). A
//   save first writes all of its values to a staging place beside it, then
//   the value `Complete` there: that one write is the moment the save
//   counts. Only then are the values copied to the settings key, and the
//   staging place is removed.
// - recover() runs before settings are read. A staging place with
//   `Complete` is a save that stopped while copying: its values are copied
//   again (copying twice does no harm). One without it is a save that
//   stopped before it counted: it is removed, and the settings key still
//   holds every old value. So a reader sees either the old or the new
//   values of a save, whichever write the program was killed at, also when
//   it is killed again while recovering.
// - Each single write is taken whole by the registry (the program may die
//   between two writes, not inside one).
// - The places are a Backend: the registry in the program
//   (foundation/Settings.cpp), memory in the tests.
//
// Portable: no <windows.h>.
#pragma once

#include <string>
#include <vector>

namespace settings_journal {

// A named number (a REG_DWORD) or text (a REG_SZ).
struct Value {
    std::wstring name;
    bool isText = false;
    int number = 0;
    std::wstring text;

    static Value ofNumber(const wchar_t* name, int number) { return {name, false, number, {}}; }
    static Value ofText(const wchar_t* name, const std::wstring& text) { return {name, true, 0, text}; }
    bool operator==(const Value& o) const
    {
        return name == o.name && isText == o.isText && number == o.number && text == o.text;
    }
};

// The value in the staging place that makes a save count.
extern const wchar_t* const CompleteName;

class Backend {
public:
    enum class Place { Settings, Staging };
    virtual ~Backend() = default;
    // Writes one value; false when refused.
    virtual bool write(Place place, const Value& value) = 0;
    // Every value of the staging place; false when there is none.
    virtual bool readStaging(std::vector<Value>& values) = 0;
    // Removes the staging place with everything in it (none there: true).
    virtual bool removeStaging() = 0;
};

// Saves `values` as one: false when any write was refused (the settings
// then hold the old or the new values, as after a crash).
bool save(Backend& backend, const std::vector<Value>& values);

// Finishes or forgets a save a crash interrupted (see above).
void recover(Backend& backend);

}  // namespace settings_journal
