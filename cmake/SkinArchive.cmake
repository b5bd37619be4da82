# The skin (XML, PNG, language texts under skin/) is packed at build time into
# a solid LZMA2 7z archive, which the resource script embeds as "ZIPRES" 147.
set(SKIN_SOURCE_DIR ${CMAKE_SOURCE_DIR}/skin)
set(SKIN_ARCHIVE ${CMAKE_BINARY_DIR}/skin/skin.7z)
find_program(SEVENZIP NAMES 7zz 7z REQUIRED)

file(GLOB_RECURSE SKIN_FILES CONFIGURE_DEPENDS ${SKIN_SOURCE_DIR}/*)
list(FILTER SKIN_FILES EXCLUDE REGEX "\\.(rc|manifest|ico|h)$|/CMakeLists\\.txt$")

# The list travels with "|" between the files: a ";" would split the command.
string(REPLACE ";" "|" skin_files_arg "${SKIN_FILES}")
add_custom_command(OUTPUT ${SKIN_ARCHIVE}
  COMMAND ${CMAKE_COMMAND} -DSEVENZIP=${SEVENZIP} -DSKIN_DIR=${SKIN_SOURCE_DIR} -DOUT=${SKIN_ARCHIVE}
          "-DFILES=${skin_files_arg}" -P ${CMAKE_SOURCE_DIR}/cmake/PackSkin.cmake
  DEPENDS ${SKIN_FILES} ${CMAKE_SOURCE_DIR}/cmake/PackSkin.cmake
  COMMENT "Packing the skin archive" VERBATIM)
add_custom_target(skin_archive DEPENDS ${SKIN_ARCHIVE})

# Gives `target` the resource script with the manifest, icon, version and skin.
function(parlomind_skin_resource target)
  set(rc ${SKIN_SOURCE_DIR}/ParlomindSetup.rc)
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS
    "${SKIN_ARCHIVE};${SKIN_SOURCE_DIR}/ParlomindSetup.manifest;${SKIN_SOURCE_DIR}/parlomind.ico")
  target_include_directories(${target} PRIVATE ${SKIN_SOURCE_DIR} ${CMAKE_BINARY_DIR}/skin)
  add_dependencies(${target} skin_archive)
endfunction()
