# The main window's portable half (the About box's text): part of the core
# library in both the Windows and the native build.
include_guard(GLOBAL)
target_sources(qx_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/AboutText.cpp)
