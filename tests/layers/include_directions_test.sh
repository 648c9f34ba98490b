#!/bin/sh
# Fails when a source file includes a header of a higher layer. A file's layer follows
# from its folder alone. Layers, bottom up:
#   platform <- codec (codec/delta beside it) <- wire <- protocol <- engines <- api
#   <- the programs (runner, nvxapib: the exported header only).
# The service stands on platform, codec and wire; its sub-folders are layers of their own,
# bottom up store <- commands <- http <- the files of service/ itself. jobfiles (what the
# runner, the wizard, the scheduler and the desktop notifier exchange) stands on platform;
# the wizard, the scheduler and the notifier on jobfiles, and inside the wizard core <-
# desktop <- forms <- the rest.
# Every include form is read: "..." and <...> naming one of our folders, with any
# spacing after the '#'. A header that names no folder of ours is a system or library
# header and not looked at.
#
# Usage: include_directions_test.sh SOURCE_ROOT
#        include_directions_test.sh --self-test
# The self-test plants three upward includes, one of each form, in a scratch tree and
# fails unless exactly those three are found.
set -u

# Our top folders; an include that starts with one of them names a header of ours.
ours="platform codec wire protocol engines api runner nvxapib jobfiles wizard scheduler notifier service"

# The layer of a path (a file of ours, or an included header).
layer_of() {
  case $1 in
    service/store/*) echo service-store ;;
    service/commands/*) echo service-commands ;;
    service/http/*) echo service-http ;;
    service/*) echo service ;;
    wizard/core/*) echo wizard-core ;;
    wizard/desktop/*) echo wizard-desktop ;;
    wizard/forms/*) echo wizard-forms ;;
    wizard/*) echo wizard ;;
    *) echo "${1%%/*}" ;;
  esac
}

# The layers a file in layer $1 may include, its own among them.
allowed() {
  case $1 in
    platform) echo "platform" ;;
    codec) echo "platform codec" ;;
    wire) echo "platform codec wire" ;;
    protocol) echo "platform codec wire protocol" ;;
    engines) echo "platform codec wire protocol engines" ;;
    api) echo "platform codec wire protocol engines api" ;;
    runner) echo "platform jobfiles runner" ;;
    nvxapib) echo "platform nvxapib" ;;
    jobfiles) echo "platform jobfiles" ;;
    scheduler) echo "platform jobfiles scheduler" ;;
    notifier) echo "platform jobfiles notifier" ;;
    wizard-core) echo "platform jobfiles wizard-core" ;;
    wizard-desktop) echo "platform jobfiles wizard-core wizard-desktop" ;;
    wizard-forms) echo "platform jobfiles wizard-core wizard-desktop wizard-forms" ;;
    wizard) echo "platform jobfiles wizard-core wizard-desktop wizard-forms wizard" ;;
    service-store) echo "platform codec wire service-store" ;;
    service-commands) echo "platform codec wire service-store service-commands" ;;
    service-http) echo "platform codec wire service-store service-commands service-http" ;;
    service) echo "platform codec wire service-store service-commands service-http service" ;;
  esac
}

# Headers of a higher layer that a layer may include because they include nothing of
# ours: the exported header, the programs' one way into the library.
is_leaf_header() {
  case $1 in
    api/nvxapi.h) case $2 in runner | nvxapib) return 0 ;; esac ;;
  esac
  return 1
}

# Prints one line per upward include below $1 and returns the count as its status (at
# most 255).
check_tree() {
  (
    cd "$1" || exit 255
    failures=0
    for top in $ours; do
      [ -d "$top" ] || continue
      for file in $(find "$top" -type f \( -name '*.h' -o -name '*.hh' -o -name '*.hpp' \
                      -o -name '*.cc' -o -name '*.cpp' -o -name '*.c' -o -name '*.inc' \) |
                    sort); do
        layer=$(layer_of "$file")
        for included in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]\([^">]*\)[">].*/\1/p' "$file"); do
          case " $ours " in *" ${included%%/*} "*) ;; *) continue ;; esac
          [ "$included" = "${included%%/*}" ] && continue
          target=$(layer_of "$included")
          ok=no
          for rule in $(allowed "$layer"); do [ "$rule" = "$target" ] && ok=yes; done
          is_leaf_header "$included" "$layer" && ok=yes
          if [ $ok = no ]; then
            echo "$file ($layer) includes $included ($target)"
            failures=$((failures + 1))
          fi
        done
      done
    done
    [ $failures -gt 255 ] && failures=255
    exit $failures
  )
}

if [ "${1:-}" = "--self-test" ]; then
  scratch=$(mktemp -d) || exit 2
  trap 'rm -rf "$scratch"' EXIT
  mkdir -p "$scratch/platform" "$scratch/codec" "$scratch/protocol" "$scratch/engines"
  printf '#include "engines/upload_engine.h"\n' >"$scratch/platform/quoted.cc"
  printf '#include <protocol/connection.h>\n' >"$scratch/codec/angled.h"
  printf '#  include   "api/worker.h"\n' >"$scratch/protocol/spaced.cc"
  printf '#include "protocol/connection.h"\n#include <string>\n' >"$scratch/engines/fine.cc"
  found=$(check_tree "$scratch")
  count=$?
  echo "$found"
  if [ $count -ne 3 ]; then
    echo "self-test: expected the three planted upward includes, found $count"
    exit 1
  fi
  echo "self-test: the three planted upward includes were found"
  exit 0
fi

root=${1:?usage: $0 SOURCE_ROOT | --self-test}
check_tree "$root"
failures=$?
# The exported header must stay a leaf.
if grep -Eq '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$root/api/nvxapi.h"; then
  echo "api/nvxapi.h includes a header of ours"
  failures=$((failures + 1))
fi
[ $failures -eq 0 ] && echo "include directions: all files keep to their layers"
[ $failures -eq 0 ]
