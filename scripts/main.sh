#!/usr/bin/env bash
# The main job: builds the package and runs it on the sample model.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev
export PRINTHOST_ROOT="${PRINTHOST_ROOT:-$PWD/build/dev/machine}"
bin=build/dev/bin
if [ -x "$bin/printhost" ]; then
  exec "$bin/printhost" main
fi
echo "printhost is not built yet; the platform base built and its tests can be run with scripts/test.sh"
ctest --preset dev -L unit
