# Batched compilation (ORVO_UNITY_BUILD): each target's sources are compiled
# a few at a time as one file, so that a whole build parses the common
# headers (the standard library, GoogleTest, Qt) far fewer times. The test
# script builds every flavour this way; day-to-day builds need not.
#
# A source that defines, in its unnamed namespace, a helper of the same name
# as another source of its target cannot share a batch with it: those are
# listed in unbatched_sources.txt and compiled on their own.
# Included last by the top-level CMakeLists.txt, once every folder is known.
if(NOT ORVO_UNITY_BUILD)
  return()
endif()

file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/unbatched_sources.txt orvo_unbatched REGEX "^[^#]")
list(TRANSFORM orvo_unbatched PREPEND ${CMAKE_SOURCE_DIR}/)

# A source file's properties belong to the folder whose targets use it.
set(orvo_folders ${CMAKE_SOURCE_DIR})
set(orvo_pending ${CMAKE_SOURCE_DIR})
while(orvo_pending)
  list(POP_FRONT orvo_pending folder)
  get_directory_property(children DIRECTORY ${folder} SUBDIRECTORIES)
  list(APPEND orvo_folders ${children})
  list(APPEND orvo_pending ${children})
endwhile()
set_source_files_properties(${orvo_unbatched} DIRECTORY ${orvo_folders}
                            PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
