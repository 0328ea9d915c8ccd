#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds and installs the library as a new user would (a plain configure: no tests,
# no benchmarks), then builds two hosts against the installed prefix: C with
# pkg-config and C++ with find_package. Also checks the installed program and files.
set -euo pipefail
cd "$(dirname "$0")/.."
work=${CONSUMER_WORK:-build/consumers}
rm -rf "$work"
prefix=$PWD/$work/prefix
# As on a machine without GoogleTest: the configure must pass with a message.
cmake -S . -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON | grep -i "googletest"
cmake --build "$work/build" -j2 >/dev/null
cmake --install "$work/build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name 'libkestrune-pdfsanitize.so' | head -1)")

for f in include/pdfsanitize.h include/pdfsanitize_ext.h include/pdfsanitize_version.h \
         share/man/man1/pdfsanitize.1 bin/pdfsanitize; do
  [[ -e "$prefix/$f" ]] || { echo "consumers: $f not installed"; exit 1; }
done
for lib in libkestrune-pdfsanitize libkestrune-pdfsanitize-ext; do
  [[ -L "$libdir/$lib.so" && -L "$libdir/$lib.so.0" && -f "$libdir/$lib.so.0.1.0" ]] ||
    { echo "consumers: $lib and its SONAME links not installed"; exit 1; }
  readelf -d "$libdir/$lib.so.0.1.0" | grep -q "SONAME.*\[$lib.so.0\]"
done
# The program carries its own copy of the library: it runs with no library path.
if readelf -d "$prefix/bin/pdfsanitize" | grep -q "NEEDED.*kestrune"; then
  echo "consumers: the program needs the shared library"; exit 1
fi
env -i "$prefix/bin/pdfsanitize" --version
"$prefix/bin/pdfsanitize" scan examples/clean.pdf

# C with pkg-config.
export PKG_CONFIG_PATH=$libdir/pkgconfig
cc -std=c11 -Wall -Wextra -Werror -o "$work/c-consumer" tests/consumers/c/consumer.c \
   $(pkg-config --cflags --libs kestrune-pdfsanitize kestrune-pdfsanitize-ext) -Wl,-rpath,"$libdir"
"$work/c-consumer" examples/javascript.pdf

# C++ with find_package.
cmake -S tests/consumers/cpp -B "$work/cpp" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cpp" >/dev/null
"$work/cpp/consumer" examples/everything.pdf "$work/everything-full.pdf"
echo "consumers: both hosts built and ran against $prefix"
