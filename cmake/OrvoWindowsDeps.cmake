# What the Windows build takes instead of Debian's Linux libraries: SQLite
# compiled from its own source release (from a registry package, pinned and
# checked), spdlog and fmt header-only, googletest
# built with the cross compiler. Only a few of Debian's header-only folders
# are made visible, never /usr/include itself.

set(ORVO_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${ORVO_HOST_HEADERS})
foreach(entry spdlog fmt)
  if(NOT EXISTS /usr/include/${entry})
    message(FATAL_ERROR "/usr/include/${entry} is missing: run scripts/install-deps.sh")
  endif()
  file(CREATE_LINK /usr/include/${entry} ${ORVO_HOST_HEADERS}/${entry} SYMBOLIC)
endforeach()

add_library(orvo_spdlog INTERFACE)
target_include_directories(orvo_spdlog SYSTEM INTERFACE ${ORVO_HOST_HEADERS})
# Wide file names: a narrow one would be read in the ANSI code page.
target_compile_definitions(orvo_spdlog INTERFACE SPDLOG_HEADER_ONLY FMT_HEADER_ONLY SPDLOG_WCHAR_FILENAMES)
add_library(spdlog::spdlog ALIAS orvo_spdlog)

include(${CMAKE_CURRENT_LIST_DIR}/OrvoSqliteSource.cmake)

if(ORVO_BUILD_TESTS)
  set(ORVO_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "googletest's sources (Debian's libgtest-dev)")
  if(NOT EXISTS ${ORVO_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "${ORVO_GOOGLETEST_SOURCE} is missing: run scripts/install-deps.sh")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${ORVO_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(lib gtest gmock gtest_main gmock_main)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
endif()

# The cross-built programs run through wine with a prefix of their own in the
# build folder, never the user's. The wine server is started first, detached
# from every output: one that a test program started itself would hold the
# build's or CTest's output pipe open after the program ended.
find_program(ORVO_WINE wine)
find_program(ORVO_WINESERVER wineserver)
if(CMAKE_CROSSCOMPILING AND ORVO_WINE AND ORVO_WINESERVER)
  set(ORVO_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(${PROJECT_SOURCE_DIR}/scripts/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
endif()
