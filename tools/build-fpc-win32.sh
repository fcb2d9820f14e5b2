#!/usr/bin/env bash
# Builds a Free Pascal cross compiler for i386-win32 and its RTL from Debian's
# fpc-source-3.2.2 into OUT (Debian ships neither): OUT/bin/ppcross386 and the
# units in OUT/units/i386-win32/rtl. About 10 s, single-threaded; callers keep
# OUT per build tree.
# Needs fp-compiler-3.2.2 and fpc-source-3.2.2 (tools/setup.sh installs them).
set -euo pipefail
OUT=$(mkdir -p "$1" && cd "$1" && pwd)
SRC=${FPC_SOURCE:-/usr/share/fpcsrc/3.2.2}
MSG=${FPC_ERROR_MESSAGES:-$(ls /usr/lib/*/fpc/3.2.2/msg/errore.msg 2>/dev/null | head -n 1)}
LOG=$OUT/build.log
[ -d "$SRC/compiler" ] && [ -d "$SRC/rtl" ] || { echo "build-fpc-win32: no sources in $SRC (fpc-source-3.2.2)" >&2; exit 1; }
[ -f "$MSG" ] || { echo "build-fpc-win32: no errore.msg (fp-compiler-3.2.2)" >&2; exit 1; }
mkdir -p "$OUT/gen" "$OUT/cunits" "$OUT/bin"
: > "$LOG"
trap 'echo "build-fpc-win32: failed, see $LOG" >&2' ERR

# msgtxt.inc, which Debian's compiler sources lack, from the installed messages.
fpc -v0 -O2 -FE"$OUT/gen" -FU"$OUT/gen" "$SRC/compiler/utils/msg2inc.pp" >>"$LOG" 2>&1
(cd "$OUT/gen" && ./msg2inc "$MSG" msg msg) >>"$LOG" 2>&1

# The cross compiler, with the defines of the compiler's Makefile for i386.
(cd "$SRC/compiler" && fpc -v0 -O2 -Xs -dI386 -dGDB -dBROWSERLOG -Fi"$OUT/gen" -Fii386 -Fix86 \
    -Fu. -Fui386 -Fux86 -Fusystems -FU"$OUT/cunits" -o"$OUT/bin/ppcross386.new" pp.pas) >>"$LOG" 2>&1

# The win32 RTL, as rtl/win32/Makefile.fpc builds it.
U=$OUT/units/i386-win32/rtl
R=$SRC/rtl
mkdir -p "$U"
PPC=("$OUT/bin/ppcross386.new" -n -v0 -Twin32 -Ur -Xs -O2 -dRELEASE -FU"$U" -FE"$U"
     -Fi"$R/inc" -Fi"$R/i386" -Fi"$R/win" -Fi"$R/win32" -Fu"$R/inc" -Fu"$R/i386" -Fu"$R/win" -Fu"$R/win32" -Fu"$U")
(cd "$R/win32" &&
    "${PPC[@]}" -Us -Sg system.pp &&
    "${PPC[@]}" -I"$R/objpas" "$R/objpas/objpas.pp" &&
    "${PPC[@]}" -Fi"$R/objpas/sysutils" -Fi"$R/objpas/classes" -I"$R/objpas" -I"$R/win/wininc" \
        -Fu"$R/win/wininc" -Fu"$R/objpas" buildrtl.pp) >>"$LOG" 2>&1
rm -rf "$OUT/gen" "$OUT/cunits"
# Last: the build rule takes the compiler's presence as proof of the whole.
mv "$OUT/bin/ppcross386.new" "$OUT/bin/ppcross386"
