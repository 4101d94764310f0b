#include "foundation/Settings.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <mutex>
#include <vector>

#include "foundation/Owned.h"
#include "foundation/ParameterStore.h"
#include "foundation/SettingsJournal.h"

const wchar_t* const SettingsKey = L"SOFTWARE\\Tevra\\QX-700";
const wchar_t* const SettingsStagingKey = L"SOFTWARE\\Tevra\\QX-700\\Saving";

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

bool writeValue(const wchar_t* name, DWORD type, const void* data, DWORD size,
                const wchar_t* keyName = SettingsKey)
{
    RegistryKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyName, 0, nullptr, REG_OPTION_NON_VOLATILE,
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

using settings_journal::Value;

// The journal's places in the registry: the settings key and its subkey
// "Saving".
class RegistryPlaces final : public settings_journal::Backend {
public:
    bool write(Place place, const Value& v) override
    {
        const wchar_t* key = place == Place::Settings ? SettingsKey : SettingsStagingKey;
        if (v.isText)
            return writeValue(v.name.c_str(), REG_SZ, v.text.c_str(),
                              static_cast<DWORD>((v.text.size() + 1) * sizeof(wchar_t)), key);
        const DWORD data = static_cast<DWORD>(v.number);
        return writeValue(v.name.c_str(), REG_DWORD, &data, sizeof(data), key);
    }

    bool readStaging(std::vector<Value>& values) override
    {
        RegistryKey key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, SettingsStagingKey, 0, KEY_QUERY_VALUE,
                          key.receive()) != ERROR_SUCCESS)
            return false;
        values.clear();
        std::vector<BYTE> data(4096);
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD nameLength = 256, type = 0, size = static_cast<DWORD>(data.size());
            const LONG r = RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type,
                                         data.data(), &size);
            if (r == ERROR_NO_MORE_ITEMS)
                return true;
            if (r != ERROR_SUCCESS)
                continue;  // too long for any setting: not one of ours
            if (type == REG_DWORD && size == sizeof(DWORD)) {
                DWORD number;
                std::memcpy(&number, data.data(), sizeof(number));
                values.push_back(Value::ofNumber(name, static_cast<int>(number)));
            } else if (type == REG_SZ) {
                const wchar_t* text = reinterpret_cast<const wchar_t*>(data.data());
                values.push_back(Value::ofText(name, std::wstring(text, wcsnlen(text, size / sizeof(wchar_t)))));
            }
        }
    }

    bool removeStaging() override
    {
        const LONG r = RegDeleteKeyW(HKEY_CURRENT_USER, SettingsStagingKey);
        return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
    }
};

// One save at a time: the Configuration window's and the Measurement
// dialog's on the UI thread, a calibration's on the engine's worker.
std::mutex& saveLock()
{
    static std::mutex lock;
    return lock;
}

}  // namespace

void recoverSettings()
{
    std::lock_guard<std::mutex> hold(saveLock());
    RegistryPlaces places;
    settings_journal::recover(places);
}

void loadSettings(ParameterStore& store)
{
    recoverSettings();
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
    std::vector<Value> values;
    for (const Entry& e : kEntries) {
        if (e.writer != writer || !inStore(e))
            continue;
        values.push_back(isText(e) ? Value::ofText(e.name, store.text(static_cast<Option::Text>(e.id)))
                                   : Value::ofNumber(e.name, store.get(e.id)));
    }
    std::lock_guard<std::mutex> hold(saveLock());
    RegistryPlaces places;
    return settings_journal::save(places, values);
}
