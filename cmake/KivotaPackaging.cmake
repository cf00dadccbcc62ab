# The Debian package (cpack -G DEB in a build tree): the programs, the netsh helper and the
# desktop files of cmake --install, under /usr. Its dependencies are the shared libraries the
# binaries link, as dpkg-shlibdeps (dpkg-dev) finds them, and what the window needs without
# linking it (below). scripts/check-package installs it on a bare system and runs it there.
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
if(KIVOTA_WITH_APP)
  # The window's own texts (the agreement, the announcement, every message box) are Chinese:
  # without a CJK face they are boxes. Arial's metric twin only keeps the Latin labels' widths
  # (any face draws them), and xdg-open only serves the buttons that open the browser.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2, xdg-utils")

  # Qt loads its X11 platform plugin and that plugin's GL integrations at run time; nothing
  # links them, so dpkg-shlibdeps cannot see them. The package that ships each on the build
  # machine is a dependency unless it already ships a Qt library the programs link.
  find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Network WebEngineCore WebEngineWidgets)
  find_program(KIVOTA_DPKG_QUERY dpkg-query)
  function(kivota_owner_package target out)
    set(${out} "" PARENT_SCOPE)
    if(NOT TARGET ${target} OR NOT KIVOTA_DPKG_QUERY)
      return()
    endif()
    get_target_property(configs ${target} IMPORTED_CONFIGURATIONS)
    foreach(config ${configs})
      get_target_property(file ${target} IMPORTED_LOCATION_${config})
      if(file)
        execute_process(COMMAND ${KIVOTA_DPKG_QUERY} -S "${file}" OUTPUT_VARIABLE owner RESULT_VARIABLE rc
                        ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(rc EQUAL 0 AND owner MATCHES "^([^:, ]+)")
          set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
        endif()
        return()
      endif()
    endforeach()
  endfunction()
  set(linked_packages)
  foreach(library Core Gui Widgets Network WebEngineCore WebEngineWidgets)
    kivota_owner_package(Qt6::${library} owner)
    list(APPEND linked_packages ${owner})
  endforeach()
  set(plugin_packages)
  foreach(plugin QXcbIntegrationPlugin QXcbGlxIntegrationPlugin QXcbEglIntegrationPlugin)
    # Each plugin has a package configuration of its own beside Qt6Gui's.
    find_package(Qt6${plugin} CONFIG QUIET HINTS "${Qt6Gui_DIR}")
    kivota_owner_package(Qt6::${plugin} owner)
    if(owner AND NOT owner IN_LIST linked_packages AND NOT owner IN_LIST plugin_packages)
      list(APPEND plugin_packages ${owner})
    endif()
  endforeach()
  if(NOT TARGET Qt6::QXcbIntegrationPlugin)
    message(WARNING "Qt's X11 platform plugin is not installed: the package cannot name the package that ships it")
  endif()
  foreach(owner ${plugin_packages})
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${owner}")
  endforeach()
  message(STATUS "package: Depends ${CPACK_DEBIAN_PACKAGE_DEPENDS} and what the programs link")
endif()
include(CPack)
