#!/usr/bin/env bash
# Runs a Windows test program under Wine with a private, quiet prefix. With KESTRUNE_XVFB set the
# program opens windows: it runs on a display of its own (Xvfb), in a prefix of its own.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ -n "${KESTRUNE_XVFB:-}" ] && [ -z "${KESTRUNE_ON_XVFB:-}" ]; then
  export KESTRUNE_ON_XVFB=1
  export KESTRUNE_WINEPREFIX="${KESTRUNE_WINEPREFIX:-${TMPDIR:-/tmp}/kestrune-wine-gui-$(id -u)}"
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
export WINEPREFIX="${KESTRUNE_WINEPREFIX:-${TMPDIR:-/tmp}/kestrune-wine-$(id -u)}"
if [ ! -d "$WINEPREFIX" ]; then
  wineboot --init >/dev/null 2>&1 || true
fi
exec wine "$@"
