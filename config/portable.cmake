# The configuration window's portable half (number parsing, texts, the table
# of settings): part of the core library in both the Windows and the native
# build.
include_guard(GLOBAL)
target_sources(qx_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ConfigText.cpp
               ${CMAKE_CURRENT_LIST_DIR}/SettingsTable.cpp)
