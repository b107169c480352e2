#!/usr/bin/env bash
# Installs what is missing, builds Fennelwright, prepares the demo repository
# and starts the program on it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

bash tools/deps.sh
build=${FW_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"

if [ -x "$build/fennelwright" ]; then
  exec "$build/fennelwright" "$@"
fi
echo "Fennelwright's libraries are built in $build; the application window is not part of this build yet."
