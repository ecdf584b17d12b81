#!/usr/bin/env bash
# The main job: builds the package and runs it on the large sample model.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev
export PRINTHOST_ROOT="${PRINTHOST_ROOT:-$PWD/build/dev/machine}"
# Every model query answered by Modelsmith.DLL, loaded by name from the driver directory.
exec build/dev/bin/printhost model build/dev/models/CX5540.DAT
