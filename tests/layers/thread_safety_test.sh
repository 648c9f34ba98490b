#!/bin/sh
# Compiles the library's and the service's code with clang's thread-safety analysis:
# every field marked GUARDED_BY is touched only with its lock held, every function marked
# REQUIRES is called with its lock held. GCC ignores the attributes, so this is where they
# count.
# Usage: thread_safety_test.sh CLANGXX SOURCE_ROOT
clangxx=${1:?usage: $0 CLANGXX SOURCE_ROOT}
root=${2:?usage: $0 CLANGXX SOURCE_ROOT}
cd "$root" || exit 2
find $(ls -d platform codec wire protocol engines api service 2>/dev/null) -name '*.cc' | sort |
  xargs -P 2 -n 8 "$clangxx" -std=c++20 -fsyntax-only -I. -Wthread-safety -Werror
