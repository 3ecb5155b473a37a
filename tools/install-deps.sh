#!/bin/sh
# Installs, on Debian 12 as root, everything needed to build sitequery for
# x86-64 and 32-bit x86 and to run its tests (web servers and fuzzing included).
# A mirror in the middle of a sync fails a download now and then: each step is
# tried again a few times before the script gives up.
set -eu
export DEBIAN_FRONTEND=noninteractive
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
ATTEMPTS=5

# Runs its arguments until they succeed, at most ATTEMPTS times.
retry() {
    attempt=1
    until "$@"; do
        [ "$attempt" -lt "$ATTEMPTS" ] || return 1
        attempt=$((attempt + 1))
        sleep 15
    done
}

$SUDO dpkg --add-architecture i386
# Package lists that could not all be refreshed still serve when the packages
# are known from an earlier update; the install below says if they are not.
retry $SUDO apt-get update -qq || echo "install-deps: package lists not all refreshed" >&2
retry $SUDO apt-get install -y -qq --no-install-recommends \
    build-essential g++ g++-multilib cmake make python3 \
    libstemmer-dev libstemmer-dev:i386 libgtest-dev libgtest-dev:i386 \
    clang-14 libfuzzer-14-dev libclang-rt-14-dev clang-format-14 \
    unicode-data libicu-dev libxml2-utils libxml2-dev libxml2-dev:i386 poppler-utils \
    python3-feedparser chromium qemu-user lighttpd busybox apache2 nginx fcgiwrap \
    curl ca-certificates >/dev/null
