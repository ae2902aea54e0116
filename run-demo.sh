#!/usr/bin/env bash
# The demo: builds, sets up a sample installation in a temporary root and runs the driver
# through qx5spool on it.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/common.sh
ensure_packages
ensure_locales
configure_and_build build
echo "demo: not yet"
