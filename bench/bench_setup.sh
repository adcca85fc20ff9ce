# Shared set-up of the side-by-side benchmark scripts; sourced from the repository root.

# Installs the named Debian packages (the caller lists only the missing ones).
install_packages() {
    (($# > 0)) || return 0
    export DEBIAN_FRONTEND=noninteractive
    apt-get update >/dev/null
    apt-get install -y --no-install-recommends "$@" >/dev/null
}

# Builds pictor-cli and copies it into the folder given, so a rebuild during a long run cannot
# pull the program away; prints the copy's path.
private_cli() {
    cmake --preset release >/dev/null
    cmake --build --preset release --target pictor-cli >/dev/null
    cp build/release/cli/pictor-cli "$1/"
    echo "$1/pictor-cli"
}
