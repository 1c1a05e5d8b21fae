# The Debian package. Library dependencies are computed by dpkg-shlibdeps from
# what the program links; only what no tool can see is listed by hand: the
# SoundFont the built-in synthesizer plays, and the fixed-pitch font.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelmora-switches)
set(CPACK_PACKAGE_VENDOR "Quorvane")
set(CPACK_PACKAGE_CONTACT "The Quorvane team <team@quorvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "MIDI control surface with 36 switches played from the computer keyboard")
set(CPACK_PACKAGE_DESCRIPTION
  "Zelmora! Switches Module lays 36 switches out like the rows 1-9, Q-O, A-L\n"
  "and Z-period of a computer keyboard. Holding a switch, by its key or a mouse\n"
  "button, plays its note on the chosen MIDI output (ALSA, JACK or the built-in\n"
  "General MIDI synthesizer), channel and velocity.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.quorvane.example")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fluid-soundfont-gm | musescore-general-soundfont | timgm6mb-soundfont, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "jackd2 | pulseaudio | pipewire-pulse")
include(CPack)
