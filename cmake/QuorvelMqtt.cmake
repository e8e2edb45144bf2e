# The MQTT client as the target quorvel_paho (Windows tree only): the
# asynchronous Paho MQTT C client with SSL and the OpenSSL it uses, all three
# static mingw-w64 builds that scripts/build-openssl.sh and
# scripts/build-paho.sh install outside the repository, so that Quorvel.exe
# needs no DLL of theirs. The headers need no define: PAHO_MQTT_STATIC
# matters only when the library itself is compiled.
include_guard(GLOBAL)

if(WIN32)
  set(QUORVEL_OPENSSL_ROOT /opt/quorvel-deps/openssl-mingw64 CACHE PATH
    "Static OpenSSL for the Windows target (made by scripts/build-openssl.sh)")
  set(QUORVEL_PAHO_ROOT /opt/quorvel-deps/paho-mqtt-mingw64 CACHE PATH
    "Static Paho MQTT C for the Windows target (made by scripts/build-paho.sh)")
  foreach(file IN ITEMS ${QUORVEL_OPENSSL_ROOT}/lib/libssl.a ${QUORVEL_OPENSSL_ROOT}/lib/libcrypto.a
      ${QUORVEL_OPENSSL_ROOT}/include/openssl/ssl.h
      ${QUORVEL_PAHO_ROOT}/lib/libpaho-mqtt3as.a ${QUORVEL_PAHO_ROOT}/include/MQTTAsync.h)
    if(NOT EXISTS ${file})
      message(FATAL_ERROR "No ${file} for the Windows target (QUORVEL_OPENSSL_ROOT, "
        "QUORVEL_PAHO_ROOT): run scripts/install-deps.sh, which builds OpenSSL and Paho there")
    endif()
  endforeach()
  add_library(quorvel_paho STATIC IMPORTED GLOBAL)
  # Link order: Paho, then OpenSSL, then the system libraries they call
  # beyond the toolchain's defaults (sockets, the certificate store, UUIDs).
  set_target_properties(quorvel_paho PROPERTIES
    IMPORTED_LOCATION ${QUORVEL_PAHO_ROOT}/lib/libpaho-mqtt3as.a
    INTERFACE_INCLUDE_DIRECTORIES "${QUORVEL_PAHO_ROOT}/include;${QUORVEL_OPENSSL_ROOT}/include"
    INTERFACE_LINK_LIBRARIES "${QUORVEL_OPENSSL_ROOT}/lib/libssl.a;${QUORVEL_OPENSSL_ROOT}/lib/libcrypto.a;ws2_32;crypt32;rpcrt4")
endif()
