# Shared paths of the project's scripts. Sourced, not run.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Dependency builds and the Wine prefix template live outside the build tree so
# that clean clones and new build folders reuse them.
CACHE=${PARLOMIND_CACHE:-$HOME/.cache/parlomind}
BUILD=${PARLOMIND_BUILD:-$ROOT/build}
TOOLCHAIN=$ROOT/cmake/toolchain-mingw32.cmake
mkdir -p "$CACHE"

log() { printf '[%s] %s\n' "$(basename "$0")" "$*" >&2; }

# The dependency prefix is keyed by the versions of everything that goes into it.
deps_key() {
  local v=""
  for p in curl libjsoncpp 7zip googletest; do
    v+="$p=$(apt-cache showsrc "$p" 2>/dev/null | awk '/^Version:/{print $2; exit}');"
  done
  v+="gcc=$(i686-w64-mingw32-g++-posix -dumpversion 2>/dev/null);"
  v+="recipe=$(sha1sum "$ROOT/scripts/deps" "$ROOT/cmake/lzma/CMakeLists.txt" "$TOOLCHAIN" | sha1sum | cut -c1-12)"
  printf '%s' "$v" | sha1sum | cut -c1-16
}
