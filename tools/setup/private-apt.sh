# Fetches Debian packages through a private APT configuration and unpacks them
# into a directory of their own: APT gets its own state, cache and package
# lists, so nothing is registered with the system (no foreign dpkg
# architecture, no added sources, no binfmt entry). Sourced by the set-up
# scripts.
# private_apt_fetch DIR ARCH SOURCES PACKAGE...: unpacks each PACKAGE (for ARCH)
# into DIR/root; SOURCES is a sources.list line, or empty for the system's own.
private_apt_fetch() {
    local dir=$1 arch=$2 sources=$3
    shift 3
    local apt=$dir/apt
    rm -rf "$apt" "$dir/debs"
    mkdir -p "$apt/state/lists/partial" "$apt/cache/archives/partial" "$apt/sources.list.d" "$dir/debs" "$dir/root"
    : > "$apt/status"
    cat > "$apt/apt.conf" <<CONF
APT::Architecture "$arch";
APT::Architectures { "$arch"; };
Dir::State "$apt/state";
Dir::State::status "$apt/status";
Dir::Cache "$apt/cache";
Debug::NoLocking "true";
CONF
    if [ -n "$sources" ]; then
        echo "$sources" > "$apt/sources.list"
        printf 'Dir::Etc::SourceList "%s";\nDir::Etc::SourceParts "%s";\n' \
            "$apt/sources.list" "$apt/sources.list.d" >> "$apt/apt.conf"
    fi
    APT_CONFIG=$apt/apt.conf apt-get update -qq -o APT::Sandbox::User=root >/dev/null
    (cd "$dir/debs" && APT_CONFIG=$apt/apt.conf apt-get download -qq -o APT::Sandbox::User=root \
        "${@/%/:$arch}" >/dev/null)
    local deb
    for deb in "$dir"/debs/*.deb; do dpkg-deb -x "$deb" "$dir/root"; done
    rm -rf "$apt" "$dir/debs"
}
