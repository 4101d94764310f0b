# The configuration window's portable half (number parsing, texts): part of
# the core library in both the Windows and the native build.
include_guard(GLOBAL)
target_sources(qx_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ConfigText.cpp)
