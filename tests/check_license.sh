#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Every source file names its licence in its first lines.
set -euo pipefail
cd "$1"
missing=$(find include src cli tests bench examples tools python cmake man .ci CMakeLists.txt \
            \( -path tests/node/node_modules -o -path tests/fuzz/corpus -o -name __pycache__ \) -prune -o -type f \
            \( -name '*.c' -o -name '*.cpp' -o -name '*.h' -o -name '*.mjs' -o -name '*.py' -o -name '*.sh' \
               -o -name '*.cmake' -o -name '*.in' -o -name '*.map' -o -name '*.toml' -o -name 'CMakeLists.txt' \
               -o -name run -o -name '*.1' \) -print |
          while read -r f; do head -n 3 "$f" | grep -q "SPDX-License-Identifier: Apache-2.0" || echo "$f"; done)
if [[ -n "$missing" ]]; then
  echo "no SPDX licence line in:"; echo "$missing"; exit 1
fi
