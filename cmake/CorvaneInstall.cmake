# What a user, a packager or a CMake project installs: the tool, its manual,
# its license, and a CMake package (Corvane::Corvane and corvane_stamp()).
# CPack makes a .deb and a .tar.gz on Linux and a .zip on Windows.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

configure_file(doc/Corvane.1.in Corvane.1 @ONLY)
set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Corvane)

if(WIN32)
  # A zip to unpack anywhere: everything at its top, the manual as text.
  set(CMAKE_INSTALL_BINDIR .)
  add_custom_command(
    OUTPUT Corvane-manual.txt
    COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_CURRENT_BINARY_DIR}/Corvane.1
            -DOUT=${CMAKE_CURRENT_BINARY_DIR}/Corvane-manual.txt
            -P ${PROJECT_SOURCE_DIR}/cmake/render-manual.cmake
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/Corvane.1 ${PROJECT_SOURCE_DIR}/doc/Corvane.1.in
    VERBATIM)
  add_custom_target(corvane_manual_text ALL DEPENDS Corvane-manual.txt)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/Corvane-manual.txt LICENSE README.md DESTINATION .)
else()
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/Corvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # Debian's machine-readable copyright, made from LICENSE, and the changelog.
  file(READ LICENSE license)
  string(REGEX REPLACE "^.*(Permission is hereby granted)" "\\1" license "${license}")
  string(STRIP "${license}" license)
  string(REGEX REPLACE "\n\n" "\n.\n" license "${license}")
  string(REGEX REPLACE "\n" "\n " license " ${license}")
  set(LICENSE_PARAGRAPHS "${license}")
  configure_file(packaging/copyright.in copyright @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright packaging/changelog
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/corvane)
  install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
          RENAME corvane)
endif()

install(TARGETS Corvane EXPORT CorvaneTargets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(NOT WIN32)
  install(EXPORT CorvaneTargets NAMESPACE Corvane:: DESTINATION ${package_dir})
  configure_package_config_file(cmake/CorvaneConfig.cmake.in CorvaneConfig.cmake
                                INSTALL_DESTINATION ${package_dir})
  # The package is a program, so a project of any word size may use it.
  write_basic_package_version_file(CorvaneConfigVersion.cmake COMPATIBILITY SameMajorVersion
                                   ARCH_INDEPENDENT)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/CorvaneConfig.cmake
                ${CMAKE_CURRENT_BINARY_DIR}/CorvaneConfigVersion.cmake cmake/CorvaneStamp.cmake
          DESTINATION ${package_dir})
endif()

set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR "Corvane developers")
set(CPACK_PACKAGE_CONTACT "Corvane developers <dev@corvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION "Corvane copies a source file, drops the two comment-fence lines around a
block so that it becomes live code, and replaces an anchor inside the block
with the moment thirty days from now, in milliseconds since 1970 (UTC). Its
exit status tells the calling build whether the fences and the anchor were
found.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack-polish.cmake)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME corvane-${PROJECT_VERSION}-win64)
else()
  set(CPACK_GENERATOR "DEB;TGZ")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_CORVANE_STRIP ${CMAKE_STRIP})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
