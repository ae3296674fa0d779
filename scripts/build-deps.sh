#!/usr/bin/env bash
# Builds the third-party libraries that Debian ships only as sources (jsoncpp,
# minizip) and GoogleTest for one Windows architecture, into build/deps/<arch>.
# A cache outside the clone, keyed by the source versions, keeps fresh clones fast.
set -euo pipefail
arch=${1:?usage: build-deps.sh win32|win64}
top=$(cd "$(dirname "$0")/.." && pwd)
case $arch in
  win32) triple=i686-w64-mingw32 ;;
  win64) triple=x86_64-w64-mingw32 ;;
  *) echo "unknown arch $arch" >&2; exit 2 ;;
esac
out=$top/build/deps/$arch
[ -f "$out/.done" ] && exit 0

jsoncpp_ver=$(apt-cache showsrc libjsoncpp 2>/dev/null | awk '/^Version:/{print $2; exit}')
zlib_ver=bookworm
gtest_ver=$(dpkg-query -W -f='${Version}' googletest)
key="jsoncpp-${jsoncpp_ver:-none}_zlib-${zlib_ver}_gtest-${gtest_ver}_$(sha1sum "$0" | cut -c1-8)"
cache=${ORVIN_DEPS_CACHE:-/var/cache/orvin-deps}/$key/$arch
if [ -f "$cache/.done" ]; then
  mkdir -p "$(dirname "$out")"; rm -rf "$out"; cp -a "$cache" "$out"
  echo "deps: $arch from cache"; exit 0
fi

work=$top/build/deps/src
mkdir -p "$work"
if [ ! -d "$work/jsoncpp" ]; then
  (cd "$work" && rm -rf js && mkdir js && cd js && apt-get source -qq libjsoncpp >/dev/null 2>&1 \
     && mv "$(find . -maxdepth 1 -mindepth 1 -type d | head -1)" ../jsoncpp)
fi
if [ ! -d "$work/zlib" ]; then
  (cd "$work" && rm -rf zl && mkdir zl && cd zl && { apt-get source -qq zlib >/dev/null 2>&1 || apt-get source -qq zlib/bookworm >/dev/null 2>&1; } \
     && mv "$(find . -maxdepth 1 -mindepth 1 -type d | head -1)" ../zlib)
fi
[ -d "$work/jsoncpp" ] && [ -d "$work/zlib/contrib/minizip" ] || { echo "deps: sources missing" >&2; exit 1; }

tc=$top/cmake/mingw-$arch.cmake
bld=$top/build/deps/bld-$arch
rm -rf "$bld" "$out"; mkdir -p "$bld" "$out"

cmake -S "$work/jsoncpp" -B "$bld/jsoncpp" -DCMAKE_TOOLCHAIN_FILE="$tc" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$out" -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
  -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF -DJSONCPP_WITH_CMAKE_PACKAGE=ON \
  -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF >/dev/null
cmake --build "$bld/jsoncpp" -j2 >/dev/null
cmake --install "$bld/jsoncpp" >/dev/null

cmake -S /usr/src/googletest -B "$bld/gtest" -DCMAKE_TOOLCHAIN_FILE="$tc" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$out" -Dgtest_disable_pthreads=OFF -DBUILD_GMOCK=OFF >/dev/null
cmake --build "$bld/gtest" -j2 >/dev/null
cmake --install "$bld/gtest" >/dev/null

# minizip: the reader and writer with the Win32 file layer, compiled against
# the MinGW zlib.
mz=$work/zlib/contrib/minizip
mkdir -p "$bld/minizip" "$out/include/minizip" "$out/lib"
for f in ioapi unzip zip iowin32; do
  $triple-gcc-posix -O2 -c "$mz/$f.c" -I"$mz" -o "$bld/minizip/$f.o"
done
$triple-ar rcs "$out/lib/libminizip.a" "$bld/minizip"/*.o
cp "$mz"/{ioapi.h,unzip.h,zip.h,iowin32.h,crypt.h} "$out/include/minizip/"
touch "$out/.done"
if mkdir -p "$cache" 2>/dev/null; then cp -a "$out/." "$cache/"; fi
echo "deps: $arch built"
