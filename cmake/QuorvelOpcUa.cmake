# The OPC UA library as the target quorvel_open62541 (Windows tree only):
# Debian's open62541 with encryption through the OpenSSL of the MQTT link,
# static mingw-w64 builds that scripts/build-open62541.sh and
# scripts/build-openssl.sh install outside the repository. Where it is
# missing (its source could not be had) the program is built without its
# OPC UA server: QUORVEL_HAVE_OPCUA tells which, in both trees (the native
# one registers the server's tests only then). Included by every folder
# that asks.
set(QUORVEL_OPENSSL_ROOT /opt/quorvel-deps/openssl-mingw64 CACHE PATH
  "Static OpenSSL for the Windows target (made by scripts/build-openssl.sh)")
set(QUORVEL_OPEN62541_ROOT /opt/quorvel-deps/open62541-mingw64 CACHE PATH
  "Static OPC UA library for the Windows target (made by scripts/build-open62541.sh)")
if(EXISTS ${QUORVEL_OPEN62541_ROOT}/lib/libopen62541.a)
  set(QUORVEL_HAVE_OPCUA ON)
else()
  set(QUORVEL_HAVE_OPCUA OFF)
  message(STATUS "No ${QUORVEL_OPEN62541_ROOT}/lib/libopen62541.a: Quorvel.exe is built "
    "without its OPC UA server (scripts/build-open62541.sh makes the library)")
endif()
if(WIN32 AND QUORVEL_HAVE_OPCUA AND NOT TARGET quorvel_open62541)
  add_library(quorvel_open62541 STATIC IMPORTED GLOBAL)
  set_target_properties(quorvel_open62541 PROPERTIES
    IMPORTED_LOCATION ${QUORVEL_OPEN62541_ROOT}/lib/libopen62541.a
    INTERFACE_INCLUDE_DIRECTORIES "${QUORVEL_OPEN62541_ROOT}/include;${QUORVEL_OPENSSL_ROOT}/include"
    INTERFACE_LINK_LIBRARIES "${QUORVEL_OPENSSL_ROOT}/lib/libssl.a;${QUORVEL_OPENSSL_ROOT}/lib/libcrypto.a;ws2_32;iphlpapi;crypt32")
endif()
