#!/bin/sh
# Fails when a service command or an engine learns what to act on from a shared record
# instead of its arguments: the protocol's record (ProtocolState) named anywhere in
# protocol/ or engines/ but its own header, a "current" field in that record or read
# anywhere in the library, or a single command's answer kept in the record.
#
# Usage: explicit_arguments_test.sh SOURCE_ROOT
#        explicit_arguments_test.sh --self-test
# The self-test plants one fault of each kind in a scratch tree and fails unless exactly
# those three are found.
set -u

# Prints one line per fault below $1 and returns the count as its status.
check_tree() {
  (
    cd "$1" || exit 255
    files=$(find protocol engines api -type f \( -name '*.h' -o -name '*.cc' \) | sort)
    failures=0
    for file in $files; do
      case $file in protocol/protocol_state.h | api/*) ;; *)
        if grep -n 'ProtocolState' "$file" | sed "s|^|$file: takes the protocol's record: |" | grep .; then
          failures=$((failures + 1))
        fi ;;
      esac
      if grep -nE '[.>]current_[a-z_]*([^a-z_(]|$)' "$file" | sed "s|^|$file: reads a current field: |" | grep .; then
        failures=$((failures + 1))
      fi
    done
    if grep -nE '^\s+[A-Za-z_:<>, ]+\s(current_[a-z_]*|new_folder_id|server_version_id|folder_file_count|server_file_list)\b' \
        protocol/protocol_state.h | sed 's|^|protocol/protocol_state.h: keeps what a command names or answers: |' | grep .; then
      failures=$((failures + 1))
    fi
    exit $((failures > 255 ? 255 : failures))
  )
}

if [ "${1:-}" = "--self-test" ]; then
  scratch=$(mktemp -d) || exit 1
  trap 'rm -rf "$scratch"' EXIT
  mkdir -p "$scratch/protocol" "$scratch/engines" "$scratch/api"
  printf 'struct ProtocolState {\n  std::string current_server_folder_id;\n};\n' \
    >"$scratch/protocol/protocol_state.h"
  printf 'bool FolderCreate(ProtocolState& state);\n' >"$scratch/protocol/service_commands.h"
  printf 'void F(S& s) { Use(s.current_file); }\n' >"$scratch/engines/upload_file.cc"
  printf 'void G(Block& b) { b.protocol.lists.mapped_folder = nullptr; }\n' >"$scratch/api/reset.cc"
  check_tree "$scratch" >/dev/null
  found=$?
  [ "$found" -eq 3 ] && exit 0
  echo "self-test: expected 3 faults, found $found"
  exit 1
fi

check_tree "${1:?usage: explicit_arguments_test.sh SOURCE_ROOT}"
count=$?
[ "$count" -eq 0 ] || echo "$count faults: commands take their target as arguments"
exit "$count"
