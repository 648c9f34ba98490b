#!/usr/bin/env bash
# `cmake --install` of a build lays out the install folder: NVXbackup, NVXscheduledBackup,
# libnvxapi.so, nvxserver, the wizard NorrvaultBackup with its desktop entry and
# libnvxapib.so in bin/,
# nvxapi.h alone in include/. A small program built against the
# installed header and library only (the header's folder on the include path, system
# headers beside it) runs, and the installed NVXbackup finds its library beside itself.
#
# Usage: install_layout_test.sh BUILD_DIR CXX
set -euo pipefail
build=$1
cxx=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/install

fail() { echo "install_layout_test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
  cat "$work/install.log" >&2
  fail "cmake --install failed"
}

# Exactly the design's layout, nothing more.
layout=$(cd "$prefix" && find . -mindepth 1 | sort | tr '\n' ' ')
expected="./bin ./bin/NVXbackup ./bin/NVXnotify ./bin/NVXscheduledBackup ./bin/NorrvaultBackup ./bin/NorrvaultBackup.desktop"
expected+=" ./bin/libnvxapi.so ./bin/libnvxapib.so ./bin/nvxserver ./include ./include/nvxapi.h "
[[ "$layout" == "$expected" ]] || fail "layout is '$layout', expected '$expected'"

# A caller's program: the public header, then system headers that a header of ours
# named like a system one would shadow.
cat >"$work/caller.cc" <<'PROGRAM'
#include "nvxapi.h"

#include <limits.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

int main() {
  CNvxauth auth;
  char token[512] = {};
  auth.GenerateEncryptData("secret", token);
  if (std::strlen(token) == 0) return 1;
  CNvxapi api;
  std::thread caller([&api] { std::printf("status %d\n", static_cast<int>(api.GetStatus())); });
  caller.join();
  std::printf("INT_MAX %d\n", INT_MAX);
  return 0;
}
PROGRAM
"$cxx" -std=c++20 -Wall -Wextra -Werror -I "$prefix/include" "$work/caller.cc" \
  -L "$prefix/bin" -lnvxapi -Wl,-rpath,"$prefix/bin" -pthread -o "$work/caller" ||
  fail "a program does not build against the installed header and library"
out=$("$work/caller") || fail "the program built against the install folder failed"
[[ "$out" == *"INT_MAX 2147483647"* ]] || fail "unexpected output: $out"

# The installed runner finds its library through $ORIGIN: without arguments and without
# a config.txt beside it, it ends with 20 and its usage text.
set +e
err=$("$prefix/bin/NVXbackup" 2>&1 >/dev/null)
code=$?
set -e
[[ $code -eq 20 && "$err" == "No Configuration File Found"* ]] ||
  fail "installed NVXbackup: exit $code, '$err'"
echo "install folder: $layout"
