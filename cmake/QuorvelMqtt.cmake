# The MQTT client as the target quorvel_mosquitto (Windows tree only): the
# client library of Debian's mosquitto sources with TLS, and the OpenSSL it
# uses, static mingw-w64 builds that scripts/build-openssl.sh and
# scripts/build-libmosquitto.sh install outside the repository, so that
# Quorvel.exe needs no DLL of theirs. Users of the header need
# LIBMOSQUITTO_STATIC, which the target gives them.
include_guard(GLOBAL)

if(WIN32)
  set(QUORVEL_OPENSSL_ROOT /opt/quorvel-deps/openssl-mingw64 CACHE PATH
    "Static OpenSSL for the Windows target (made by scripts/build-openssl.sh)")
  set(QUORVEL_MOSQUITTO_ROOT /opt/quorvel-deps/libmosquitto-mingw64 CACHE PATH
    "Static MQTT client library for the Windows target (made by scripts/build-libmosquitto.sh)")
  foreach(file IN ITEMS ${QUORVEL_OPENSSL_ROOT}/lib/libssl.a ${QUORVEL_OPENSSL_ROOT}/lib/libcrypto.a
      ${QUORVEL_MOSQUITTO_ROOT}/lib/libmosquitto_static.a
      ${QUORVEL_MOSQUITTO_ROOT}/include/mosquitto.h)
    if(NOT EXISTS ${file})
      message(FATAL_ERROR "No ${file} for the Windows target (QUORVEL_OPENSSL_ROOT, "
        "QUORVEL_MOSQUITTO_ROOT): run scripts/install-deps.sh, which builds OpenSSL and the "
        "MQTT client library there")
    endif()
  endforeach()
  add_library(quorvel_mosquitto STATIC IMPORTED GLOBAL)
  # Link order: the client, then OpenSSL, then the system libraries they
  # call beyond the toolchain's defaults (sockets, the certificate store).
  set_target_properties(quorvel_mosquitto PROPERTIES
    IMPORTED_LOCATION ${QUORVEL_MOSQUITTO_ROOT}/lib/libmosquitto_static.a
    INTERFACE_INCLUDE_DIRECTORIES ${QUORVEL_MOSQUITTO_ROOT}/include
    INTERFACE_COMPILE_DEFINITIONS LIBMOSQUITTO_STATIC
    INTERFACE_LINK_LIBRARIES "${QUORVEL_OPENSSL_ROOT}/lib/libssl.a;${QUORVEL_OPENSSL_ROOT}/lib/libcrypto.a;ws2_32;crypt32")
endif()
