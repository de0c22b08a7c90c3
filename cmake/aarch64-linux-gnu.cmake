# Cross build for 64-bit ARM Linux with Debian's g++-aarch64-linux-gnu. Test programs run through
# qemu-aarch64-static with the target's system libraries (binfmt need not be set up).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Leptonica for arm64 and the libraries it links, with Tesseract's headers, as
# scripts/fetch_arm64_sysroot.sh lays them out; the C library comes from the toolchain's own folder.
if(NOT QUORVEL_ARM64_SYSROOT)
  get_filename_component(QUORVEL_ARM64_SYSROOT "${CMAKE_CURRENT_LIST_DIR}/../.cache/sysroot-arm64" ABSOLUTE)
endif()
# The compiler checks read this file again, and what it sets in the environment stays for the project.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORVEL_ARM64_SYSROOT)
set(_arm64_libdir "${QUORVEL_ARM64_SYSROOT}/usr/lib/aarch64-linux-gnu")

set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu "${QUORVEL_ARM64_SYSROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads the arm64 .pc files only, never the host's, and puts the folder before their paths.
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_LIBDIR} "${_arm64_libdir}/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${QUORVEL_ARM64_SYSROOT}")

# The linker finds the libraries Leptonica needs in turn, and so does the loader under qemu.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-Wl,-rpath-link,${_arm64_libdir}")
endforeach()
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L /usr/aarch64-linux-gnu -E "LD_LIBRARY_PATH=${_arm64_libdir}")
