# The Debian package (cpack -G DEB in a build tree): the programs, the netsh helper and the
# desktop files of cmake --install, under /usr. Its dependencies are the shared libraries the
# binaries link, as dpkg-shlibdeps (dpkg-dev) finds them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kivota)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vantrel")
set(CPACK_PACKAGE_CONTACT "Vantrel speed test <speedtest@vantrel.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "broadband speed test of the Vantrel access service")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Measures the round trip to the operator and the download and upload speeds of the line with\n"
    "parallel FTP transfers, compares them with the network adapter's counters and reports the\n"
    "result to the operator. Includes the window (kivota) and the terminal client (kivota-cli).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's texts need the CJK font and Arial's metric twin; they are not libraries.
if(KIVOTA_WITH_APP)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, fonts-liberation2, xdg-utils")
endif()
include(CPack)
