# The program's version is written once, as kProgramVersion in src/app/about_dlg.h (the about box
# and the run records show it); the project and its package take it from there.
set(aurex_version_header ${CMAKE_CURRENT_LIST_DIR}/../src/app/about_dlg.h)
file(STRINGS ${aurex_version_header} aurex_version_line REGEX "kProgramVersion = \"")
if(NOT aurex_version_line MATCHES "kProgramVersion = \"([0-9]+\\.[0-9]+\\.[0-9]+)\"")
  message(FATAL_ERROR "no kProgramVersion = \"X.Y.Z\" in ${aurex_version_header}")
endif()
set(AUREX_VERSION ${CMAKE_MATCH_1})
# A new version in the header configures again, so the package is named after it.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${aurex_version_header})
