#!/usr/bin/env bash
# Runs a command inside the project's own Wine session: a prefix under build/,
# a persistent wineserver started and the prefix warmed with all output sent to
# /dev/null (Wine's background services would otherwise hold the command's pipes
# open), and the server stopped afterwards, whatever the command's outcome.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono/Gecko installer prompts
mkdir -p "$WINEPREFIX"

stop() { wineserver -k >/dev/null 2>&1 || true; }
trap stop EXIT
(wineserver -p >/dev/null 2>&1 &)
wine cmd /c exit >/dev/null 2>&1 </dev/null
"$@"
