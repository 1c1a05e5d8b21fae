# The Debian package. Library dependencies are computed by dpkg-shlibdeps from
# what the program links; only what no tool can see is listed by hand: the
# SoundFont the built-in synthesizer plays, and the fixed-pitch font.
# scripts/package-test builds it and holds it to lintian.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelmora-switches)
set(CPACK_PACKAGE_VENDOR "Quorvane")
set(CPACK_PACKAGE_CONTACT "The Quorvane team <team@quorvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "MIDI control surface with 36 switches played from the computer keyboard")
# One string: a CMake list would put its ";" at the start of the control file's lines.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Zelmora! Switches Module lays 36 switches out like the rows 1-9, Q-O, A-L\n"
  "and Z-period of a computer keyboard. Holding a switch, by its key or a mouse\n"
  "button, plays its note on the chosen MIDI output (ALSA, JACK or the built-in\n"
  "General MIDI synthesizer), channel and velocity. The switches' labels are\n"
  "saved to labels files, which open the program from the file manager.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.quorvane.example")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fluid-soundfont-gm | musescore-general-soundfont | timgm6mb-soundfont, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "jackd2 | pulseaudio | pipewire-pulse")
# Debian ships stripped programs; the debug information stays in the build tree.
set(CPACK_STRIP_FILES ON)

# What Debian asks of every package besides the program: the copyright file,
# the changelog and a manual page, compressed as dh_compress would.
set(debian_dir ${CMAKE_BINARY_DIR}/packaging)
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^zelmora-switches \\(${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}\\) ")
  message(FATAL_ERROR "packaging/changelog has no entry for ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE} on top")
endif()
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog ${debian_dir}/changelog.Debian COPYONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/zelmora-switches.1.in ${debian_dir}/zelmora-switches.1 @ONLY)
find_program(GZIP gzip REQUIRED)
add_custom_command(
  OUTPUT ${debian_dir}/changelog.Debian.gz ${debian_dir}/zelmora-switches.1.gz
  COMMAND ${GZIP} -9nkf changelog.Debian zelmora-switches.1
  WORKING_DIRECTORY ${debian_dir}
  DEPENDS ${debian_dir}/changelog.Debian ${debian_dir}/zelmora-switches.1)
add_custom_target(debian_docs ALL DEPENDS ${debian_dir}/changelog.Debian.gz ${debian_dir}/zelmora-switches.1.gz)
install(FILES ${debian_dir}/zelmora-switches.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${debian_dir}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zelmora-switches)
# Each override says why in the file.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME zelmora-switches)

include(CPack)
