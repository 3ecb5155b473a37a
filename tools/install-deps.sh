#!/bin/sh
# Installs, on Debian 12 as root, everything needed to build sitequery for
# x86-64 and 32-bit x86 and to run its tests (web servers and fuzzing included).
set -eu
export DEBIAN_FRONTEND=noninteractive
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO dpkg --add-architecture i386
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
    build-essential g++ g++-multilib cmake make python3 \
    libstemmer-dev libstemmer-dev:i386 libgtest-dev libgtest-dev:i386 \
    clang-14 libfuzzer-14-dev libclang-rt-14-dev clang-format-14 \
    unicode-data libicu-dev libxml2-utils libxml2-dev python3-feedparser chromium \
    qemu-user lighttpd busybox apache2 curl ca-certificates >/dev/null
