#!/usr/bin/env bash
# The host binds libPellory.so's names, and the plug-in binds libZantrel.so's: each library exports
# exactly these symbols, with these signatures, soname, needed libraries and run-time search path.
# Usage: check_ocr_libraries.sh pellory|zantrel <library>
set -euo pipefail
kind=$1
lib=$2
problems=0
problem() { echo "$*"; problems=$((problems + 1)); }
dynamic() { readelf -d "$lib" | sed -n "s/.*$1: \[\(.*\)\]/\1/p"; }

# Compares the defined dynamic symbols (demangled, one per line) with the arguments.
exports_exactly() {
  local have want
  # AddressSanitizer adds its own __odr_asan.* indicators beside every exported global.
  have=$(nm -DC --defined-only "$lib" | cut -d' ' -f3- | grep -v "^__odr_asan\." | sort)
  want=$(printf '%s\n' "$@" | sort)
  if [[ "$have" != "$want" ]]; then
    problem "$(basename "$lib") exports differ (< exported, > expected):"
    diff <(echo "$have") <(echo "$want") || true
  fi
}

S='std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >'
case $kind in
  pellory)
    exports_exactly Init Release GetType Parse \
      g_LogHandle OCRInstance m_fp_ZantrelInit m_fp_ZantrelRelease m_fp_ZantrelParse \
      "LoadLib($S const&)" "GetLibFun(void*, char const*)" "GetLastErr[abi:cxx11]()" \
      "GetDllVer($S const&, $S&)" "FreeLib(void*)" \
      "getSysVer($S&, $S&)" "checkAndGetSysVer($S&, $S&)" "checkSysVer()" "compareVersion($S, $S)" \
      "GetCurTime[abi:cxx11]()"
    plain=$(nm -D --defined-only "$lib")
    for entry in Init Release GetType Parse; do
      grep -qE " T $entry\$" <<<"$plain" || problem "entry point $entry is not a plain function name"
    done
    for global in g_LogHandle OCRInstance m_fp_ZantrelInit m_fp_ZantrelRelease m_fp_ZantrelParse; do
      grep -qE " [BD] $global\$" <<<"$plain" || problem "global $global is not an exported data symbol"
    done
    [[ $(dynamic 'Library soname') == libPellory.so ]] || problem "soname is not libPellory.so"
    runpath=$(dynamic 'Library r[a-z]*path')
    [[ $runpath == ".:./libs_x64/:../:../lib/" ]] || problem "run-time search path is '$runpath'"
    grep -qx libMorvik.so <<<"$(dynamic 'Shared library')" || problem "libMorvik.so is not a needed library"
    ;;
  zantrel)
    exports_exactly ZantrelInit ZantrelParse ZantrelRelease
    [[ $(dynamic 'Library soname') == libZantrel.so ]] || problem "soname is not libZantrel.so"
    grep -qx libMorvik.so <<<"$(dynamic 'Shared library')" || problem "libMorvik.so is not a needed library"
    if grep -q tesseract <<<"$(dynamic 'Shared library')"; then
      problem "links Tesseract: OpenMP would be loaded before ZantrelInit sets OMP_THREAD_LIMIT"
    fi
    ;;
  *)
    echo "usage: $0 pellory|zantrel <library>" >&2
    exit 2
    ;;
esac
echo "$(basename "$lib"): $problems problem(s)"
[[ $problems -eq 0 ]]
