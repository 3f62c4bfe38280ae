# The Debian package, gaspuff_<version>_<arch>.deb: `cpack -G DEB` in a Release
# build (scripts/package-check builds it and installs it on a fresh Debian 12
# root). What goes in is said by each program's own install rules; this file
# only describes the package.
set(GASPUFF_PACKAGE_MAINTAINER "gaspuff maintainers <maintainers@gaspuff.example>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME gaspuff)
set(CPACK_PACKAGE_VENDOR "gaspuff maintainers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "operator's front panel for a gas-puff valve controller")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "gaspuff-panel is the operator's front panel for a gas-puff valve controller
on a serial line: it sends the controller its commands, shows its state, uptime
and messages, and lets the operator build the 1000-point valve waveform, plot
it, save and load it, send it to the controller and read it back.
.
gaspuff-sim simulates the controller behind a pseudo-terminal, to try the
panel (or a script) without hardware, and can play faults for dry runs.
.
gaspuff-ctl speaks the controller's protocol from the command line, for
scripts.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${GASPUFF_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt libraries (and libc, libstdc++) the programs link, with their
# versions, come from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What no linked library says: the window is laid out for Arial's metrics,
# which Liberation Sans has; without it the captions fall back to a wider
# face and may be cut off.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2")

include(CPack)
