// The system's wording for an error code (GetLastError, or an HRESULT), the
// one text every message box and report shows for a system failure.
#pragma once

#include <windows.h>

#include <string>

// "Access is denied. (error 5)": FormatMessageW's text without its line
// break, then the number; "Unknown error. (error N)" when the system has no
// text for it.
std::wstring systemErrorText(DWORD error);
