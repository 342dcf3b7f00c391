#!/bin/sh
# Remakes docs/screenshot-view.png, docs/screenshot-annotations.png,
# docs/screenshot-paused.png and docs/screenshot-find.png: builds and installs the library into
# a scratch folder, builds tools/screenshot_view.cpp, tools/screenshot_annotations.cpp and
# tools/screenshot_find.cpp against the installed package and runs them on the offscreen
# platform (set QT_QPA_PLATFORM to use a real display instead).
#
#   tools/screenshot_view.sh [build folder]
set -eu

src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$src/build-screenshot"}
stage="$build/stage"

cmake -S "$src" -B "$build/lib" -DCMAKE_BUILD_TYPE=Release \
      -DDTV_BUILD_TESTS=OFF -DDTV_BUILD_APPS=OFF -DCMAKE_INSTALL_PREFIX="$stage" >/dev/null
cmake --build "$build/lib" -j2 --target DecodedTextView >/dev/null
cmake --install "$build/lib" >/dev/null

cmake -S "$src/tools/screenshot" -B "$build/tool" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_PREFIX_PATH="$stage" >/dev/null
cmake --build "$build/tool" -j2 >/dev/null

mkdir -p "$src/docs"
# Times are shown in local time; UTC keeps the picture the same wherever it is made.
TZ=UTC LC_ALL=C.UTF-8 QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
LD_LIBRARY_PATH="$stage/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
    "$build/tool/screenshot_view" "$src/docs/screenshot-view.png"
TZ=UTC LC_ALL=C.UTF-8 QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
LD_LIBRARY_PATH="$stage/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
    "$build/tool/screenshot_annotations" "$src/docs/screenshot-annotations.png"
TZ=UTC LC_ALL=C.UTF-8 QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
LD_LIBRARY_PATH="$stage/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
    "$build/tool/screenshot_view" "$src/docs/screenshot-paused.png" --paused
TZ=UTC LC_ALL=C.UTF-8 QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
LD_LIBRARY_PATH="$stage/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
    "$build/tool/screenshot_find" "$src/docs/screenshot-find.png"
