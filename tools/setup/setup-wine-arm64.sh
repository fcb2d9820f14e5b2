#!/usr/bin/env bash
# Fetches Debian's arm64 Wine with the few arm64 libraries it needs and unpacks
# it into a directory of its own (default: .cache/wine-arm64 in the source
# tree), to run ARM64 Windows programs under qemu-aarch64-static. Nothing is
# registered with the system (tools/setup/private-apt.sh).
# Does nothing when the directory is complete. Usage: setup-wine-arm64.sh [DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=${1:-$root/.cache/wine-arm64}
packages=(wine64 libwine libc6 libgcc-s1 libunwind8 liblzma5)
complete=$dir/complete
. "$root/tools/setup/private-apt.sh"

if [ -f "$complete" ] && [ -x "$dir/root/usr/lib/wine/wine64" ]; then exit 0; fi
rm -rf "$dir"
echo "setup: fetching the arm64 Wine (${packages[*]}) into $dir"
private_apt_fetch "$dir" arm64 "" "${packages[@]}"

# Wine starts each new process through wine64-preloader beside wine64 (arm64
# Wine has none) and its server through the wineserver script there, which
# runs wineserver64: arm64 binaries that this machine runs only under qemu.
# Scripts in their place run them so.
wine=$dir/root/usr/lib/wine
[ -x "$wine/wine64" ] && [ -x "$wine/wineserver64" ] || { echo "setup: no wine64 or wineserver64 in $wine" >&2; exit 1; }
cat > "$wine/wine64-preloader" <<'SCRIPT'
#!/bin/sh
# Runs the arm64 program named first (Wine's loader) under qemu.
here=$(dirname "$(readlink -f "$0")")
exec qemu-aarch64-static -L "${here%/usr/lib/wine}" "$@"
SCRIPT
cat > "$wine/wineserver" <<'SCRIPT'
#!/bin/sh
here=$(dirname "$(readlink -f "$0")")
exec qemu-aarch64-static -L "${here%/usr/lib/wine}" "$here/wineserver64" -p0 "$@"
SCRIPT
chmod +x "$wine/wine64-preloader" "$wine/wineserver"
printf '%s\n' "${packages[@]}" > "$complete"
