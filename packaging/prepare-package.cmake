# Run by cpack on the staged tree, after the install (and its strip) and before the package is
# made: what Debian expects of the files that strip leaves alone.
#  - the compiler's ".comment" section out of the binaries (it only names the compiler);
#  - every file's time set to SOURCE_DATE_EPOCH, so that two builds of one commit give the same
#    package.
if(NOT CPACK_TEMPORARY_DIRECTORY)
  set(CPACK_TEMPORARY_DIRECTORY "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
if(NOT CPACK_TEMPORARY_DIRECTORY)
  message(FATAL_ERROR "no staging directory")
endif()
file(GLOB_RECURSE _files LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(_b IN LISTS _files)
  if(IS_SYMLINK "${_b}")
    continue()
  endif()
  file(READ "${_b}" _magic LIMIT 4 HEX)
  if(NOT _magic STREQUAL "7f454c46")
    continue()
  endif()
  execute_process(COMMAND objcopy --remove-section=.comment "${_b}" RESULT_VARIABLE _status)
  if(NOT _status EQUAL 0)
    message(FATAL_ERROR "objcopy failed on ${_b}")
  endif()
endforeach()
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND find "${CPACK_TEMPORARY_DIRECTORY}" -exec touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" {} +
                  RESULT_VARIABLE _status)
  if(NOT _status EQUAL 0)
    message(FATAL_ERROR "could not set the file times")
  endif()
endif()
