# The Debian package: `cmake --build BUILD --target package` makes pictavo_<version>_<arch>.deb
# with the programs in /usr/bin and their data in /usr/share. Its Depends are worked out from
# the binaries by dpkg-shlibdeps (package dpkg-dev); dpkg's triggers of the desktop-file-utils,
# shared-mime-info and icon theme packages refresh the caches when it is installed.
set(PICTAVO_PACKAGE_MAINTAINER "The Pictavo authors <pictavo@example.org>"
    CACHE STRING "Maintainer named in the Debian package")

# The changelog a Debian package carries (native: changelog.gz), in Debian's format. Its date is
# the build's: SOURCE_DATE_EPOCH where the build sets it (as dpkg-buildpackage does), otherwise
# the date of the commit built (SourceDate.cmake), as are the dates of the package's files.
# The text is written at every build (the date may come from the build's environment); the
# compressed copy is made again only when the text changed.
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/doc)
add_custom_target(pictavo_changelog_text
  COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/packaging/changelog.in -DOUT=changelog
          -DPROJECT_VERSION=${PROJECT_VERSION} -DPICTAVO_PACKAGE_MAINTAINER=${PICTAVO_PACKAGE_MAINTAINER}
          -DPICTAVO_SOURCE_DIR=${PROJECT_SOURCE_DIR} -P ${PROJECT_SOURCE_DIR}/packaging/Changelog.cmake
  BYPRODUCTS ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/doc VERBATIM)
add_custom_command(OUTPUT doc/changelog.gz
  COMMAND gzip -9n -c changelog > changelog.gz
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog pictavo_changelog_text
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/doc VERBATIM)
add_custom_target(pictavo_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pictavo)

set(CPACK_GENERATOR DEB)
# CPack dates the archive members and files by SOURCE_DATE_EPOCH; SourceDate.cmake sets it from
# the commit where the build did not, so that two builds of one commit give the same bytes.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/SourceDate.cmake)
set(CPACK_PICTAVO_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_PACKAGE_NAME pictavo)
set(CPACK_PACKAGE_VENDOR "The Pictavo authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package's description starts with a summary line of its own. CPACK_PACKAGE_DESCRIPTION_SUMMARY
# stays unset: CPack would put it in front of every package's description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "find, view and extract the icons of Windows files\n"
    "Pictavo finds, views and extracts the icons that .ico files, 32- and 64-bit\n"
    "Windows executables and DLLs, 16-bit executables and .icl icon libraries carry,\n"
    "and gathers icons into icon libraries. Its window speaks Chinese.\n"
    "\n"
    "The package also brings pictavo-cli, which lists, extracts and converts icons\n"
    "from the terminal, and a thumbnailer that lets file managers show these files\n"
    "with their own icons.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${PICTAVO_PACKAGE_PREFIX})
set(CPACK_INSTALL_PREFIX ${PICTAVO_PACKAGE_PREFIX})
# Staged with DESTDIR, so the install's own cache update knows to leave caches to the triggers.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PICTAVO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's text is Chinese: without a font that has it, every word is a row of boxes, so a
# Chinese font is a dependency (dpkg-shlibdeps adds the libraries'). Qt's dialogs speak Chinese
# where its translations are.
set(PICTAVO_CHINESE_FONTS "fonts-wqy-zenhei | fonts-noto-cjk | fonts-wqy-microhei | fonts-arphic-uming")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${PICTAVO_CHINESE_FONTS}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# With the KDE thumbnail plugin built, a second package holds it: pictavo-kde-thumbnailer, with
# the KDE and Qt 5 libraries in its own Depends, so that pictavo stays free of them on desktops
# without KDE. Everything else (the install's unnamed component) stays in pictavo.
if(TARGET pictavothumbnail)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL Unspecified kde)
  set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME pictavo)
  set(CPACK_DEBIAN_KDE_PACKAGE_NAME pictavo-kde-thumbnailer)
  set(CPACK_DEBIAN_KDE_PACKAGE_SECTION kde)
  set(CPACK_DEBIAN_KDE_PACKAGE_ENHANCES dolphin)
  set(CPACK_DEBIAN_KDE_PACKAGE_RECOMMENDS "")
  # The plugin draws no text: no font among its Depends, only the libraries it links.
  set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_DEPENDS "${PICTAVO_CHINESE_FONTS}")
  set(CPACK_DEBIAN_KDE_PACKAGE_DEPENDS "")
  set(CPACK_DEBIAN_UNSPECIFIED_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
  set(CPACK_DEBIAN_KDE_DESCRIPTION
      "icons of Windows files as thumbnails in Dolphin\n"
      "The thumbnail plugin of Pictavo for KDE's file manager Dolphin and KDE's file\n"
      "dialogs: each icon file, 32- and 64-bit Windows executable and DLL, 16-bit\n"
      "executable and icon library is shown with its own icon, drawn as pictavo-cli\n"
      "draws it.")
  string(REPLACE ";" "" CPACK_DEBIAN_KDE_DESCRIPTION "${CPACK_DEBIAN_KDE_DESCRIPTION}")
endif()
include(CPack)
