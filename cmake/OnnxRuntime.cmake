# ONNX Runtime as the imported target onnxruntime::onnxruntime: headers and libonnxruntime.so.1
# as scripts/fetch_onnxruntime.sh lays them out (lib/<x64|arm64>/, include/).
set(ONNXRUNTIME_ROOT "${PROJECT_SOURCE_DIR}/.cache/onnxruntime-1.21.0" CACHE PATH "ONNX Runtime folder")
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
  set(_ort_arch_default arm64)
else()
  set(_ort_arch_default x64)
endif()
set(ONNXRUNTIME_ARCH "${_ort_arch_default}" CACHE STRING "ONNX Runtime library flavour: x64 or arm64")

set(ONNXRUNTIME_LIBRARY "${ONNXRUNTIME_ROOT}/lib/${ONNXRUNTIME_ARCH}/libonnxruntime.so.1")
set(ONNXRUNTIME_INCLUDE_DIR "${ONNXRUNTIME_ROOT}/include")
if(NOT EXISTS "${ONNXRUNTIME_LIBRARY}" OR NOT EXISTS "${ONNXRUNTIME_INCLUDE_DIR}/onnxruntime_cxx_api.h")
  message(FATAL_ERROR "ONNX Runtime not found under ${ONNXRUNTIME_ROOT}: run scripts/fetch_onnxruntime.sh")
endif()

add_library(onnxruntime::onnxruntime SHARED IMPORTED GLOBAL)
set_target_properties(onnxruntime::onnxruntime PROPERTIES
  IMPORTED_LOCATION "${ONNXRUNTIME_LIBRARY}"
  IMPORTED_SONAME "libonnxruntime.so.1"
  INTERFACE_INCLUDE_DIRECTORIES "${ONNXRUNTIME_INCLUDE_DIR}")
