# The test run's fixture around every test (tests/CMakeLists.txt):
#   -DMODE=record   before the first test: notes what the build's program
#                   folder holds and makes the run's roots for the test
#                   programs' private folders;
#   -DMODE=compare  after the last: fails when a test added, removed or
#                   changed a file there, and removes the roots with whatever
#                   a killed program left in them.
# Also given: -DPROGRAMS=<folder> -DSTATE=<file> and the two roots,
# -DTEMPORARY=<folder> -DPROGRAM_LINKS=<folder>.

function(describe_folder folder out)
  file(GLOB entries LIST_DIRECTORIES true RELATIVE "${folder}" "${folder}/*" "${folder}/.*")
  list(SORT entries)
  set(lines "")
  foreach(entry IN LISTS entries)
    set(path "${folder}/${entry}")
    if(IS_DIRECTORY "${path}" OR IS_SYMLINK "${path}")
      string(APPEND lines "${entry} (not a regular file)\n")
    else()
      file(SIZE "${path}" size)
      file(TIMESTAMP "${path}" stamp "%Y-%m-%dT%H:%M:%S" UTC)
      string(APPEND lines "${entry} ${size} ${stamp}\n")
    endif()
  endforeach()
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

describe_folder("${PROGRAMS}" now)
if(MODE STREQUAL "record")
  file(WRITE "${STATE}" "${now}")
  file(REMOVE_RECURSE "${TEMPORARY}" "${PROGRAM_LINKS}")
  file(MAKE_DIRECTORY "${TEMPORARY}" "${PROGRAM_LINKS}")
elseif(MODE STREQUAL "compare")
  file(REMOVE_RECURSE "${TEMPORARY}" "${PROGRAM_LINKS}")
  if(NOT EXISTS "${STATE}")
    message(FATAL_ERROR "nothing was recorded before the tests")
  endif()
  file(READ "${STATE}" before)
  file(REMOVE "${STATE}")
  if(NOT before STREQUAL now)
    message(FATAL_ERROR "tests changed the program folder ${PROGRAMS}\nbefore:\n${before}\nafter:\n${now}")
  endif()
else()
  message(FATAL_ERROR "MODE must be record or compare")
endif()
