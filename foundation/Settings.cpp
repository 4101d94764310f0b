#include "foundation/Settings.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "foundation/Owned.h"
#include "foundation/ParameterStore.h"

const wchar_t* const SettingsKey = L"SOFTWARE\\Tevra\\QX-700";

int readSetting(const wchar_t* name)
{
    RegistryKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKey, 0, KEY_READ, key.receive()) != ERROR_SUCCESS)
        return -1;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    const LONG result = RegQueryValueExW(key.get(), name, nullptr, &type,
                                         reinterpret_cast<BYTE*>(&value), &size);
    // A larger value of another type fails with ERROR_MORE_DATA; a shorter
    // one succeeds with a smaller size. Both count as missing.
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value))
        return -1;
    return static_cast<int>(value);
}

namespace {

bool writeValue(const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    RegistryKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, SettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, key.receive(), nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}

}  // namespace

bool writeSetting(const wchar_t* name, int value)
{
    const DWORD data = static_cast<DWORD>(value);
    return writeValue(name, REG_DWORD, &data, sizeof(data));
}

bool readSettingText(const wchar_t* name, int maxLength, std::wstring& text)
{
    if (maxLength < 0)
        return false;
    RegistryKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKey, 0, KEY_READ, key.receive()) != ERROR_SUCCESS)
        return false;
    // Room for one character more than allowed and a zero: a longer text
    // fails with ERROR_MORE_DATA or fills the extra character.
    std::vector<wchar_t> buffer(static_cast<size_t>(maxLength) + 2, L'\0');
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    const LONG result = RegQueryValueExW(key.get(), name, nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (result != ERROR_SUCCESS || type != REG_SZ)
        return false;
    const size_t length = wcsnlen(buffer.data(), size / sizeof(wchar_t));
    if (length > static_cast<size_t>(maxLength))
        return false;
    text.assign(buffer.data(), length);
    return true;
}

bool writeSettingText(const wchar_t* name, const std::wstring& text)
{
    const DWORD size = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return writeValue(name, REG_SZ, text.c_str(), size);
}

namespace {

using settings_table::Entry;
using settings_table::kEntries;
using settings_table::Rule;

bool inStore(const Entry& e) { return e.id >= 0; }
bool isText(const Entry& e) { return e.rule == Rule::Text; }

}  // namespace

void loadSettings(ParameterStore& store)
{
    int stored[settings_table::Count];
    int values[settings_table::Count];
    for (int k = 0; k < settings_table::Count; ++k) {
        const Entry& e = kEntries[k];
        const bool number = inStore(e) && !isText(e);
        stored[k] = number ? readSetting(e.name) : -1;
        values[k] = number ? store.get(e.id) : e.factory;
    }
    settings_table::takeStored(stored, values);
    for (int k = 0; k < settings_table::Count; ++k) {
        const Entry& e = kEntries[k];
        if (!inStore(e))
            continue;
        std::wstring text;
        if (!isText(e))
            store.set(e.id, values[k]);
        else if (readSettingText(e.name, static_cast<int>(e.high), text))
            store.setText(static_cast<Option::Text>(e.id), text);
    }
}

bool saveSettings(const ParameterStore& store, settings_table::Writer writer)
{
    bool saved = true;
    for (const Entry& e : kEntries) {
        if (e.writer != writer || !inStore(e))
            continue;
        const bool written =
            isText(e) ? writeSettingText(e.name, store.text(static_cast<Option::Text>(e.id)))
                      : writeSetting(e.name, store.get(e.id));
        saved = saved && written;
    }
    return saved;
}
