#!/bin/sh
# configure.sh DIR [CMAKE-OPTION...]: configures the build folder DIR unless
# it already holds the build files of a configure that finished. A configure
# that failed or was interrupted leaves CMakeCache.txt without them; its
# cache is dropped and the configure runs again from the start, with Ninja
# when it is installed by then. CMAKE names the cmake program (default cmake).
set -eu
dir=$1
shift
cmake=${CMAKE:-cmake}
if [ -f "$dir/build.ninja" ] || [ -f "$dir/Makefile" ]; then
  exit 0
fi
rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
if command -v ninja >/dev/null 2>&1; then
  exec "$cmake" -S . -B "$dir" -G Ninja "$@"
fi
exec "$cmake" -S . -B "$dir" "$@"
