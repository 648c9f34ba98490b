#!/bin/sh
# Fails when a source file includes a header of a higher layer. Layers, bottom up:
#   platform <- transfer primitives <- protocol <- the engines <- api
#   <- the programs (runner, nvxapib: the exported header only).
# transfer/delta (signatures and deltas) stands on the primitives beside the protocol.
# The service stands on platform, the primitives and transfer/delta; wizard and
# scheduler on platform alone. The exported header api/nvxapi.h and the library's limits
# api/library_limits.h include nothing of ours, so every layer of the library may
# include them.
# Usage: include_directions_test.sh SOURCE_ROOT
root=${1:?usage: $0 SOURCE_ROOT}
cd "$root" || exit 2

# Files of transfer/ above the protocol: the sources of nvx_engines and the engines'
# headers that have no source of their own.
engines=$(sed -n '/add_library(nvx_engines/,/)/p' transfer/CMakeLists.txt |
          grep -o '[a-z_0-9]*\.cc' | sed 's/\.cc$//')
engines="$engines engine_context upload_file_state compression upload_exchanges"

# The folders (and single headers) that a file in layer $1 may include.
allowed() {
  leaf="api/nvxapi.h api/library_limits.h"
  case $1 in
    platform) echo "platform/" ;;
    primitives) echo "platform/ primitives" ;;
    delta) echo "platform/ primitives transfer/delta/" ;;
    protocol) echo "platform/ primitives protocol/ $leaf" ;;
    engines) echo "platform/ transfer/ protocol/ $leaf" ;;
    api) echo "platform/ transfer/ protocol/ api/" ;;
    runner) echo "platform/ runner/ api/nvxapi.h" ;;
    nvxapib) echo "platform/ nvxapib/ api/nvxapi.h" ;;
    service) echo "platform/ primitives transfer/delta/ service/" ;;
    wizard) echo "platform/ wizard/" ;;
    scheduler) echo "platform/ scheduler/" ;;
  esac
}

is_engine_file() {
  stem=$(basename "$1" | sed 's/\.[a-z]*$//')
  for engine in $engines; do [ "$stem" = "$engine" ] && return 0; done
  return 1
}

layer_of() {
  case $1 in
    transfer/delta/*) echo delta ;;
    transfer/*) if is_engine_file "$1"; then echo engines; else echo primitives; fi ;;
    *) echo "${1%%/*}" ;;
  esac
}

failures=0
for folder in platform transfer protocol api runner nvxapib service wizard scheduler; do
  [ -d "$folder" ] || continue
  for file in $(find "$folder" -name '*.h' -o -name '*.cc' | sort); do
    layer=$(layer_of "$file")
    for included in $(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file"); do
      ok=no
      for rule in $(allowed "$layer"); do
        case $rule in
          primitives) case $included in transfer/delta/*) ;;
                        transfer/*) is_engine_file "$included" || ok=yes ;; esac ;;
          */) case $included in "$rule"*) ok=yes ;; esac ;;
          *) [ "$included" = "$rule" ] && ok=yes ;;
        esac
      done
      if [ $ok = no ]; then
        echo "$file ($layer) includes $included"
        failures=$((failures + 1))
      fi
    done
  done
done
# The headers every layer may include must stay leaves.
for leaf in api/nvxapi.h api/library_limits.h; do
  if grep -q '^#include "' "$leaf"; then
    echo "$leaf includes a header of ours"
    failures=$((failures + 1))
  fi
done
[ $failures -eq 0 ] && echo "include directions: all files keep to their layers"
[ $failures -eq 0 ]
