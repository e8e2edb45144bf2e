#!/usr/bin/env bash
# Runs clang-tidy over the project's own sources, in both trees (build them
# first with scripts/build.sh). Prints the findings; exits 1 if there are any.
set -euo pipefail
cd "$(dirname "$0")/.."

gcc_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
cxx=$gcc_dir/include/c++
win_args=(--extra-arg=--target=x86_64-w64-mingw32
          "--extra-arg=-isystem$cxx" "--extra-arg=-isystem$cxx/x86_64-w64-mingw32"
          "--extra-arg=-isystem/usr/x86_64-w64-mingw32/include")

mapfile -t win_files < <(git ls-files '*.cpp' | grep -E '_win\.cpp$|^tests/win/|^testkit/')
mapfile -t native_files < <(git ls-files '*.cpp' | grep -vE '_win\.cpp$|^tests/win/|^testkit/')

out=$( { clang-tidy -p build/native --quiet "${native_files[@]}" 2>/dev/null
         clang-tidy -p build/win --quiet "${win_args[@]}" "${win_files[@]}" 2>/dev/null; } |
       grep -E '^/.*(warning|error):' | sort -u || true)
if [ -n "$out" ]; then
  echo "$out"
  exit 1
fi
echo "clang-tidy: no findings"
