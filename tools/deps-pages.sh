#!/bin/sh
# Installs what the page tests (tests/pages) need; quick and silent when all is there:
#  - Debian's chromium, run headless by the tests (no browser is downloaded from anywhere else)
#  - playwright-core (drives that chromium; it downloads no browser) and acorn (parses the page
#    scripts as ECMAScript 3) from npm, into tests/pages/node_modules (ignored by git)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
dir="$root/tests/pages"
PLAYWRIGHT_CORE_VERSION=1.65.2
ACORN_VERSION=8.19.0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=""
installed chromium || missing=" chromium"
# Node from Debian unless the machine has a node and npm of its own.
command -v node >/dev/null 2>&1 || installed nodejs || missing="$missing nodejs"
command -v npm >/dev/null 2>&1 || installed npm || missing="$missing npm"
if [ -n "$missing" ]; then
    echo "deps: installing$missing"
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

has_version() {
    [ -f "$dir/node_modules/$1/package.json" ] &&
        grep -q "\"version\": *\"$2\"" "$dir/node_modules/$1/package.json"
}
if ! has_version playwright-core "$PLAYWRIGHT_CORE_VERSION" || ! has_version acorn "$ACORN_VERSION"; then
    echo "deps: installing playwright-core $PLAYWRIGHT_CORE_VERSION and acorn $ACORN_VERSION for the page tests"
    PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm install --prefix "$dir" --no-save --no-package-lock --no-audit \
        --no-fund --loglevel=error "playwright-core@$PLAYWRIGHT_CORE_VERSION" "acorn@$ACORN_VERSION" >/dev/null
fi
exit 0
