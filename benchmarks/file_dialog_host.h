// What the soak and its file dialog yardstick (file_dialog_host.cpp) share.
#pragma once

namespace file_dialog_host {

// The host's main window, and the WM_COMMAND ids that open its dialogs.
constexpr const wchar_t* kWindowClass = L"QxFileDialogHost";
constexpr int kSaveDialog = 1;
constexpr int kOpenDialog = 2;

}  // namespace file_dialog_host
