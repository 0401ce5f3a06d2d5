# SQLite for the Windows build, from SQLite's own source release as the npm
# package `sqlite3` carries it (deps/sqlite-autoconf-*.tar.gz). The package
# and the release inside it are pinned by version and SHA-256; nothing is
# compiled unless both match. Everything lands in the build folder.

set(ORVO_SQLITE_NPM_PACKAGE sqlite3@6.0.1)
set(ORVO_SQLITE_NPM_SHA256 ab8d044a93e05bd031d7ea75547c7fa60387cdc259d27f93c0e3e2832c4b1df9)
set(ORVO_SQLITE_RELEASE sqlite-autoconf-3520000)
set(ORVO_SQLITE_RELEASE_SHA256 f6b50b0c103392af32a8be15b2b9d25959de9a00a70c3979128aafeaa5338b3f)

set(sqlite_dir ${CMAKE_BINARY_DIR}/third_party/sqlite)
set(sqlite_source ${sqlite_dir}/${ORVO_SQLITE_RELEASE}/sqlite3.c)

function(orvo_check_sha256 file expected)
  file(SHA256 ${file} actual)
  if(NOT actual STREQUAL expected)
    file(REMOVE ${file})
    message(FATAL_ERROR "${file}: SHA-256 ${actual}, expected ${expected}; removed")
  endif()
endfunction()

if(NOT EXISTS ${sqlite_source})
  file(MAKE_DIRECTORY ${sqlite_dir})
  find_program(ORVO_NPM npm REQUIRED)
  execute_process(
    COMMAND ${ORVO_NPM} pack ${ORVO_SQLITE_NPM_PACKAGE} --silent --pack-destination ${sqlite_dir}
    RESULT_VARIABLE packed OUTPUT_VARIABLE package_file OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT packed EQUAL 0 OR package_file STREQUAL "")
    message(FATAL_ERROR "npm pack ${ORVO_SQLITE_NPM_PACKAGE} failed (${packed})")
  endif()
  set(package_path ${sqlite_dir}/${package_file})
  orvo_check_sha256(${package_path} ${ORVO_SQLITE_NPM_SHA256})
  set(release_archive package/deps/${ORVO_SQLITE_RELEASE}.tar.gz)
  file(ARCHIVE_EXTRACT INPUT ${package_path} DESTINATION ${sqlite_dir} PATTERNS ${release_archive})
  orvo_check_sha256(${sqlite_dir}/${release_archive} ${ORVO_SQLITE_RELEASE_SHA256})
  file(ARCHIVE_EXTRACT INPUT ${sqlite_dir}/${release_archive} DESTINATION ${sqlite_dir}
       PATTERNS ${ORVO_SQLITE_RELEASE}/sqlite3.c ${ORVO_SQLITE_RELEASE}/sqlite3.h)
  file(REMOVE_RECURSE ${sqlite_dir}/package ${package_path})
endif()

add_library(orvo_sqlite3 STATIC ${sqlite_source})
target_include_directories(orvo_sqlite3 SYSTEM PUBLIC ${sqlite_dir}/${ORVO_SQLITE_RELEASE})
target_compile_definitions(orvo_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION SQLITE_DQS=0)
# SQLite's own code is not held to this project's warnings.
target_compile_options(orvo_sqlite3 PRIVATE -w -O2)
add_library(SQLite::SQLite3 ALIAS orvo_sqlite3)
