# Builds the package with cpack into a scratch folder and checks it: every program, man page and
# desktop file in it, its dependencies, the programs run from the unpacked tree, the man pages
# render without warnings and name every option their program's --help names, and lintian (when
# installed) finds no error.
#   -DBUILD_DIR=<build tree> -DWORK_DIR=<scratch folder> -DCPACK=<cpack> -DVERSION=<version>
#   -DUPDATER=<base name> -DALIAS=<alias>

function(fail)
  message(FATAL_ERROR "package check: ${ARGN}")
endfunction()

# Runs a command that must succeed; its standard output goes to `var`.
function(run_ok var)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 240)
  if(NOT rc STREQUAL "0")
    fail("'${ARGN}' failed (${rc}):\n${out}${err}")
  endif()
  set(${var} "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

# 1. The package, named after the program's version.
run_ok(ignored ${CPACK} --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}/out)
file(GLOB debs ${WORK_DIR}/out/*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
  fail("cpack made ${count} .deb files, not one: ${debs}")
endif()
run_ok(arch dpkg --print-architecture)
string(STRIP "${arch}" arch)
set(deb ${WORK_DIR}/out/aurex-code-updater_${VERSION}_${arch}.deb)
if(NOT debs STREQUAL deb)
  fail("the package is ${debs}, not ${deb}")
endif()

# 2. Its contents: every file below /usr, the programs executable by all, the alias a link.
set(man ./usr/share/man/man1)
set(doc ./usr/share/doc/aurex-code-updater)
run_ok(contents dpkg-deb --contents ${deb})
string(REGEX REPLACE "\n$" "" contents "${contents}")
string(REPLACE "\n" ";" lines "${contents}")
set(paths)
foreach(line IN LISTS lines)
  # mode owner size date time path [-> target]
  if(NOT line MATCHES "^([-dlrwx]+) root/root +[0-9]+ [0-9-]+ [0-9:]+ (\\./[^ ]*)( -> (.*))?$")
    fail("unexpected line in the package's contents: ${line}")
  endif()
  set(mode ${CMAKE_MATCH_1})
  set(path ${CMAKE_MATCH_2})
  set(target "${CMAKE_MATCH_4}")
  if(NOT path MATCHES "^\\./(usr/.*)?$")
    fail("${path} lies outside /usr")
  endif()
  list(APPEND paths ${path})
  set(mode_of_${path} ${mode})
  set(target_of_${path} "${target}")
endforeach()

foreach(program ${UPDATER} aurex-code-updater-console aurex-radio-sim aurex-codeplug)
  set(path ./usr/bin/${program})
  if(NOT path IN_LIST paths)
    fail("${path} is not in the package")
  endif()
  if(NOT mode_of_${path} STREQUAL "-rwxr-xr-x")
    fail("${path} has mode ${mode_of_${path}}, not -rwxr-xr-x")
  endif()
endforeach()
foreach(link ./usr/bin/${ALIAS}:${UPDATER} ${man}/aurex-code-updater-console.1.gz:aurex-code-updater.1.gz)
  string(REPLACE ":" ";" link "${link}")
  list(GET link 0 path)
  list(GET link 1 expected)
  if(NOT path IN_LIST paths OR NOT mode_of_${path} MATCHES "^l")
    fail("${path} is not a link in the package")
  endif()
  if(NOT target_of_${path} STREQUAL expected)
    fail("${path} points at '${target_of_${path}}', not at ${expected}")
  endif()
endforeach()
foreach(path ${man}/aurex-code-updater.1.gz ${man}/aurex-radio-sim.1.gz ${man}/aurex-codeplug.1.gz
        ./usr/share/applications/aurex-code-updater.desktop
        ./usr/share/icons/hicolor/scalable/apps/aurex-code-updater.svg
        ${doc}/copyright ${doc}/changelog.gz)
  if(NOT path IN_LIST paths)
    fail("${path} is not in the package")
  endif()
  if(NOT mode_of_${path} STREQUAL "-rw-r--r--")
    fail("${path} has mode ${mode_of_${path}}, not -rw-r--r--")
  endif()
endforeach()

# 3. Its control fields: the dependencies come from what the programs link.
run_ok(package dpkg-deb -f ${deb} Package)
run_ok(version dpkg-deb -f ${deb} Version)
run_ok(depends dpkg-deb -f ${deb} Depends)
string(STRIP "${package}" package)
string(STRIP "${version}" version)
if(NOT package STREQUAL "aurex-code-updater" OR NOT version STREQUAL VERSION)
  fail("the package calls itself '${package}' '${version}', not aurex-code-updater ${VERSION}")
endif()
string(REGEX REPLACE " *\\([^)]*\\)" "" names "${depends}")
string(REGEX REPLACE "[ \n]" "" names "${names}")
string(REPLACE "," ";" names "${names}")
foreach(needed libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6sql6
        libqt6sql6-sqlite qt6-qpa-plugins)
  if(NOT needed IN_LIST names)
    fail("Depends does not name ${needed}: ${depends}")
  endif()
endforeach()

# 4. Unpacked, each program answers --help from there, the window's program without a display.
set(root ${WORK_DIR}/root)
run_ok(ignored dpkg-deb -x ${deb} ${root})
set(bin ${root}/usr/bin)
set(headless ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM)
foreach(run "aurex-code-updater|usage: aurex-code-updater [--help | --version]"
            "aurex-code-updater-console|usage: aurex-code-updater --console"
            "aurex-radio-sim|usage: aurex-radio-sim"
            "aurex-codeplug|usage: aurex-codeplug validate FILE")
  string(REPLACE "|" ";" run "${run}")
  list(GET run 0 program)
  list(GET run 1 expected)
  execute_process(COMMAND ${headless} ${bin}/${program} --help INPUT_FILE /dev/null
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 60)
  if(NOT rc STREQUAL "0")
    fail("unpacked ${program} --help exited ${rc}:\n${out}${err}")
  endif()
  string(FIND "${out}" "${expected}" at)
  if(at EQUAL -1)
    fail("unpacked ${program} --help did not say '${expected}':\n${out}${err}")
  endif()
  set(help_of_${program} "${out}")
endforeach()

# 5. The man pages: the sections a reader looks for, every option of the program's --help, and
# no groff warning.
find_program(GROFF groff)
foreach(page aurex-code-updater aurex-radio-sim aurex-codeplug)
  set(file ${root}/usr/share/man/man1/${page}.1.gz)
  run_ok(roff gzip -dc ${file})
  foreach(section NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES EXAMPLES)
    if(NOT roff MATCHES "\n\\.SH \"?${section}\"?\n")
      fail("${page}.1 has no ${section} section")
    endif()
  endforeach()
  string(REPLACE "\\-" "-" plain "${roff}")
  string(REGEX MATCHALL "--[a-z][a-z0-9-]*" options "${help_of_${page}}")
  list(REMOVE_DUPLICATES options)
  foreach(option ${options})
    if(NOT plain MATCHES "${option}([^a-z0-9-]|$)")
      fail("${page}.1 does not describe ${option}, which ${page} --help names")
    endif()
  endforeach()
  if(GROFF)
    file(WRITE ${WORK_DIR}/${page}.1 "${roff}")
    execute_process(COMMAND ${GROFF} -man -Tutf8 -ww -z ${WORK_DIR}/${page}.1
                    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
    if(NOT rc STREQUAL "0" OR NOT err STREQUAL "")
      fail("groff warns about ${page}.1:\n${err}")
    endif()
  endif()
endforeach()

# 6. lintian, where installed: no error. Its warnings are shown, not failed on.
find_program(LINTIAN lintian)
if(LINTIAN)
  execute_process(COMMAND ${LINTIAN} --no-tag-display-limit ${deb}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 240)
  if(out MATCHES "(^|\n)E: ")
    fail("lintian reports errors:\n${out}${err}")
  endif()
  if(NOT out STREQUAL "")
    message(STATUS "lintian:\n${out}")
  endif()
else()
  message(STATUS "lintian is not installed; skipped it")
endif()

file(REMOVE_RECURSE ${WORK_DIR})
message(STATUS "package check: ${deb} built and checked")
