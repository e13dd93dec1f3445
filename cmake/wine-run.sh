#!/bin/sh
# Runs one cross-built Windows program under Wine for the build and CTest, headless:
#
#   wine-run.sh WINE_LOADER WINESERVER WINEPREFIX PROGRAM [ARGUMENT...]
#
# The program gets no display, so a message box returns at once instead of waiting for a click
# on some desktop, and Wine's own diagnostics stay out of the output the tests compare.
set -eu
wine=$1
wineserver=$2
export WINEPREFIX="$3"
shift 3
unset DISPLAY WAYLAND_DISPLAY
export WINEDEBUG=-all

# The first program of a Wine session starts the session's background processes (services,
# device drivers, the hidden desktop), and they inherit its standard streams. Under CTest that
# holds the program's output pipe open until the session ends: the test, or the discovery of a
# test executable, seems to run until the whole suite is done. So when no session is up, one is
# started here, and a no-op program with its streams detached brings up those processes; the
# lock keeps a test started alongside from getting there first.
mkdir -p "$WINEPREFIX"
(
  flock 9
  # Starting a server fails at once when the prefix has one already.
  # Neither the server nor the session's processes may keep the lock's descriptor: they outlive
  # this block, and would hold the lock for as long as the session lasts.
  if "$wineserver" -p3 </dev/null >/dev/null 2>&1 9>&-; then
    "$wine" cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
  fi
) 9>"$WINEPREFIX/.vostrel-session.lock"

exec "$wine" "$@"
