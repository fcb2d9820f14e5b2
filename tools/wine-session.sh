#!/usr/bin/env bash
# Runs a command inside the project's own Wine session: a prefix of its own in
# the build tree the command runs in (the nearest directory at or above the
# working directory that holds a CMakeCache.txt, else build/), never a prefix the
# caller's WINEPREFIX names; a persistent wineserver started and the prefix warmed
# with all output sent to /dev/null (Wine's background services would otherwise
# hold the command's pipes open), and that prefix's server stopped afterwards,
# whatever the command's outcome.
# A first start that fails half-way (on a loaded machine) leaves a prefix without
# system32/kernel32.dll, in which every later start fails: such a prefix is made
# again once, and a second failure stops before the command.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$PWD
while [ "$tree" != / ] && [ ! -f "$tree/CMakeCache.txt" ]; do tree=$(dirname "$tree"); done
[ -f "$tree/CMakeCache.txt" ] || tree=$root/build
export WINEPREFIX="$tree/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono/Gecko installer prompts

# WINEPREFIX names ours alone. The server is ended and waited for, so that a
# prefix removed next has no server left behind.
stop() { wineserver -k >/dev/null 2>&1 || true; wineserver -w >/dev/null 2>&1 || true; }
warm() {
    mkdir -p "$WINEPREFIX"
    # wineserver puts itself in the background once it serves: started in the
    # foreground, it is there before anything can stop it.
    wineserver -p >/dev/null 2>&1 || true
    wine cmd /c exit >/dev/null 2>&1 </dev/null || true
    [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]
}
trap stop EXIT
if ! warm; then
    echo "wine-session.sh: $WINEPREFIX was half-made (no drive_c/windows/system32/kernel32.dll): making it again" >&2
    stop
    rm -rf "$WINEPREFIX"
    if ! warm; then
        echo "wine-session.sh: cannot make the Wine prefix $WINEPREFIX (no drive_c/windows/system32/kernel32.dll after its first start)" >&2
        exit 1
    fi
fi
"$@"
