# Debian package of the deployment tree: everything under /opt/quorvel, quorvel linked into /usr/bin.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "Quorvel developers <dev@quorvel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Source-code recognizer and OCR filter plug-ins for content inspection")
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/quorvel)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
else()
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.17), libstdc++6")
if(QUORVEL_BUILD_OCR_ENGINE)
  # libZantrel.so links Leptonica and loads Tesseract when it starts
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PACKAGE_DEPENDS}, liblept5, libtesseract5, tesseract-ocr-eng")
endif()
if(QUORVEL_LIBARCHIVE_INCLUDE AND QUORVEL_LIBARCHIVE)
  # quorvel expands archives with it
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PACKAGE_DEPENDS}, libarchive13")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/packaging/postinst;${PROJECT_SOURCE_DIR}/packaging/prerm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Installed programs and libraries lose their symbols (the toolchain's strip: aarch64-linux-gnu-strip when
# cross-building).
set(CPACK_STRIP_FILES ON)
include(CPack)
