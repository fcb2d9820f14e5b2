# Which osslsigncode the release tools run: QUELL_OSSLSIGNCODE when set, else
# the backport that tools/setup.sh unpacked into .cache, else the system's.
# Sourced; tools/release/release.py makes the same choice.
osslsigncode_path() {
    local root=$1
    if [ -n "${QUELL_OSSLSIGNCODE:-}" ]; then echo "$QUELL_OSSLSIGNCODE"
    elif [ -x "$root/.cache/osslsigncode/root/usr/bin/osslsigncode" ]; then echo "$root/.cache/osslsigncode/root/usr/bin/osslsigncode"
    else echo osslsigncode
    fi
}
# 2.9 or later: attach-signature's exit status tells a digest mismatch.
osslsigncode_is_recent() {
    local version
    version=$("$1" --version 2>/dev/null | sed -n '1s/^osslsigncode \([0-9]*\)\.\([0-9]*\).*/\1 \2/p')
    [ -n "$version" ] && set -- $version && { [ "$1" -gt 2 ] || { [ "$1" -eq 2 ] && [ "$2" -ge 9 ]; }; }
}
