# Installation and the Debian package (CPack). Included from the top-level
# CMakeLists.txt after every target exists.
#
#   cmake --build build/release --target package      -> build/release/orvo-updater_<version>_<arch>.deb
#
# Layout under the package's prefix ORVO_PACKAGE_PREFIX (/usr; `cmake --install`
# uses CMAKE_INSTALL_PREFIX, and the updater finds its resources relative to
# itself there too):
#   bin/orvo-updater                  the updater
#   lib/orvo-updater/Lang_*.Dll       language libraries (architecture-dependent)
#   share/orvo-updater/Tessel.bmp     background picture
#   lib/udev/rules.d/70-orvo-dfu.rules, share/applications, share/icons, share/metainfo, share/doc, share/man

if(NOT ORVO_BUILD_GUI OR NOT TARGET orvo-updater)
  return()
endif()

set(ORVO_PACKAGE_NAME orvo-updater)
set(ORVO_PACKAGE_MAINTAINER "Orvo Updater developers <updater@orvo.invalid>" CACHE STRING
    "Maintainer field of the Debian package")
set(ORVO_APP_ID org.orvo.Updater)
set(ORVO_PACKAGE_PREFIX /usr CACHE PATH "Prefix the Debian package installs into")

set(ORVO_INSTALL_LIBRARY_DIR lib/${ORVO_PACKAGE_NAME})
set(ORVO_INSTALL_DATA_DIR share/${ORVO_PACKAGE_NAME})

# Installed in the package's bin folder, the updater keeps its settings and working files in
# the user's data folder even for root, who could write there.
# The updater finds its read-only resources beside itself, then relative to
# its own folder as installed (so an unpacked or relocated tree works), then
# at the absolute installed place.
file(RELATIVE_PATH ORVO_RELATIVE_LIBRARY_DIR ${ORVO_PACKAGE_PREFIX}/bin ${ORVO_PACKAGE_PREFIX}/${ORVO_INSTALL_LIBRARY_DIR})
file(RELATIVE_PATH ORVO_RELATIVE_DATA_DIR ${ORVO_PACKAGE_PREFIX}/bin ${ORVO_PACKAGE_PREFIX}/${ORVO_INSTALL_DATA_DIR})
target_compile_definitions(orvo-updater PRIVATE
  ORVO_RELATIVE_LIBRARY_DIR="${ORVO_RELATIVE_LIBRARY_DIR}"
  ORVO_RELATIVE_DATA_DIR="${ORVO_RELATIVE_DATA_DIR}"
  ORVO_INSTALLED_PROGRAM_DIR="${ORVO_PACKAGE_PREFIX}/bin"
  ORVO_INSTALLED_LIBRARY_DIR="${ORVO_PACKAGE_PREFIX}/${ORVO_INSTALL_LIBRARY_DIR}"
  ORVO_INSTALLED_DATA_DIR="${ORVO_PACKAGE_PREFIX}/${ORVO_INSTALL_DATA_DIR}")
if(TARGET orvo_gui)
  target_compile_definitions(orvo_gui PRIVATE ORVO_VERSION="${PROJECT_VERSION}")
endif()
# orvo-tool keeps the updater's history and log where the updater keeps them:
# never beside a program in the package's bin folder.
if(TARGET orvo-tool)
  set_property(SOURCE ${PROJECT_SOURCE_DIR}/tools/orvo_tool/updater_locations.cpp TARGET_DIRECTORY orvo-tool
    APPEND PROPERTY COMPILE_DEFINITIONS ORVO_INSTALLED_PROGRAM_DIR="${ORVO_PACKAGE_PREFIX}/bin")
endif()

install(TARGETS orvo-updater RUNTIME DESTINATION bin)

get_directory_property(lang_targets DIRECTORY ${PROJECT_SOURCE_DIR}/lang BUILDSYSTEM_TARGETS)
foreach(target IN LISTS lang_targets)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "MODULE_LIBRARY")
    install(TARGETS ${target} LIBRARY DESTINATION ${ORVO_INSTALL_LIBRARY_DIR}
            PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/res/Tessel.bmp DESTINATION ${ORVO_INSTALL_DATA_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/udev/70-orvo-dfu.rules DESTINATION lib/udev/rules.d)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/desktop/${ORVO_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/desktop/${ORVO_APP_ID}.svg DESTINATION share/icons/hicolor/scalable/apps)

set(packaging_out ${CMAKE_BINARY_DIR}/packaging)
configure_file(${PROJECT_SOURCE_DIR}/packaging/desktop/${ORVO_APP_ID}.metainfo.xml
               ${packaging_out}/${ORVO_APP_ID}.metainfo.xml @ONLY)
install(FILES ${packaging_out}/${ORVO_APP_ID}.metainfo.xml DESTINATION share/metainfo)

# Debian wants the changelog and the manual page compressed, reproducibly.
find_program(GZIP_PROGRAM gzip REQUIRED)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in ${packaging_out}/changelog @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/orvo-updater.1.in ${packaging_out}/orvo-updater.1 @ONLY)
add_custom_command(
  OUTPUT ${packaging_out}/changelog.gz ${packaging_out}/orvo-updater.1.gz
  COMMAND ${GZIP_PROGRAM} -9nkf ${packaging_out}/changelog ${packaging_out}/orvo-updater.1
  DEPENDS ${packaging_out}/changelog ${packaging_out}/orvo-updater.1
  COMMENT "Compressing the package's changelog and manual page")
add_custom_target(orvo_package_docs ALL DEPENDS ${packaging_out}/changelog.gz ${packaging_out}/orvo-updater.1.gz)
install(FILES ${packaging_out}/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
        DESTINATION share/doc/${ORVO_PACKAGE_NAME})
install(FILES ${packaging_out}/orvo-updater.1.gz DESTINATION share/man/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${ORVO_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ORVO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "safety camera database updater for the Orvo")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The Orvo Updater waits for an Orvo, a handheld GPS safety-camera device, to be
connected by USB, downloads a fresh camera database for its serial number and
writes it into the device's flash over USB DFU, followed by a date stamp.
.
The package includes a udev rule that lets the user logged in at the seat
open the device without root.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${ORVO_PACKAGE_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORVO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Our own maintainer scripts re-apply udev rules; they also keep CPack from
# adding ldconfig calls for the language modules, which are private plug-ins.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
                                       ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)

# The package test builds the package from this build and runs the unpacked
# updater as an unprivileged user (lintian takes most of its minute or so,
# more on a loaded machine). A sanitizer build would package its instrumented
# binary, so only the ordinary builds run it.
if(ORVO_BUILD_TESTS AND ORVO_SANITIZE STREQUAL "")
  add_test(NAME packaging.debian_package
           COMMAND ${CMAKE_COMMAND} -E env bash ${PROJECT_SOURCE_DIR}/tests/packaging/package_test.sh
                   ${CMAKE_BINARY_DIR} ${ORVO_APP_ID})
  set_tests_properties(packaging.debian_package PROPERTIES LABELS packaging TIMEOUT 600 RUN_SERIAL ON)
endif()
