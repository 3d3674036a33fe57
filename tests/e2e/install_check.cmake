# cmake --install into a fresh prefix (and once more staged with DESTDIR), then checks that
# every installed piece is in place and runs from there.
#   -DBUILD_DIR=<build tree> -DWORK_DIR=<scratch folder> -DUPDATER=<base name> -DALIAS=<alias>

function(fail)
  message(FATAL_ERROR "install check: ${ARGN}")
endfunction()

function(check_tree root)
  set(bin ${root}/bin)
  foreach(program ${UPDATER} aurex-code-updater-console aurex-radio-sim aurex-codeplug)
    if(NOT EXISTS ${bin}/${program} OR IS_DIRECTORY ${bin}/${program})
      fail("${bin}/${program} is missing")
    endif()
    execute_process(COMMAND test -x ${bin}/${program} RESULT_VARIABLE not_executable)
    if(not_executable)
      fail("${bin}/${program} is not executable")
    endif()
  endforeach()
  # The alias must be a link to the real file: the window takes its Name from the file's name.
  if(NOT IS_SYMLINK ${bin}/${ALIAS})
    fail("${bin}/${ALIAS} is not a link")
  endif()
  file(READ_SYMLINK ${bin}/${ALIAS} target)
  if(NOT target STREQUAL UPDATER)
    fail("${bin}/${ALIAS} points at '${target}', not at ${UPDATER} beside it")
  endif()

  set(desktop ${root}/share/applications/aurex-code-updater.desktop)
  set(icon ${root}/share/icons/hicolor/scalable/apps/aurex-code-updater.svg)
  if(NOT EXISTS ${desktop})
    fail("desktop entry ${desktop} is missing")
  endif()
  if(NOT EXISTS ${icon})
    fail("icon ${icon} is missing")
  endif()
  file(STRINGS ${desktop} lines)
  foreach(key Type=Application Name=Aurex\ Code\ Updater Exec=${ALIAS} Icon=aurex-code-updater)
    list(FIND lines "${key}" found)
    if(found EQUAL -1)
      fail("desktop entry lacks the line '${key}'")
    endif()
  endforeach()
  file(READ ${icon} svg)
  if(NOT svg MATCHES "<svg[^>]*xmlns=\"http://www.w3.org/2000/svg\"" OR NOT svg MATCHES "</svg>[ \n]*$")
    fail("${icon} is not a whole SVG document")
  endif()
endfunction()

# Runs an installed program; its output must contain `expected` and it must exit `status`.
function(run_installed expected status)
  execute_process(COMMAND ${ARGN} INPUT_FILE /dev/null OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc
                  TIMEOUT 60)
  if(NOT rc STREQUAL status)
    fail("'${ARGN}' exited ${rc}, not ${status}:\n${out}${err}")
  endif()
  string(FIND "${out}${err}" "${expected}" at)
  if(at EQUAL -1)
    fail("'${ARGN}' did not say '${expected}':\n${out}${err}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

# 1. A prefix chosen at install time.
set(prefix ${WORK_DIR}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(rc)
  fail("cmake --install --prefix failed:\n${out}${err}")
endif()
check_tree(${prefix})

# The installed programs run from the prefix, each under the name the user types.
run_installed("usage: aurex-code-updater --console" 0 ${prefix}/bin/aurex-code-updater-console --help)
run_installed("usage: aurex-radio-sim" 0 ${prefix}/bin/aurex-radio-sim --help)
run_installed("aurex-codeplug" 0 ${prefix}/bin/aurex-codeplug --help)
# Through the alias and through the console script, the window model still reads the release
# from the real file's name. A wrong password ends the run before any port is touched (exit 11).
run_installed("Name: ${UPDATER}" 11 ${prefix}/bin/${ALIAS} --console --password wrong)
run_installed("Name: ${UPDATER}" 11 ${prefix}/bin/aurex-code-updater-console --password wrong)

# Without a display the window's program still answers --help and --version, and says in one
# line what to use instead of the window (exit 2), also when the display named cannot be reached.
set(headless ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM)
run_installed("usage: aurex-code-updater [--help | --version]" 0 ${headless} ${prefix}/bin/${ALIAS} --help)
run_installed("Image set: ${UPDATER}; radio" 0 ${headless} ${prefix}/bin/${ALIAS} --version)
run_installed("in a terminal use --console" 2 ${headless} ${prefix}/bin/${ALIAS})
run_installed("in a terminal use --console" 2 ${headless} DISPLAY=:77 ${prefix}/bin/${ALIAS})

# 2. Staged for a package: everything lands below DESTDIR, the alias included.
set(stage ${WORK_DIR}/stage)
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${stage}
                        ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(rc)
  fail("staged cmake --install failed:\n${out}${err}")
endif()
check_tree(${stage}/usr)

file(REMOVE_RECURSE ${WORK_DIR})
message(STATUS "install check: every piece in place")
