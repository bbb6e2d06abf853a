#!/usr/bin/env bash
# The window through the desktop's accessibility bus, as the Orca screen reader meets it:
# a private D-Bus session and X display, settings, working folder and desktop of its own.
# Usage: a11y_test.sh PROGRAM DOCUMENT. Exit code 77 (skipped) only when a package it
# needs is not installed.
set -euo pipefail
program=$1
document=$2
here=$(cd "$(dirname "$0")" && pwd)

missing=()
command -v dbus-run-session >/dev/null || missing+=(dbus)
command -v xvfb-run >/dev/null || missing+=(xvfb)
command -v xauth >/dev/null || missing+=(xauth)
command -v xdotool >/dev/null || missing+=(xdotool)
[ -x /usr/libexec/at-spi-bus-launcher ] || missing+=(at-spi2-core)
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || missing+=(python3-pyatspi)
if ((${#missing[@]})); then
  echo "SKIP: not installed: ${missing[*]} (./vocatext.sh test installs them)"
  exit 77
fi

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -m 0700 "$home/run" "$home/tmp"
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
  XDG_CACHE_HOME="$home/.cache" XDG_RUNTIME_DIR="$home/run" TEMP="$home/tmp"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS
# The display first, so the session bus hands it to the accessibility services it starts
# (their key synthesis types on it); Debian's Python, which holds pyatspi, whatever
# python3 comes first in PATH.
exec xvfb-run -a -s "-screen 0 1024x768x24" dbus-run-session -- \
  /usr/bin/python3 "$here/window_a11y_test.py" "$program" "$document"
