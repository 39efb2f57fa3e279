# corvane_stamp(<output> TEMPLATE <template> OPENING <marker> CLOSING <marker>
#               ANCHOR <anchor>)
#
# Adds a custom command that stamps <template> into <output> with Corvane.
# A relative <output> is taken in the current binary folder, a relative
# <template> in the current source folder. The command creates the output's
# folder, hands each argument to the tool exactly as given (VERBATIM), and
# writes a temporary file that is renamed onto <output> only when the tool
# succeeds: a failing run fails the build and leaves nothing that looks up
# to date. It reruns when the template or the tool changes.
include_guard(GLOBAL)

function(corvane_stamp output)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "TEMPLATE;OPENING;CLOSING;ANCHOR" "")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "corvane_stamp: unexpected arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  foreach(keyword IN ITEMS TEMPLATE OPENING CLOSING ANCHOR)
    if(NOT DEFINED arg_${keyword})
      message(FATAL_ERROR "corvane_stamp: ${keyword} is missing")
    endif()
  endforeach()
  if(NOT TARGET Corvane::Corvane)
    message(FATAL_ERROR "corvane_stamp: no Corvane::Corvane; use find_package(Corvane) first")
  endif()

  cmake_path(ABSOLUTE_PATH output BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}" NORMALIZE)
  cmake_path(ABSOLUTE_PATH arg_TEMPLATE BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE)
  cmake_path(GET output PARENT_PATH folder)
  cmake_path(GET output FILENAME name)
  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${folder}"
    COMMAND Corvane::Corvane "${arg_TEMPLATE}" "${arg_OPENING}" "${arg_CLOSING}" "${arg_ANCHOR}"
            "${output}.tmp"
    COMMAND "${CMAKE_COMMAND}" -E rename "${output}.tmp" "${output}"
    DEPENDS "${arg_TEMPLATE}" Corvane::Corvane
    COMMENT "Stamping ${name}"
    VERBATIM)
endfunction()
