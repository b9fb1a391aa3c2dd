#!/bin/sh
# Brings Debian's JsonCpp sources into the (ignored) dependency folder; nothing when already there.
#   tools/fetch-sources.sh <deps folder>
set -eu
deps=$1
mkdir -p "$deps"
if [ ! -f "$deps/jsoncpp/CMakeLists.txt" ]; then
    echo "deps: fetching Debian's libjsoncpp sources"
    ( cd "$deps" && rm -rf libjsoncpp-* jsoncpp && apt-get source -qq libjsoncpp >/dev/null 2>&1 ) || {
        apt-get update -qq && ( cd "$deps" && apt-get source -qq libjsoncpp >/dev/null 2>&1 ); }
    src=$(find "$deps" -maxdepth 1 -type d -name 'libjsoncpp-*' | head -n1)
    [ -n "$src" ] || { echo "deps: apt-get source libjsoncpp failed" >&2; exit 1; }
    ln -sfn "$(basename "$src")" "$deps/jsoncpp"
fi
