# Delay-loaded system DLLs. A DLL the program needs only for a command (a
# file dialog, the colour chooser, PNG export, the guide) or only once it
# measures (the wave devices) is not loaded with the program: its first call
# loads it (__delayLoadHelper2 of the MinGW-w64 runtime). Each one costs the
# start of the program its load and that of everything it imports; comdlg32,
# ole32, shell32 and winmm bring eleven DLLs with them.
#
# How it works
# - The functions a DLL exports are those its import library has thunks for
#   ("T" symbols): they become the EXPORTS of a .def file, at configure time.
# - dlltool makes a delay-import library of it, at build time.
# - qx_delay_load(TARGET DLL...) links TARGET with those libraries, made
#   first by TARGET_delay_imports. They come before the compiler's default
#   libraries (which name shell32), so their symbols are the ones taken.

function(qx_delay_import_library dll out)
  set(lib "${CMAKE_BINARY_DIR}/delayload/lib${dll}-delay.a")
  set(def "${CMAKE_BINARY_DIR}/delayload/${dll}.def")
  if(NOT EXISTS "${def}")
    find_library(QX_IMPORT_${dll} NAMES ${dll} REQUIRED)
    execute_process(COMMAND ${CMAKE_NM} -g --defined-only "${QX_IMPORT_${dll}}"
                    OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "cannot list the functions of ${QX_IMPORT_${dll}}")
    endif()
    string(REGEX MATCHALL "[0-9a-fA-F]+ T [A-Za-z_][A-Za-z0-9_@]*" thunks "${symbols}")
    set(text "LIBRARY ${dll}.dll\nEXPORTS\n")
    foreach(thunk IN LISTS thunks)
      string(REGEX REPLACE "^[0-9a-fA-F]+ T " "" name "${thunk}")
      string(APPEND text "  ${name}\n")
    endforeach()
    file(WRITE "${def}" "${text}")
  endif()
  add_custom_command(OUTPUT "${lib}"
    COMMAND ${CMAKE_DLLTOOL} --input-def "${def}" --dllname ${dll}.dll --output-delaylib "${lib}"
    DEPENDS "${def}" COMMENT "Delay-import library for ${dll}.dll" VERBATIM)
  set(${out} "${lib}" PARENT_SCOPE)
endfunction()

function(qx_delay_load target)
  set(libs)
  foreach(dll IN LISTS ARGN)
    qx_delay_import_library(${dll} lib)
    list(APPEND libs "${lib}")
  endforeach()
  add_custom_target(${target}_delay_imports DEPENDS ${libs})
  add_dependencies(${target} ${target}_delay_imports)
  target_link_libraries(${target} PUBLIC ${libs})
endfunction()
