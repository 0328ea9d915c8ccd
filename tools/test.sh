#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the library with its tests (Debug, warnings as errors) and runs every test:
# unit, end-to-end, the exports check, qpdf and pdf.js checks on the outputs, and the
# real-world corpus check when ../shared/corpus is present.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset dev -DPDFSANITIZE_WERROR=ON
cmake --build --preset dev
ctest --preset dev
