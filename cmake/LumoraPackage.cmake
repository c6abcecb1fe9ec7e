# cpack -G DEB from the build folder: one Debian package of the installed tree below /usr, with
# its library dependencies found by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME lumoracalibration)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Lumora")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Robot calibration plug-in with its host, a simulated cell and reference tools")
set(CPACK_PACKAGE_DESCRIPTION
    "The operator host tavrin-host with the calibration plug-in: DH parameter identification, \
review and apply to the controller with an audit trail, and an ISO 9283 pose accuracy and \
repeatability test with PDF reports. Includes a simulated calibration cell and controller.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Lumora calibration team")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The page's captions are Chinese; Qt's offscreen and X11 platforms come with libqt5gui5.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei | fonts-noto-cjk")
include(CPack)
