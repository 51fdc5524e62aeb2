#!/bin/sh
# setup_scripts.sh TOOLS_DIR: checks tools/install_deps.sh and
# tools/configure.sh against stand-in programs on a PATH of their own (a
# fake id, sudo, apt-get, g++ and cmake that log their calls), so every
# path runs without installing anything: nothing missing, root, sudo,
# neither, a failing install; a fresh, a failed and a finished configure.
set -u
tools=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $1"; failures=$((failures + 1)); }

bin=$work/bin
mkdir -p "$bin"
log=$work/calls
ln -s "$(command -v env)" "$bin/env"
stub() {  # stub NAME BODY: a program that logs "NAME args" and runs BODY
  printf '#!/bin/sh\necho "%s $*" >> "%s"\n%s\n' "$1" "$log" "$2" > "$bin/$1"
  chmod +x "$bin/$1"
}

# The system as each case sets it: FAKE_UID, MISSING (words of programs
# and headers absent), SUDO (absent, ok, fails), APT (ok, fails, absent).
setup_system() {
  rm -f "$bin"/id "$bin"/sudo "$bin"/apt-get "$bin"/make "$bin"/cmake "$bin"/ninja "$bin"/g++ "$log"
  : > "$log"
  printf '#!/bin/sh\necho %s\n' "$FAKE_UID" > "$bin/id"; chmod +x "$bin/id"
  for p in make cmake ninja g++; do
    case " $MISSING " in *" $p "*) continue ;; esac
    stub "$p" 'exit 0'
  done
  if [ -f "$bin/g++" ]; then  # the preprocessor finds every header not MISSING
    printf '#!/bin/sh\nread -r line\nfor h in %s; do case "$line" in *"$h"*) exit 1 ;; esac; done\nexit 0\n' \
      "$MISSING" > "$bin/g++"
    chmod +x "$bin/g++"
  fi
  case $SUDO in
    ok) stub sudo 'exec "$@"' ;;
    fails) stub sudo 'echo "sudo: a password is required" >&2; exit 1' ;;
  esac
  case $APT in
    ok) stub apt-get 'exit 0' ;;
    fails) stub apt-get 'exit 100' ;;
  esac
}

# install_deps.sh: expected status, the calls it must make (grep patterns,
# in the log), the calls it must not, and a text the output must hold.
check_install() {  # NAME STATUS MUST MUST_NOT TEXT
  setup_system
  out=$(PATH=$bin /bin/sh "$tools/install_deps.sh" 2>&1)
  status=$?
  [ "$status" -eq "$2" ] || fail "$1: exit status $status, not $2 ($out)"
  [ -z "$3" ] || grep -q -- "$3" "$log" || fail "$1: no call matching '$3' in: $(cat "$log")"
  [ -z "$4" ] || ! grep -q -- "$4" "$log" || fail "$1: a call matching '$4' in: $(cat "$log")"
  case $out in *"$5"*) ;; *) fail "$1: the output lacks '$5': $out" ;; esac
}

line='apt-get update && apt-get install -y cmake libsuitesparse-dev'
FAKE_UID=0 MISSING="" SUDO=absent APT=ok
check_install "nothing missing" 0 "" "apt-get" ""
FAKE_UID=1000 MISSING="" SUDO=absent APT=absent
check_install "nothing missing, no root" 0 "" "apt-get" ""
FAKE_UID=0 MISSING="cmake suitesparse/klu.h" SUDO=absent APT=ok
check_install "root" 0 "^apt-get install -y -qq cmake libsuitesparse-dev$" "sudo" "Installing the packages"
FAKE_UID=0 MISSING="cmake suitesparse/klu.h" SUDO=ok APT=ok
check_install "root with sudo installed" 0 "^apt-get update -qq$" "sudo" ""
FAKE_UID=1000 MISSING="cmake suitesparse/klu.h" SUDO=ok APT=ok
check_install "sudo" 0 "^sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq cmake libsuitesparse-dev$" "" ""
FAKE_UID=1000 MISSING="cmake suitesparse/klu.h" SUDO=absent APT=ok
check_install "neither root nor sudo" 1 "" "apt-get" "$line"
FAKE_UID=1000 MISSING="cmake suitesparse/klu.h" SUDO=fails APT=ok
check_install "sudo refused" 1 "^sudo" "^apt-get" "$line"
FAKE_UID=0 MISSING="cmake suitesparse/klu.h" SUDO=absent APT=fails
check_install "apt-get failing" 1 "^apt-get update" "" "$line"
FAKE_UID=0 MISSING="cmake suitesparse/klu.h" SUDO=absent APT=absent
check_install "no apt-get" 1 "" "" "$line"
FAKE_UID=0 MISSING="make ninja g++" SUDO=absent APT=ok
check_install "no compiler: every header counts as missing" 0 \
  "install -y -qq make ninja-build g++ libgtest-dev libbenchmark-dev libsuitesparse-dev$" "" ""
FAKE_UID=0 MISSING="gtest/gtest.h benchmark/benchmark.h" SUDO=absent APT=ok
check_install "test libraries" 0 "install -y -qq libgtest-dev libbenchmark-dev$" "" ""

# configure.sh: a cmake stand-in that logs whether the cache was there when
# it ran, writes the cache and, unless CMAKE_FAILS, the generator's file.
cat > "$bin/cmake" <<STUB
#!/bin/sh
dir=\$4
if [ -f "\$dir/CMakeCache.txt" ]; then echo "cmake with a cache \$*" >> "$log"; else echo "cmake \$*" >> "$log"; fi
mkdir -p "\$dir"
echo "cache" > "\$dir/CMakeCache.txt"
[ -z "\${CMAKE_FAILS:-}" ] || exit 1
case " \$* " in *" -G Ninja "*) : > "\$dir/build.ninja" ;; *) : > "\$dir/Makefile" ;; esac
STUB
chmod +x "$bin/cmake"
ln -s "$(command -v rm)" "$bin/rm"
ln -s "$(command -v mkdir)" "$bin/mkdir"

check_configure() {  # NAME STATUS MUST MUST_NOT
  out=$(cd "$work" && PATH=$bin CMAKE=cmake /bin/sh "$tools/configure.sh" build/x -DOPT=1 2>&1)
  status=$?
  [ "$status" -eq "$2" ] || fail "$1: exit status $status, not $2 ($out)"
  [ -z "$3" ] || grep -q -- "$3" "$log" || fail "$1: no call matching '$3' in: $(cat "$log")"
  [ -z "$4" ] || ! grep -q -- "$4" "$log" || fail "$1: a call matching '$4' in: $(cat "$log")"
}

rm -rf "$work/build"; : > "$log"; stub ninja 'exit 0'
check_configure "fresh folder, Ninja" 0 "^cmake -S . -B build/x -G Ninja -DOPT=1$" ""
: > "$log"
check_configure "finished configure" 0 "" "cmake"
rm -f "$work/build/x/build.ninja"; : > "$log"
check_configure "build files gone" 0 "^cmake -S" "with a cache"
rm -rf "$work/build"; : > "$log"
CMAKE_FAILS=1 check_configure "failing configure" 1 "^cmake -S" ""
[ -f "$work/build/x/CMakeCache.txt" ] || fail "the failing stand-in left no cache"
: > "$log"
check_configure "after a failed configure" 0 "^cmake -S . -B build/x -G Ninja" "with a cache"
[ -f "$work/build/x/build.ninja" ] || fail "after a failed configure: no build.ninja"
rm -rf "$work/build" "$bin/ninja"; : > "$log"
check_configure "no Ninja" 0 "^cmake -S . -B build/x -DOPT=1$" "Ninja"
: > "$log"
check_configure "finished configure, Makefiles" 0 "" "cmake"

[ "$failures" -eq 0 ] && echo "set-up scripts: every case holds"
exit "$failures"
