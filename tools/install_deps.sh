#!/bin/sh
# install_deps.sh: installs the Debian/Ubuntu packages the build needs when
# any is missing, then returns; with everything present it does nothing.
# As root it runs apt-get itself, otherwise through sudo; where neither can,
# it prints the one line to run as root and fails. Every make target that
# builds, and .ci/run, start with it.
set -eu

have() { command -v "$1" >/dev/null 2>&1; }
# A header the compiler finds where CMake looks: the default include path.
header() { have g++ && printf '#include <%s>\n' "$1" | g++ -E -x c++ - >/dev/null 2>&1; }

need=""
have make || need="$need make"
have cmake || need="$need cmake"
have ninja || need="$need ninja-build"
have g++ || need="$need g++"
header gtest/gtest.h || need="$need libgtest-dev"
header benchmark/benchmark.h || need="$need libbenchmark-dev"
header suitesparse/klu.h || need="$need libsuitesparse-dev"
[ -z "$need" ] && exit 0

line="apt-get update && apt-get install -y$need"
stop() {
  echo "$1" >&2
  echo "Run this as root, then the same command again:" >&2
  echo "  $line" >&2
  exit 1
}

echo "Installing the packages the build needs:$need"
if [ "$(id -u)" -eq 0 ]; then
  as_root=""
elif have sudo; then
  as_root="sudo"
else
  stop "The build needs packages that are missing:$need; this user is not root and sudo is not installed."
fi
have apt-get || stop "The build needs packages that are missing:$need; apt-get is not found (the names are Debian's)."
# shellcheck disable=SC2086
if ! { $as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
       $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $need; }; then
  stop "Installing${as_root:+ through sudo} failed:$need."
fi
