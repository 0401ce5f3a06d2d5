# Included by tests/CMakeLists.txt for orvo_tests_libusb (variable `target`).
# These tests run the real libusb code against devices emulated by umockdev:
# link its library and start the program under its preload wrapper. A
# sanitizer's runtime must be loaded before umockdev's preload library, so
# sanitizer builds preload both themselves, sanitizer first.
find_package(PkgConfig REQUIRED)
pkg_check_modules(UMOCKDEV REQUIRED IMPORTED_TARGET umockdev-1.0)
target_link_libraries(${target} PRIVATE PkgConfig::UMOCKDEV)
set(sanitizer_runtime "")
if(ORVO_SANITIZE STREQUAL "address")
  set(sanitizer_runtime libasan.so)
elseif(ORVO_SANITIZE STREQUAL "thread")
  set(sanitizer_runtime libtsan.so)
endif()
if(sanitizer_runtime)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${sanitizer_runtime}
                  OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR
    "env;LD_PRELOAD=${runtime_path}:libumockdev-preload.so.0")
else()
  find_program(UMOCKDEV_WRAPPER umockdev-wrapper REQUIRED)
  set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR ${UMOCKDEV_WRAPPER})
endif()
