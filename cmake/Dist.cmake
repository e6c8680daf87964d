# The runnable installation folder. The build lays it out in build/dist/ and `cmake --install`
# lays out the same under the prefix:
#   STARTUP/vornupdater          the program (its folder is the program folder)
#   STARTUP/openssl/             "openssl.exe", "libeay32.dll", "ssleay32.dll": the names the
#                                start-up check looks for, as links to the system's openssl
#                                tool, libcrypto and libssl
#   STARTUP/<archive component>  once the zipbridge target exists
# Areas with helper-script folders append "source-folder|folder-under-STARTUP" pairs to the
# global property VORN_DIST_FOLDERS before this file is included.

find_program(VORN_OPENSSL_TOOL openssl REQUIRED)
find_library(VORN_LIBCRYPTO NAMES libcrypto.so.3 crypto REQUIRED)
find_library(VORN_LIBSSL NAMES libssl.so.3 ssl REQUIRED)
file(REAL_PATH ${VORN_OPENSSL_TOOL} _vorn_openssl_tool)
file(REAL_PATH ${VORN_LIBCRYPTO} _vorn_libcrypto)
file(REAL_PATH ${VORN_LIBSSL} _vorn_libssl)
set(VORN_OPENSSL_LINKS
  "openssl.exe|${_vorn_openssl_tool}"
  "libeay32.dll|${_vorn_libcrypto}"
  "ssleay32.dll|${_vorn_libssl}")

# Build tree: links made at configure time.
file(MAKE_DIRECTORY ${VORN_STARTUP_DIR}/openssl)
foreach(pair ${VORN_OPENSSL_LINKS})
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 target)
  file(CREATE_LINK ${target} ${VORN_STARTUP_DIR}/openssl/${name} SYMBOLIC)
endforeach()

# Install tree.
install(TARGETS vornupdater RUNTIME DESTINATION STARTUP)
if(TARGET zipbridge)
  install(TARGETS zipbridge LIBRARY DESTINATION STARTUP RUNTIME DESTINATION STARTUP)
endif()
get_property(_vorn_dist_folders GLOBAL PROPERTY VORN_DIST_FOLDERS)
foreach(pair ${_vorn_dist_folders})
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 src)
  list(GET pair 1 dest)
  install(DIRECTORY ${src}/ DESTINATION STARTUP/${dest})
endforeach()
install(DIRECTORY DESTINATION STARTUP/openssl)
foreach(pair ${VORN_OPENSSL_LINKS})
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 target)
  install(CODE "file(CREATE_LINK \"${target}\"
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/STARTUP/openssl/${name}\" SYMBOLIC)")
endforeach()
