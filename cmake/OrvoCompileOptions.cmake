# Project-wide compile settings: warnings, sanitizers and strict floating point.

add_library(orvo_options INTERFACE)
target_compile_options(orvo_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
  # The database decoding rounds every product and sum on its own; a fused
  # multiply-add would change the packed bytes on some machines.
  -ffp-contract=off)
if(ORVO_WERROR)
  target_compile_options(orvo_options INTERFACE -Werror)
endif()

if(ORVO_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(ORVO_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT ORVO_SANITIZE STREQUAL "")
  message(FATAL_ERROR "ORVO_SANITIZE must be empty, 'address' or 'thread'")
endif()

if(WIN32)
  # Windows 10 and later; wide (UTF-16) Windows calls throughout; no min/max
  # macros from <windows.h>. The C runtime's printf family follows the C
  # standard (%zu, %lld); localtime_r and gmtime_r are there.
  target_compile_definitions(orvo_options INTERFACE
    _WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN
    __USE_MINGW_ANSI_STDIO=1 _POSIX_THREAD_SAFE_FUNCTIONS)
endif()
