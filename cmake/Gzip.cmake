# tessaly_install_gzipped(TARGET name FILES file... DESTINATION folder): installs each file
# compressed as <file>.gz, the way Debian ships manuals and change logs: gzip -9n, best
# compression and no name or time in the header, so the bytes do not depend on the build.
# The compressed copies are made in the current build folder by the target, built with ALL.
find_program(TESSALY_GZIP gzip REQUIRED)

function(tessaly_install_gzipped)
  cmake_parse_arguments(ARG "" "TARGET;DESTINATION" "FILES" ${ARGN})
  set(outputs)
  foreach(file IN LISTS ARG_FILES)
    get_filename_component(name ${file} NAME)
    set(copy ${CMAKE_CURRENT_BINARY_DIR}/gzip/${name})
    add_custom_command(
      OUTPUT ${copy}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/${file} ${copy}
      COMMAND ${TESSALY_GZIP} -9nf ${copy}
      DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${file}
      VERBATIM)
    list(APPEND outputs ${copy}.gz)
  endforeach()
  add_custom_target(${ARG_TARGET} ALL DEPENDS ${outputs})
  install(FILES ${outputs} DESTINATION ${ARG_DESTINATION})
endfunction()
