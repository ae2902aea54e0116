# Shared by run-tests.sh and run-demo.sh: installs what is missing, builds, runs a private X server.

# mandoc and groff-base lint the manual pages; dpkg-dev gives the package its dependencies and
# lintian judges it; hp2xx renders what a pen plotter receives (tests, demo).
QX5_PACKAGES="cmake g++ make libx11-dev libxext-dev libpng-dev libgtest-dev libbenchmark-dev xvfb xfonts-base
  xfonts-75dpi xfonts-100dpi locales nkf mandoc groff-base dpkg-dev lintian hp2xx"

missing_packages() {
  local p missing=""
  for p in $QX5_PACKAGES "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
  done
  echo "$missing"
}

# Installs the Debian packages that are missing (as root), or says the exact line to run.
ensure_packages() {
  local missing
  missing=$(missing_packages "$@")
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Run as root:"
    echo "  apt-get update && apt-get install -y$missing"
    exit 1
  fi
  echo "Installing:$missing"
  apt-get update -qq >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
}

# The locales the driver asks for: "english" for every plot, "ja_JP.EUC" for Japanese plots.
ensure_locales() {
  local have
  have=$(locale -a 2>/dev/null)
  local need=""
  echo "$have" | grep -qx 'english' || need="$need english"
  echo "$have" | grep -qix 'ja_JP.euc' || need="$need ja_JP.EUC"
  [ -z "$need" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing locales. Run as root:"
    echo "  localedef -i en_US -f ISO-8859-1 english && localedef -i ja_JP -f EUC-JP ja_JP.EUC"
    exit 1
  fi
  case "$need" in *english*) localedef -i en_US -f ISO-8859-1 english 2>/dev/null || true ;; esac
  case "$need" in *ja_JP*) localedef -i ja_JP -f EUC-JP ja_JP.EUC 2>/dev/null || true ;; esac
}

# configure_and_build DIR [cmake options...]
configure_and_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}

# Starts a private Xvfb of depth 8 unless one is given, and exports DISPLAY.
QX5_XVFB_PID=""
start_xvfb() {
  local fdfile
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x8 -nolisten tcp -noreset 3>"$fdfile" 2>/dev/null &
  QX5_XVFB_PID=$!
  local i
  for i in $(seq 1 100); do
    [ -s "$fdfile" ] && break
    sleep 0.1
  done
  if [ ! -s "$fdfile" ]; then
    echo "Xvfb did not start"
    exit 1
  fi
  export DISPLAY=":$(head -n1 "$fdfile")"
  rm -f "$fdfile"
}

stop_xvfb() {
  [ -n "$QX5_XVFB_PID" ] && kill "$QX5_XVFB_PID" 2>/dev/null
  QX5_XVFB_PID=""
}
