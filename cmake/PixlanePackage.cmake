# The Debian package: `cpack -G DEB` in a build folder configured with the install prefix
# /usr (scripts/package.sh does all of it). It holds what the install rules install, with
# the binaries stripped and the dependencies worked out from them by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pixlane)
set(CPACK_PACKAGE_VENDOR Kelvorn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${PIXLANE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fetch still images from a remote camera grabber module")
set(CPACK_PACKAGE_DESCRIPTION
    "Pixlane fetches still images from a camera grabber module with up to eight
cameras, over an RS-232 line by cable or through a Hayes modem that it dials.
Each picture builds up line by line in the window as it arrives and can be
saved as a BMP file. It also queries the module's status, software version
and time stamp, resets it and selects the camera channel. For sites that
nobody watches, pixlane-cli capture dials in every few minutes, keeps each
picture under a time-stamped name and records it in a journal, run by cron
or a systemd timer (examples in /usr/share/doc/pixlane/examples).

The package holds the window (pixlane), its command-line twin for scripts
(pixlane-cli) and a simulated module on a pseudo-terminal (pixlane-sim), so
that everything can be tried without hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PIXLANE_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
