#!/usr/bin/env bash
# Runs a Windows test program under Wine with a private, quiet prefix.
export WINEDEBUG=-all
export WINEPREFIX="${KESTRUNE_WINEPREFIX:-${TMPDIR:-/tmp}/kestrune-wine-$(id -u)}"
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -d "$WINEPREFIX" ]; then
  wineboot --init >/dev/null 2>&1 || true
fi
exec wine "$@"
