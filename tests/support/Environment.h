// What a test program under Wine takes from its surroundings: environment
// variables (scripts/test sets them), Unix paths seen as Windows paths, and
// Windows command lines.
#pragma once

#include <string>

namespace qxsupport {

// The variable's value; empty when it is not set.
std::string environment(const char* name);
// UTF-8 to UTF-16.
std::wstring widen(const std::string& text);
// "Z:\..." for a Unix path ("/..."); anything else passes unchanged.
std::wstring windowsPath(const std::string& path);
// A variable holding a Unix path, as a Windows path; empty when unset.
std::wstring windowsPathFromEnv(const char* name);
// One argument quoted for a Windows command line.
std::wstring quoteArgument(const std::wstring& argument);

}  // namespace qxsupport
