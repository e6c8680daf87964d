# The runnable installation folder. The build lays it out in build/dist/ and `cmake --install`
# lays out the same under the prefix (install component "program"):
#   TOLBANE_Updater                 the launcher
#   STARTUP/vornupdater             the program (its folder is the program folder)
#   STARTUP/TOLBANE_Updater.exe     the program again, under the name the launcher starts
#   STARTUP/libzipbridge.so         the archive component
#   STARTUP/libssl32.dll, zipbridge.dll, libeay32.dll, libcurl.dll
#                                   the four names the launcher checks, as links to the
#                                   libraries that play those parts: libssl, the archive
#                                   component, libcrypto and libcurl
#   STARTUP/openssl/                "openssl.exe", "libeay32.dll", "ssleay32.dll": the names the
#                                   start-up check looks for, as links to the system's openssl
#                                   tool, libcrypto and libssl
#   STARTUP/arm_bin, bin, ...       helper-script folders
# Areas with helper-script folders append "source-folder|folder-under-STARTUP" pairs to the
# global property VORN_DIST_FOLDERS before this file is included.

# System libraries are linked by their stable soname file, which survives library updates.
find_program(VORN_OPENSSL_TOOL openssl REQUIRED)
find_library(VORN_LIBCRYPTO NAMES libcrypto.so.3 crypto REQUIRED)
find_library(VORN_LIBSSL NAMES libssl.so.3 ssl REQUIRED)
find_library(VORN_LIBCURL NAMES libcurl.so.4 curl REQUIRED)
file(REAL_PATH ${VORN_OPENSSL_TOOL} _vorn_openssl_tool)

# "link name|target" pairs, link names relative to STARTUP. Targets inside the folder are
# relative, so the folder can be moved or copied.
set(VORN_DIST_LINKS
  "openssl/openssl.exe|${_vorn_openssl_tool}"
  "openssl/libeay32.dll|${VORN_LIBCRYPTO}"
  "openssl/ssleay32.dll|${VORN_LIBSSL}"
  "TOLBANE_Updater.exe|vornupdater"
  "libssl32.dll|${VORN_LIBSSL}"
  "zipbridge.dll|libzipbridge.so"
  "libeay32.dll|${VORN_LIBCRYPTO}"
  "libcurl.dll|${VORN_LIBCURL}")

# Build tree: links made at configure time.
file(MAKE_DIRECTORY ${VORN_STARTUP_DIR}/openssl)
foreach(pair ${VORN_DIST_LINKS})
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 target)
  file(CREATE_LINK ${target} ${VORN_STARTUP_DIR}/${name} SYMBOLIC)
endforeach()

# Install tree.
install(TARGETS TOLBANE_Updater RUNTIME DESTINATION . COMPONENT program)
install(TARGETS vornupdater RUNTIME DESTINATION STARTUP COMPONENT program)
install(TARGETS zipbridge LIBRARY DESTINATION STARTUP COMPONENT program
  RUNTIME DESTINATION STARTUP COMPONENT program)
get_property(_vorn_dist_folders GLOBAL PROPERTY VORN_DIST_FOLDERS)
foreach(pair ${_vorn_dist_folders})
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 src)
  list(GET pair 1 dest)
  install(DIRECTORY ${src}/ DESTINATION STARTUP/${dest} COMPONENT program)
endforeach()
install(DIRECTORY DESTINATION STARTUP/openssl COMPONENT program)
foreach(pair ${VORN_DIST_LINKS})
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 target)
  install(CODE "file(CREATE_LINK \"${target}\"
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/STARTUP/${name}\" SYMBOLIC)" COMPONENT program)
endforeach()
