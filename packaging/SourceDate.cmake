# Sets SOURCE_DATE_EPOCH in the environment, where the build has not set it, to the date of the
# commit built, so that two builds of one commit date their changelog and their package's files
# alike. Outside a git checkout it stays unset (the time of the build, then). Included by the
# changelog script (PICTAVO_SOURCE_DIR given) and by CPack as its project configuration file
# (CPACK_PICTAVO_SOURCE_DIR), before CPack reads SOURCE_DATE_EPOCH for the package's dates.
if(NOT PICTAVO_SOURCE_DIR AND CPACK_PICTAVO_SOURCE_DIR)
  set(PICTAVO_SOURCE_DIR "${CPACK_PICTAVO_SOURCE_DIR}")
endif()
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} AND PICTAVO_SOURCE_DIR)
  find_program(PICTAVO_GIT git)
  if(PICTAVO_GIT)
    execute_process(COMMAND ${PICTAVO_GIT} -C ${PICTAVO_SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE git_status)
    if(git_status EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
      set(ENV{SOURCE_DATE_EPOCH} ${commit_time})
    endif()
  endif()
endif()
