#!/usr/bin/env bash
# libnvxapi.so defines members of CNvxapi, CNvxauth, CNvxfile and CNvxfolder only.
set -euo pipefail
library=$1
symbols=$(nm -D --defined-only "$library" | awk '{ $1=""; $2=""; print substr($0, 3) }' | c++filt)
[ -n "$symbols" ] || { echo "no exported symbols in $library"; exit 1; }
strays=$(echo "$symbols" | grep -vE '^(CNvxapi|CNvxauth|CNvxfile|CNvxfolder)::' \
                         | grep -vE '^(_init|_fini|_edata|_end|__bss_start)$' || true)
if [ -n "$strays" ]; then
  echo "unexpected exports:"
  echo "$strays"
  exit 1
fi
for member in 'CNvxapi::CNvxapi()' 'CNvxapi::GetTransferProgress()' \
              'CNvxfile::operator=(CNvxfile const&)' 'CNvxfolder::operator=(CNvxfolder const&)'; do
  echo "$symbols" | grep -qF "$member" || { echo "missing export: $member"; exit 1; }
done
echo "exports: $(echo "$symbols" | wc -l) members of the four classes"
