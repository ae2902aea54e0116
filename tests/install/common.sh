# Shared by the install and package checks: the arguments and the failure line.
#   BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
fail() {
  echo "FAIL: $*"
  exit 1
}
