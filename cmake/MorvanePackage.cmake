# The Debian package: everything install() puts under /usr, with dependencies
# read from the programs' shared libraries (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "The Morvane developers <packages@${MORVANE_MAKER_DOMAIN}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "video player that streams BitTorrent downloads")
set(CPACK_PACKAGE_DESCRIPTION "Morvane plays videos from BitTorrent while they are still downloading:
video files, .torrent files, magnet links, web addresses of torrents and
morvane:// links. The pieces playback needs next are fetched first, so
playback starts at once and waits only while a piece it reads is missing.
.
The package holds the player, its BitTorrent service (MorvaneCore), the
file-association tool (Kelvora) and the updater, which leaves updates of a
packaged installation to the package manager.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.${MORVANE_MAKER_DOMAIN}/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded as plugins, which no program links, so shlibdeps cannot see them:
# Qt's window-system plugins and libvlc's demuxers, decoders and outputs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, vlc-plugin-base, vlc-plugin-video-output")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libvlc-bin, fonts-dejavu-core, xdg-utils")
# Files are owned by root whoever builds the package.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# Debian keeps a changelog beside the copyright file, compressed
# reproducibly (no name, no time stamp in the gzip header).
execute_process(COMMAND date -R -u -d ${MORVANE_RELEASE_DATE}
  OUTPUT_VARIABLE MORVANE_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(changelog ${CMAKE_BINARY_DIR}/package-files/changelog)
configure_file(${PROJECT_SOURCE_DIR}/resources/changelog.in ${changelog} @ONLY)
execute_process(COMMAND gzip -9nf ${changelog} COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${changelog}.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/morvane)

set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
# Packaging installs what is built and builds nothing itself: the tests and
# benchmarks in "all" are not part of it (scripts/package builds the programs).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)

# The package as a distribution would check it, from the programs already
# built; everything happens in a temporary folder.
add_test(NAME package_checks
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-package ${CMAKE_BINARY_DIR} ${MORVANE_APPSTREAM_ID}.metainfo.xml)
set_tests_properties(package_checks PROPERTIES LABELS package TIMEOUT 300)
