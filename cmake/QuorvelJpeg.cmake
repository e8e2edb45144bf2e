# The JPEG library as the target quorvel_jpeg. The native tree uses
# Debian's (libjpeg62-turbo-dev); the Windows tree links the static mingw-w64
# build that scripts/build-libjpeg.sh installs outside the repository, so
# that Quorvel.exe needs no JPEG DLL.
include_guard(GLOBAL)

if(WIN32)
  set(QUORVEL_JPEG_ROOT /opt/quorvel-deps/libjpeg-turbo-mingw64 CACHE PATH
    "Static JPEG library for the Windows target (made by scripts/build-libjpeg.sh)")
  if(NOT EXISTS ${QUORVEL_JPEG_ROOT}/lib/libjpeg.a OR NOT EXISTS ${QUORVEL_JPEG_ROOT}/include/jpeglib.h)
    message(FATAL_ERROR "No static JPEG library for the Windows target in QUORVEL_JPEG_ROOT "
      "(${QUORVEL_JPEG_ROOT}): run scripts/install-deps.sh, which builds it there")
  endif()
  add_library(quorvel_jpeg STATIC IMPORTED GLOBAL)
  set_target_properties(quorvel_jpeg PROPERTIES
    IMPORTED_LOCATION ${QUORVEL_JPEG_ROOT}/lib/libjpeg.a
    INTERFACE_INCLUDE_DIRECTORIES ${QUORVEL_JPEG_ROOT}/include)
else()
  find_package(JPEG REQUIRED)
  # Seen from every directory, not only from the one that found it.
  set_target_properties(JPEG::JPEG PROPERTIES IMPORTED_GLOBAL TRUE)
  add_library(quorvel_jpeg INTERFACE)
  target_link_libraries(quorvel_jpeg INTERFACE JPEG::JPEG)
endif()
