# The Debian package (make deb): whatever the install rules put under the
# prefix, stripped, with the run-time dependencies dpkg-shlibdeps finds in
# the binaries. The package's file name is zelvar_<version>_<arch>.deb.
# Built where scripts/install-deps.sh installed what the build needs,
# qt6-svg-dev included, so that the package has the signal history window.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelvar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Kavren)
set(CPACK_PACKAGE_CONTACT "Zelvar developers <zelvar@kavren.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Monitor and decoder for DMR radio traffic")
set(CPACK_PACKAGE_DESCRIPTION
  "Zelvar receives one UDP datagram per observed radio package from up to four
networked transceivers, decodes each into a text log and a hex log, shows
one S-meter per transceiver, tags signal reports with the own position from
a serial NMEA GPS receiver and auto-saves both logs. Saved hex logs can be
decoded again, in the window or with zelvar-decode on the command line, and
edited in the log editor or with zelvar-edit; zelvar-coverage turns the
signal reports with own position into KML, GPX, GeoJSON or CSV coverage
maps, and zelvar-collect stores their packages in a PostgreSQL table that
several stations fill, which zelvar-web serves read-only as a web page and
JSON. zelvar-sim plays transceivers on the loopback interface and
zelvar-gps-sim a GPS receiver on a pseudo-terminal, for trying it out.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# zelvar-web's page serves Chart.js and Leaflet from where Debian installs them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libjs-chart.js, libjs-leaflet")
# The log views look for Liberation Mono where Courier New is missing.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-liberation)
include(CPack)
