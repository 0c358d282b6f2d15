#!/usr/bin/env bash
# windows.sh [win32] [win64]: cross-builds the Windows console program with MinGW-w64,
# statically linked: build-win32/tolbrik.exe (i686, PE32) and build-win64/tolbrik.exe
# (x86_64, PE32+); both when no target is named, and then also the zip a Windows user
# downloads, build-windows/tolbrik-<version>-windows.zip: both programs and the README.
# Installs the cross compilers and MinGW's zlib when they are missing, then checks each
# .exe: a console executable of the right kind that imports no DLL beyond the system's own.
set -euo pipefail
cd "$(dirname "$0")/.."
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(win32 win64)

# The DLLs every Windows installation has; anything else would have to ship beside the .exe.
system_dlls=" kernel32.dll msvcrt.dll "

for target in "${targets[@]}"; do
  case $target in
    win32) triplet=i686-w64-mingw32 package=g++-mingw-w64-i686 toolchain=i686 kind="PE32 executable (console)" ;;
    win64) triplet=x86_64-w64-mingw32 package=g++-mingw-w64-x86-64 toolchain=x86_64 kind="PE32+ executable (console)" ;;
    *) echo "windows.sh: unknown target '$target' (win32 or win64)" >&2; exit 2 ;;
  esac
  scripts/need.sh "$triplet-g++" "$package" "/usr/$triplet/include/zlib.h" libz-mingw-w64-dev \
    cmake cmake file file
  build=build-$target
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-mingw-$toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli >/dev/null
  cmake --build "$build" -j 2 >/dev/null || cmake --build "$build" -j 1

  exe=$build/tolbrik.exe
  description=$(file -b "$exe")
  case $description in
    "$kind"*) ;;
    *) echo "windows.sh: $exe is not a $kind: $description" >&2; exit 1 ;;
  esac
  imports=$("$triplet-objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
  for dll in $imports; do
    lower=$(printf '%s' "$dll" | tr '[:upper:]' '[:lower:]')
    if [ "${system_dlls/ $lower /}" = "$system_dlls" ]; then
      echo "windows.sh: $exe needs $dll, which is not a system DLL" >&2
      exit 1
    fi
  done
  echo "$exe: $description; imports $(echo $imports)"
done

if [ $# -eq 0 ]; then
  version=$(sed -n 's/^project(tolbrik VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  name=tolbrik-$version-windows
  rm -rf "build-windows/$name" "build-windows/$name.zip"
  mkdir -p "build-windows/$name/win32" "build-windows/$name/win64"
  cp build-win32/tolbrik.exe "build-windows/$name/win32/"
  cp build-win64/tolbrik.exe "build-windows/$name/win64/"
  cp README.md "build-windows/$name/"
  (cd build-windows && cmake -E tar cf "$name.zip" --format=zip "$name")
  echo "build-windows/$name.zip: win32/tolbrik.exe, win64/tolbrik.exe, README.md"
fi
