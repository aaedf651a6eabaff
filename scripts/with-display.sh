#!/usr/bin/env bash
# Runs a command with an X display: the current one, else a private Xvfb.
# Without either the command still runs, and window tests skip themselves.
if [[ -n "${DISPLAY:-}" ]] || ! command -v xvfb-run >/dev/null 2>&1; then
  exec "$@"
fi
exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$@"
