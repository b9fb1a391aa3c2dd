#!/bin/sh
# Installs what the cross build and the Wine tests need; quick and silent when all is there.
#  - the mingw-w64 i686 posix toolchain, CMake, Wine (64-bit prefix, 32-bit programs under WoW64)
#  - Xvfb for the one display the tests run in, osslsigncode/openssl for the test signatures,
#    gcab for the cabinet setup carries its Installer in
#  - googletest's sources (Debian ships them), and JsonCpp's Debian source package
#  - Chromium and the page tests' npm packages (tools/deps-pages.sh)
#  - where this machine's kernel cannot run 32-bit Linux programs (Wine's WoW64 loader is one),
#    qemu-user from bookworm-backports registered for i386 ELF files through binfmt_misc
set -eu

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

# One set-up at a time on this machine: a second one (another make of this tree, or of another
# clone) waits here rather than racing the first for apt's lock.
LOCK=${TMPDIR:-/tmp}/larchmeadow-deps.lock
if command -v flock >/dev/null 2>&1 && (umask 000; : >>"$LOCK") 2>/dev/null && [ -w "$LOCK" ]; then
    exec 9>>"$LOCK"
    flock 9
fi

PKGS="g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev cmake make \
wine wine64 wine32:i386 libgnutls30:i386 xvfb xauth osslsigncode openssl gcab googletest dpkg-dev python3 curl"

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=""
for p in $PKGS; do installed "$p" || missing="$missing $p"; done

updated=0
apt_update() { [ $updated -eq 1 ] || { $SUDO apt-get update -qq; updated=1; }; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "deps: adding the i386 architecture"
    $SUDO dpkg --add-architecture i386
fi
if ! grep -rqs 'deb-src' /etc/apt/sources.list.d/ /etc/apt/sources.list; then
    echo "deps: adding deb-src entries for Debian's source packages"
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        $SUDO sh -c 'sed -n "/^Types:/,/^$/p" /etc/apt/sources.list.d/debian.sources | sed "s/^Types:.*/Types: deb-src/" > /etc/apt/sources.list.d/lm-deb-src.sources'
    else
        $SUDO sh -c 'grep "^deb " /etc/apt/sources.list | sed "s/^deb /deb-src /" > /etc/apt/sources.list.d/lm-deb-src.list'
    fi
fi
if [ -n "$missing" ]; then
    echo "deps: installing$missing"
    apt_update
    $SUDO apt-get install -y -qq --no-install-recommends $PKGS >/dev/null
fi

# The backports suite of this release, added to the machine's own Debian entry: the same mirror
# (URIs), keyring and components, with the suite name changed. This script names no address.
CODENAME=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
BACKPORTS=${CODENAME:-bookworm}-backports
add_backports_source() {
    base=${BACKPORTS%-backports}
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        # deb822: the first stanza of type deb whose suites hold the release itself.
        stanza=$(awk -v base="$base" -v backports="$BACKPORTS" '
            function flush() {
                if (!done && types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " base " ")) {
                    printf "%s", kept
                    done = 1
                }
                kept = ""; types = ""; suites = ""
            }
            /^[ \t]*$/ { flush(); next }
            /^#/ { next }
            /^[^ \t]/ {
                field = $1
                if (field == "Types:") { types = substr($0, 7); kept = kept "Types: deb\n"; next }
                if (field == "Suites:") { suites = substr($0, 8); kept = kept "Suites: " backports "\n"; next }
            }
            { kept = kept $0 "\n" }
            END { flush() }' /etc/apt/sources.list.d/debian.sources)
        if [ -n "$stanza" ]; then
            printf '%s\n' "$stanza" | $SUDO sh -c 'cat > /etc/apt/sources.list.d/lm-backports.sources'
            return 0
        fi
    fi
    # One-line form: "deb [options] <URI> <release> <components>" becomes the same line for backports.
    line=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | awk -v base="$base" -v backports="$BACKPORTS" '
        $1 == "deb" {
            i = 2
            if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
            if ($(i + 1) == base) { $(i + 1) = backports; print; exit }
        }')
    if [ -n "$line" ]; then
        printf '%s\n' "$line" | $SUDO sh -c 'cat > /etc/apt/sources.list.d/lm-backports.list'
        return 0
    fi
    echo "deps: no Debian entry for $base in the apt sources to add $BACKPORTS to" >&2
    exit 1
}

# 32-bit Linux programs: Wine's 32-bit loader must run. Some virtual machines have no 32-bit
# user mode; there the loader runs under qemu-user (version 8 or later: older ones ignore
# MAP_FIXED_NOREPLACE and make every Wine start take a minute).
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    if ! /usr/bin/qemu-i386 --version 2>/dev/null | grep -qE 'version ([89]|[1-9][0-9])\.'; then
        echo "deps: this kernel runs no 32-bit programs; installing qemu-user from $BACKPORTS"
        if ! grep -rqs "$BACKPORTS" /etc/apt/sources.list.d/ /etc/apt/sources.list; then
            add_backports_source
            updated=0
        fi
        apt_update
        $SUDO apt-get install -y -qq --no-install-recommends -t "$BACKPORTS" qemu-user-static >/dev/null
    fi
    [ -e /proc/sys/fs/binfmt_misc/register ] || $SUDO mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    for kind in 02 03; do
        name="lm-i386-$kind"
        [ -e "/proc/sys/fs/binfmt_misc/$name" ] && continue
        $SUDO sh -c "echo ':$name:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x$kind\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:/usr/bin/qemu-i386:F' > /proc/sys/fs/binfmt_misc/register"
    done
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 || { echo "deps: 32-bit programs still do not run" >&2; exit 1; }
fi

# The page tests: Chromium and their npm packages.
"$(dirname "$0")/deps-pages.sh"
exit 0
