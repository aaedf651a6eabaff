#!/usr/bin/env bash
# Opens the window against the built-in demo services.
set -euo pipefail
build_dir=${1:-build}
window="$build_dir/src/app/strivo"
if [[ ! -x "$window" ]]; then
  echo "The Strivo window was not built: wxWidgets or GTK was not found ('make deps' installs them)." >&2
  echo "The command-line tool works without them: $build_dir/src/app/strivo-cli sync --demo" >&2
  exit 1
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "There is no display to open the window on." >&2
  echo "Try the command-line tool instead: $build_dir/src/app/strivo-cli sync --demo" >&2
  exit 1
fi
exec "$window" --demo
