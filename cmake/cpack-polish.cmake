# Runs inside CPack before a package is made. Gzips the manual pages and the
# changelog, keeping no name or time stamp so that builds repeat, and drops
# the sections that Debian strips from every binary (.comment and .note).
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.[1-9]")
list(FILTER pages INCLUDE REGEX "/man/man[1-9]/[^/]+$")
file(GLOB_RECURSE changelogs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/doc/*/changelog")
foreach(file IN LISTS pages changelogs)
  execute_process(COMMAND gzip -9nf "${file}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()

if(CPACK_CORVANE_STRIP)
  file(GLOB_RECURSE programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
  foreach(program IN LISTS programs)
    execute_process(COMMAND "${CPACK_CORVANE_STRIP}" --remove-section=.comment --remove-section=.note
                            "${program}" COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
endif()
