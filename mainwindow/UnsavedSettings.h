// Settings applied but not saved: what the Configuration window's Save
// would write, compared with what the next start would load.
//
// How it works
// - Every value that Save writes (settings_table::Writer::Save, numbers
//   kept in the store) is read from the registry, judged by the table's
//   rules as loadSettings judges it (a missing or refused value gives the
//   factory one), and compared with the store's value.
// - The main window asks before it closes when any differs and the
//   Configuration window was used in this session (MainWindow::confirmClose).
#pragma once

#include <string>
#include <vector>

class ParameterStore;

// The registry names of the values that differ; empty when all are saved.
std::vector<std::wstring> unsavedSettings(const ParameterStore& store);
