# Installs a build tree into a fresh staging prefix and checks what a desktop gets: the
# programs, the private netsh helper, the desktop entry, the icons and the metainfo (validated
# with desktop-file-validate and appstreamcli), and that the installed programs run. With the
# lab up (KIVOTA_LAB set, as scripts/test does) the installed programs run against it: the window under Xvfb in the automatic
# mode, the terminal client through a whole reported run, which must have found the helper.
#   cmake -DBUILD_DIR=.. -DSTAGE=.. -DBINDIR=bin -DLIBEXECDIR=libexec -DDATADIR=share
#         -DWITH_APP=ON|OFF -P check_staging_install.cmake
set(LAB OFF)
if(DEFINED ENV{KIVOTA_LAB})
  set(LAB ON)
endif()
set(LAB_STATE /tmp/kivota-lab)
if(DEFINED ENV{KIVOTA_LAB_STATE})
  set(LAB_STATE "$ENV{KIVOTA_LAB_STATE}")
endif()
function(fail what)
  message(FATAL_ERROR "staging install: ${what}")
endfunction()

file(REMOVE_RECURSE "${STAGE}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${STAGE}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE installed ERROR_VARIABLE installed)
if(NOT rc EQUAL 0)
  fail("cmake --install failed:\n${installed}")
endif()

set(app_id net.vantrel.kivota)
set(expected "${BINDIR}/kivota-cli" "${LIBEXECDIR}/kivota/netsh" "${DATADIR}/man/man1/kivota-cli.1.gz")
if(WITH_APP)
  list(APPEND expected "${BINDIR}/kivota" "${DATADIR}/applications/${app_id}.desktop"
       "${DATADIR}/metainfo/${app_id}.metainfo.xml")
  foreach(size 48 128 256)
    list(APPEND expected "${DATADIR}/icons/hicolor/${size}x${size}/apps/${app_id}.png")
  endforeach()
endif()
foreach(file ${expected})
  if(NOT EXISTS "${STAGE}/${file}")
    fail("${file} was not installed")
  endif()
  message(STATUS "installed ${file}")
endforeach()
# netsh is a private helper, not a command on PATH.
if(EXISTS "${STAGE}/${BINDIR}/netsh")
  fail("netsh landed in ${BINDIR}")
endif()

if(WITH_APP)
  find_program(desktop_validate desktop-file-validate)
  find_program(appstreamcli appstreamcli)
  if(NOT desktop_validate OR NOT appstreamcli)
    fail("desktop-file-validate or appstreamcli is missing (scripts/setup installs them)")
  endif()
  execute_process(COMMAND ${desktop_validate} "${STAGE}/${DATADIR}/applications/${app_id}.desktop"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    fail("desktop entry invalid: ${out}")
  endif()
  execute_process(COMMAND ${appstreamcli} validate --no-net --pedantic "${STAGE}/${DATADIR}/metainfo/${app_id}.metainfo.xml"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    fail("metainfo invalid: ${out}")
  endif()
endif()

# The installed programs run, and the helper answers its command line.
execute_process(COMMAND "${STAGE}/${BINDIR}/kivota-cli" --help RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "usage: kivota-cli")
  fail("installed kivota-cli --help: ${rc}")
endif()
execute_process(COMMAND "${STAGE}/${LIBEXECDIR}/kivota/netsh" int tcp show global RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "TCP Global Parameters")
  fail("installed netsh: ${rc} ${out}")
endif()

if(NOT LAB)
  message(STATUS "staging install in ${STAGE}: complete (the lab is not up: the installed programs were not run against it)")
  return()
endif()

set(run_dir "${STAGE}-run")
file(REMOVE_RECURSE "${run_dir}")
file(MAKE_DIRECTORY "${run_dir}")
# The runs' history goes into the run's own folder, not the user's.
set(ENV{XDG_DATA_HOME} "${run_dir}/data")
# The operator's configuration with short phases: these runs prove the installed programs work,
# the lab tests measure the rates.
file(WRITE "${LAB_STATE}/scenario" "testparam.dl_duration 4\ntestparam.ul_duration 4\n")

# The terminal client: a whole run, reported.
execute_process(COMMAND "${STAGE}/${BINDIR}/kivota-cli" --agree --json WORKING_DIRECTORY "${run_dir}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE json ERROR_VARIABLE err TIMEOUT 180)
message(STATUS "installed kivota-cli --agree --json: status ${rc}\n${json}${err}")
if(NOT rc EQUAL 0)
  fail("installed kivota-cli ended with ${rc}")
endif()
if(NOT json MATCHES "report\\?id=([0-9]+)")
  fail("no result page in ${json}")
endif()
set(result "${LAB_STATE}/results/${CMAKE_MATCH_1}.txt")
file(STRINGS "${result}" net_parameter REGEX "^field User_net_parameter ")
message(STATUS "stored ${net_parameter}")
# Seven netsh codes close the field; all -1 (or none) when the helper was not found.
if(NOT net_parameter MATCHES ",[0-9],[0-9],[0-9],[0-9],[0-9],[0-9],[0-9]$")
  fail("the installed client did not find its netsh helper: ${net_parameter}")
endif()

# The window under Xvfb: the automatic mode needs no one at the buttons and ends by itself.
if(WITH_APP)
  file(WRITE "${run_dir}/KivotaAuto.ini"
       "AutoTest Y\nTesttype jMOVA\nFtpServer 198.18.0.2\nFtpUser ftp\nFtpPassword stage\n"
       "UploadPath /uploads\nDownloadFile test_2048m.zip\nTestSec 5,5\nSession 4,4\n")
  set(ENV{QTWEBENGINE_DISABLE_SANDBOX} 1)
  execute_process(COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" "${STAGE}/${BINDIR}/kivota"
                  WORKING_DIRECTORY "${run_dir}" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out
                  TIMEOUT 180)
  if(NOT rc EQUAL 0)
    fail("installed kivota under Xvfb ended with ${rc}: ${out}")
  endif()
  if(NOT EXISTS "${run_dir}/KivotaResult.txt")
    fail("installed kivota wrote no result line: ${out}")
  endif()
  file(STRINGS "${run_dir}/KivotaResult.txt" line)
  message(STATUS "installed kivota, automatic mode, result line: ${line}")
  if(NOT line MATCHES "DL_FTP_speed=[1-9][0-9]*\\.[0-9][0-9]&.*error_code=14$")
    fail("the result line of the installed window is not a measured one")
  endif()
endif()
if(NOT EXISTS "${run_dir}/data/kivota/history.db")
  fail("the installed programs recorded no history in ${run_dir}/data/kivota")
endif()
file(REMOVE "${LAB_STATE}/scenario")
file(REMOVE_RECURSE "${run_dir}")
file(REMOVE_RECURSE "${STAGE}")
message(STATUS "staging install: the installed programs ran against the lab")
