# Image sets bound into executables.
#
# aurex_image_set(<name> PRESET <preset> [OPTIONS <aurex-image-set options>...])
#   Generates the set at build time into <build>/image-sets/<name>/ and defines the object
#   library aurex_image_set_<name>. Linking it binds the set's blobs into the executable as
#   read-only data (looked up through aurex::CarriedImageSet(), names without regard to case);
#   nothing is copied at start-up. Built only when something links it.
#
# aurex_add_updater(NAME <base name> IMAGE_SET <name> [ALIAS <short name>] SOURCES ... [LIBS ...])
#   An updater executable carrying the set. The base name is what the window shows as the
#   program's Name (and reads its Release from). The alias is a link beside it for the command
#   line; the real file keeps its name.
#
# Include this file from any CMakeLists that calls these functions; it may be included often.
# The default updater is meant to be made as:
#   aurex_add_updater(NAME ${AUREX_UPDATER_BASE_NAME} ALIAS ${AUREX_UPDATER_ALIAS}
#                     IMAGE_SET carried SOURCES ... LIBS ...)
# Its window then reads "Name: AurexCodeUpdater_8600_Series_4_Release_3_0_9" and "Release:
# 3.0 9", as a maker's release of the carried set (8600 radios of series 4, Brevio 3.0.9) would;
# the series mismatch message asks for an "8600_Series_4 version" in the same words.

# Not guarded: each including directory gets these names in its own scope.
set(AUREX_UPDATER_BASE_NAME AurexCodeUpdater_8600_Series_4_Release_3_0_9)
set(AUREX_UPDATER_ALIAS aurex-code-updater)

include_guard(GLOBAL)

function(aurex_image_set name)
  cmake_parse_arguments(S "" "PRESET" "OPTIONS" ${ARGN})
  if(NOT S_PRESET)
    message(FATAL_ERROR "aurex_image_set(${name}): PRESET is required")
  endif()
  string(MAKE_C_IDENTIFIER "${name}" set_id)
  set(dir ${CMAKE_BINARY_DIR}/image-sets/${name})
  set(binding ${dir}/bind_${set_id}.cpp)
  add_custom_command(
    OUTPUT ${binding}
    COMMAND aurex-image-set --preset ${S_PRESET} --out ${dir}/blobs
            --binding ${binding} --set-id ${set_id} ${S_OPTIONS}
    DEPENDS aurex-image-set
    COMMENT "Generating image set ${name}"
    VERBATIM)
  add_library(aurex_image_set_${name} OBJECT EXCLUDE_FROM_ALL ${binding})
  target_link_libraries(aurex_image_set_${name} PUBLIC aurex_image_store)
  aurex_warnings(aurex_image_set_${name})
  set_target_properties(aurex_image_set_${name} PROPERTIES AUTOMOC OFF)
  set_property(TARGET aurex_image_set_${name} PROPERTY AUREX_IMAGE_SET_DIR ${dir}/blobs)
endfunction()

function(aurex_add_updater)
  cmake_parse_arguments(U "" "NAME;IMAGE_SET;ALIAS" "SOURCES;LIBS" ${ARGN})
  if(NOT U_NAME OR NOT U_IMAGE_SET OR NOT U_SOURCES)
    message(FATAL_ERROR "aurex_add_updater: NAME, IMAGE_SET and SOURCES are required")
  endif()
  add_executable(${U_NAME} ${U_SOURCES})
  aurex_warnings(${U_NAME})
  target_link_libraries(${U_NAME} PRIVATE ${U_LIBS} aurex_image_set_${U_IMAGE_SET})
  if(U_ALIAS)
    # The window reads its Name from the program's real file (a link resolves to it).
    if(WIN32)
      set(make_alias copy_if_different $<TARGET_FILE:${U_NAME}>)
    else()
      set(make_alias create_symlink $<TARGET_FILE_NAME:${U_NAME}>)
    endif()
    add_custom_command(TARGET ${U_NAME} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E rm -f $<TARGET_FILE_DIR:${U_NAME}>/${U_ALIAS}${CMAKE_EXECUTABLE_SUFFIX}
      COMMAND ${CMAKE_COMMAND} -E ${make_alias} $<TARGET_FILE_DIR:${U_NAME}>/${U_ALIAS}${CMAKE_EXECUTABLE_SUFFIX}
      VERBATIM)
    set_property(TARGET ${U_NAME} APPEND PROPERTY ADDITIONAL_CLEAN_FILES
      $<TARGET_FILE_DIR:${U_NAME}>/${U_ALIAS}${CMAKE_EXECUTABLE_SUFFIX})
  endif()
endfunction()
