#!/usr/bin/env bash
# Hosts and tools link against these decorated names of libQuorvel.so: each must be a defined,
# exported symbol with exactly this signature.
set -euo pipefail
lib=$1
exported=$(nm -DC --defined-only "$lib" | cut -d' ' -f3-)
S='std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >'
W='std::__cxx11::basic_string<wchar_t, std::char_traits<wchar_t>, std::allocator<wchar_t> >'
VS="std::vector<$S, std::allocator<$S > >"
VF='std::vector<float, std::allocator<float> >'
expected=(
  "GetQuorvelVersion" "QuorvelInit" "QuorvelParse" "QuorvelRelease" "g_coderec"
  "SCRNet::SCRNet()" "SCRNet::initModel($S const&, $S const&)" "SCRNet::Release()"
  "SCRNet::pre_process($S const&, $VF*)" "SCRNet::SCRParse($S const&, $VF*)"
  "exists_test($S const&)" "abs_path($S)" "txt_to_vectorstring($VS*, $S const&)" "strToWstr($S const&)"
  "_SCRParse($S, $VF&)"
  "get_batch_string($S*, int const&, int const&, int*, int*, $VS*)" "get_random_int(int, int)"
  "softmax($VF)" "std::vector<unsigned long, std::allocator<unsigned long> > sort_indexes<float>($VF const&)"
  "SetHighestNToOne($VF&, int)"
  "SCR::getStrLenUtf8(char const*)"
  "SCR::get_utf8_substr[abi:cxx11](char const*, int, std::vector<unsigned int, std::allocator<unsigned int> >, int)"
  "SCR::get_utf8_substr(char const*, int, int, int)"
  "SCR::get_utf8_substr0[abi:cxx11](char const*, int, std::vector<int, std::allocator<int> >, int)"
  "SCR::get_utf8_pos(char const*, int)" "utf8_to_wstr($S const&)"
  "SCR::pre_data($S)" "SCR::trim($S&)" "SCR::clean_code($S&)" "SCR::stringSplit($S const&, char)"
  "censorStrWithOutSymbol($S const&)" "SCR::filter_string1($S const&, $S const&, $S*)"
  "SCR::remove_str($S*, $S const&)" "SCR::filter_string($W const&, $S const&, $S*)"
  "SCR::get_full($S*, int const&, $VS*)" "SCR::get_begin_and_end($S*, int const&, $VS*)"
  "SCR::get_sample_N($S*, int const&, int*, $VS*)" "SCR::get_random_int(unsigned int, unsigned int)"
)
missing=0
for sym in "${expected[@]}"; do
  if ! grep -qxF -- "$sym" <<<"$exported"; then
    echo "missing export: $sym"
    missing=$((missing + 1))
  fi
done
# The four entry points must be plain C names.
plain=$(nm -D --defined-only "$lib")
for entry in GetQuorvelVersion QuorvelInit QuorvelParse QuorvelRelease; do
  grep -qE " T $entry\$" <<<"$plain" || { echo "entry point $entry is not unmangled"; missing=$((missing + 1)); }
done
[[ $(readelf -d "$lib" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p') == libQuorvel.so ]] || { echo "soname is not libQuorvel.so"; missing=$((missing + 1)); }
runpath=$(readelf -d "$lib" | sed -n 's/.*Library \(runpath\|rpath\): \[\(.*\)\]/\2/p')
[[ $runpath == ".:./libs_x64/:../lib/:./lib/veskcomm/:../lib/veskcomm/" ]] || { echo "run-time search path is '$runpath'"; missing=$((missing + 1)); }
echo "checked ${#expected[@]} exports: $missing problem(s)"
[[ $missing -eq 0 ]]
