#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, only what is missing.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

for p in g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix mingw-w64-tools mingw-w64-i686-dev \
         g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev \
         cmake make googletest python3 clang-14 lld-14 llvm-14 clang lld clang-format-14 cppcheck xvfb xauth nsis \
         mingw-w64-common qemu-user-static zip unzip osslsigncode openssl libxml2-utils python3-yaml python3-jsonschema \
         fp-compiler-3.2.2 fpc-source-3.2.2; do
    have_pkg "$p" || need+=("$p")
done

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    need+=(wine wine32:i386 wine64)
else
    have_pkg wine || need+=(wine)
    have_pkg wine64 || need+=(wine64)
    have_pkg wine32:i386 || need+=(wine32:i386)
fi

if [ ${#need[@]} -gt 0 ]; then
    echo "setup: installing ${need[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# The ARM64 tree's tests run under Debian's arm64 Wine, emulated: unpacked into
# the source tree's .cache, nothing registered with the system.
bash "$(dirname "$0")/setup/setup-wine-arm64.sh"

# Signing and checking a release needs osslsigncode 2.9 (Debian 12's own 2.5
# lacks what the release tests rely on); bookworm-backports has it. Where the
# system's is older, the backport is unpacked into .cache/osslsigncode
# (tools/release/osslsigncode.sh finds it there), nothing registered with the system.
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/release/osslsigncode.sh"
if ! osslsigncode_is_recent "$(osslsigncode_path "$root")"; then
    . "$root/tools/setup/private-apt.sh"
    echo "setup: fetching osslsigncode from bookworm-backports into $root/.cache/osslsigncode"
    private_apt_fetch "$root/.cache/osslsigncode" "$(dpkg --print-architecture)" \
        "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm-backports main" \
        osslsigncode
    osslsigncode_is_recent "$(osslsigncode_path "$root")" || { echo "setup: no osslsigncode 2.9 or later" >&2; exit 1; }
fi
