# The version, the build's commit and the build's date, worked out once at
# configure time and handed to everything that shows them.
#
# How it works
# - The version is the one of project(QX700 VERSION ...) in CMakeLists.txt;
#   nothing else names it. QX_VERSION is "major.minor.patch", QX_VERSION_QUAD
#   the four-part form Windows uses in version resources and manifests.
# - The commit is asked of git ("-modified" added when tracked files differ
#   from it); without git, or outside a clone, it is "unknown". The scripts
#   configure before every build, so a new commit is picked up.
# - QX_SOURCE_DATE_EPOCH is $SOURCE_DATE_EPOCH when set, else the commit's
#   time, else 1980-01-01 (the earliest date a zip archive can hold): the one
#   date the packages carry, so two builds of a commit are the same bytes.
# - Generated into ${QX_GENERATED_DIR}: qx_version.h (for the resource script
#   and the About box), qx_licence.h (the LICENSE text as a wide string) and
#   qx700.manifest (from resources/qx700.manifest.in).

set(QX_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(QX_VERSION_QUAD ${QX_VERSION}.0)

set(QX_COMMIT unknown)
set(QX_COMMIT_EPOCH "")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short=12 HEAD
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    OUTPUT_VARIABLE commit RESULT_VARIABLE failed
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT failed AND commit)
    set(QX_COMMIT ${commit})
    execute_process(COMMAND ${GIT_EXECUTABLE} diff --quiet HEAD --
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} RESULT_VARIABLE modified ERROR_QUIET)
    if(modified EQUAL 1)
      string(APPEND QX_COMMIT -modified)
    endif()
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct HEAD
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
      OUTPUT_VARIABLE QX_COMMIT_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
endif()

if(DEFINED ENV{SOURCE_DATE_EPOCH} AND "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
  set(QX_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
elseif(QX_COMMIT_EPOCH MATCHES "^[0-9]+$")
  set(QX_SOURCE_DATE_EPOCH ${QX_COMMIT_EPOCH})
else()
  set(QX_SOURCE_DATE_EPOCH 315532800)
endif()
if(QX_SOURCE_DATE_EPOCH LESS 315532800)
  set(QX_SOURCE_DATE_EPOCH 315532800)
endif()

set(QX_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/resources/qx_version.h.in ${QX_GENERATED_DIR}/qx_version.h @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/resources/qx700.manifest.in ${QX_GENERATED_DIR}/qx700.manifest @ONLY)

# The licence as one C++ wide string literal, a line per source line.
file(READ ${CMAKE_SOURCE_DIR}/LICENSE licence)
string(REPLACE "\\" "\\\\" licence "${licence}")
string(REPLACE "\"" "\\\"" licence "${licence}")
string(REGEX REPLACE "\n$" "" licence "${licence}")
string(REPLACE "\n" "\\n\"\n    L\"" licence "${licence}")
set(QX_LICENCE_LITERAL "L\"${licence}\"")
configure_file(${CMAKE_SOURCE_DIR}/resources/qx_licence.h.in ${QX_GENERATED_DIR}/qx_licence.h @ONLY)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/LICENSE)

# What packaging/ makes, in ${QX_DIST_DIR}.
set(QX_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
set(QX_SETUP_NAME qx700-${QX_VERSION}-setup.exe)
set(QX_PORTABLE_NAME qx700-${QX_VERSION}-portable.zip)
set(QX_SUMS_NAME qx700-${QX_VERSION}-SHA256SUMS)
