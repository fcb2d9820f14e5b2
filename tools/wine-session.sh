#!/usr/bin/env bash
# Runs a command inside the project's own Wine session: a prefix of its own in
# the build tree the command runs in (the nearest directory at or above the
# working directory that holds a CMakeCache.txt, else build/), never a prefix the
# caller's WINEPREFIX names; a persistent wineserver started and the prefix warmed
# with all output sent to /dev/null (Wine's background services would otherwise
# hold the command's pipes open), and that prefix's server stopped afterwards,
# whatever the command's outcome.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$PWD
while [ "$tree" != / ] && [ ! -f "$tree/CMakeCache.txt" ]; do tree=$(dirname "$tree"); done
[ -f "$tree/CMakeCache.txt" ] || tree=$root/build
export WINEPREFIX="$tree/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono/Gecko installer prompts
mkdir -p "$WINEPREFIX"

stop() { wineserver -k >/dev/null 2>&1 || true; }   # WINEPREFIX names ours alone
trap stop EXIT
(wineserver -p >/dev/null 2>&1 &)
wine cmd /c exit >/dev/null 2>&1 </dev/null
"$@"
