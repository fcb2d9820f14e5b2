#!/usr/bin/env bash
# Builds a Free Pascal cross compiler for Windows and its RTL from Debian's
# fpc-source-3.2.2 into OUT (Debian ships no Windows units):
#   build-fpc.sh i386-win32 OUT     OUT/bin/ppcross386, units in OUT/units/i386-win32/rtl
#   build-fpc.sh x86_64-win64 OUT   OUT/bin/ppcrossx64, units in OUT/units/x86_64-win64/rtl
# About 10 s, single-threaded; callers keep OUT per build tree.
# Needs fp-compiler-3.2.2 and fpc-source-3.2.2 (tools/setup.sh installs them).
set -euo pipefail
TARGET=${1:-}
case $TARGET in
    i386-win32) CPU=i386 COMPILER=ppcross386 ;;
    x86_64-win64) CPU=x86_64 COMPILER=ppcrossx64 ;;
    *) echo "usage: build-fpc.sh i386-win32|x86_64-win64 OUT" >&2; exit 2 ;;
esac
OS=${TARGET#*-}
OUT=$(mkdir -p "$2" && cd "$2" && pwd)
SRC=${FPC_SOURCE:-/usr/share/fpcsrc/3.2.2}
MSG=${FPC_ERROR_MESSAGES:-$(ls /usr/lib/*/fpc/3.2.2/msg/errore.msg 2>/dev/null | head -n 1)}
LOG=$OUT/build.log
[ -d "$SRC/compiler" ] && [ -d "$SRC/rtl" ] || { echo "build-fpc: no sources in $SRC (fpc-source-3.2.2)" >&2; exit 1; }
[ -f "$MSG" ] || { echo "build-fpc: no errore.msg (fp-compiler-3.2.2)" >&2; exit 1; }
mkdir -p "$OUT/gen" "$OUT/cunits" "$OUT/bin"
: > "$LOG"
trap 'echo "build-fpc: failed, see $LOG" >&2' ERR

# msgtxt.inc, which Debian's compiler sources lack, from the installed messages.
fpc -v0 -O2 -FE"$OUT/gen" -FU"$OUT/gen" "$SRC/compiler/utils/msg2inc.pp" >>"$LOG" 2>&1
(cd "$OUT/gen" && ./msg2inc "$MSG" msg msg) >>"$LOG" 2>&1

# The cross compiler, with the defines of the compiler's Makefile for the CPU.
(cd "$SRC/compiler" && fpc -v0 -O2 -Xs -d"$CPU" -dGDB -dBROWSERLOG -Fi"$OUT/gen" -Fi"$CPU" -Fix86 \
    -Fu. -Fu"$CPU" -Fux86 -Fusystems -FU"$OUT/cunits" -o"$OUT/bin/$COMPILER.new" pp.pas) >>"$LOG" 2>&1

# The RTL, as rtl/win32/Makefile.fpc and rtl/win64/Makefile.fpc build it.
U=$OUT/units/$TARGET/rtl
R=$SRC/rtl
mkdir -p "$U"
PPC=("$OUT/bin/$COMPILER.new" -n -v0 -T"$OS" -Ur -Xs -O2 -dRELEASE -FU"$U" -FE"$U"
     -Fi"$R/inc" -Fi"$R/$CPU" -Fi"$R/win" -Fi"$R/$OS" -Fu"$R/inc" -Fu"$R/$CPU" -Fu"$R/win" -Fu"$R/$OS" -Fu"$U")
(cd "$R/$OS" &&
    "${PPC[@]}" -Us -Sg system.pp &&
    "${PPC[@]}" -I"$R/objpas" "$R/objpas/objpas.pp" &&
    "${PPC[@]}" -Fi"$R/objpas/sysutils" -Fi"$R/objpas/classes" -I"$R/objpas" -I"$R/win/wininc" \
        -Fu"$R/win/wininc" -Fu"$R/objpas" buildrtl.pp) >>"$LOG" 2>&1
rm -rf "$OUT/gen" "$OUT/cunits"
# Last: the build rule takes the compiler's presence as proof of the whole.
mv "$OUT/bin/$COMPILER.new" "$OUT/bin/$COMPILER"
