# Packages made by cpack from the install rules:
#   Linux:   cpack -G DEB  ->  quietwalk_<version>_<arch>.deb
#   Windows: cpack -G ZIP  ->  SAPARiQuietwalk-<major>.<minor>-win64.zip
# Only the program and what a user reads go into a package: tests, benchmarks
# and the tools that draw the assets have no install rules.
include(GNUInstallDirs)
if(WIN32)
  # A Windows user unpacks the zip and starts the program where it lies:
  # the program and the README at its top, in no folder.
  set(CMAKE_INSTALL_BINDIR .)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()

set(CPACK_PACKAGE_NAME quietwalk)
set(CPACK_PACKAGE_VENDOR "The Quietwalk developers")
set(QUIETWALK_PACKAGE_CONTACT "Quietwalk developers <quietwalk@example.org>"
    CACHE STRING "Maintainer named in the packages (Name <address>)")
set(CPACK_PACKAGE_CONTACT "${QUIETWALK_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "switch the bump sound of Community Place worlds on or off")
# Lines of at most 80 characters, as Debian's tools show them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Quietwalk switches the bump (collision) sound of the Community Place VRML 97"
  "browser, a Windows program run under Wine, on or off. It finds the browser's"
  "installation in a Wine prefix (drives, letter case, code page and registry"
  "read as Windows would), lists the world files under its world folder, and"
  "rewrites each one atomically: a full disk, a crash or a locked file never"
  "leaves a world damaged.")
set(CPACK_STRIP_FILES ON)
# Folders the package creates get these whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  # The Windows zip: the program and the README, under the name the browser's
  # users know.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME
      "SAPARiQuietwalk-${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}-win64")
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # dpkg-shlibdeps names the packages of the libraries the program links
  # (Qt 6 Widgets, Gui and Core, zlib, the C and C++ runtimes) with the
  # versions of the system it is built on; the xcb platform and the icon
  # format plugins come with libqt6gui6.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

  # Debian names the documentation folder after the package and wants every
  # package's copyright and changelog there, the changelog and the manual
  # page compressed without a time stamp.
  set(quietwalk_docdir ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/packaging/copyright
          DESTINATION ${quietwalk_docdir})
  set(quietwalk_compressed ${PROJECT_BINARY_DIR}/packaging)
  add_custom_command(
    OUTPUT ${quietwalk_compressed}/changelog.gz ${quietwalk_compressed}/quietwalk.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${quietwalk_compressed}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/changelog
            ${PROJECT_SOURCE_DIR}/packaging/quietwalk.1 ${quietwalk_compressed}
    COMMAND gzip -9nf ${quietwalk_compressed}/changelog ${quietwalk_compressed}/quietwalk.1
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog ${PROJECT_SOURCE_DIR}/packaging/quietwalk.1
    COMMENT "Compressing the changelog and the manual page"
    VERBATIM)
  add_custom_target(quietwalk_compressed_docs ALL
    DEPENDS ${quietwalk_compressed}/changelog.gz ${quietwalk_compressed}/quietwalk.1.gz)
  install(FILES ${quietwalk_compressed}/changelog.gz DESTINATION ${quietwalk_docdir})
  install(FILES ${quietwalk_compressed}/quietwalk.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

include(CPack)
