#!/usr/bin/env bash
# The demo: builds, copies the sample installation into a temporary root, prints the sample
# plot on the laser, on the colour inkjet and on the pen plotter, a text file with
# printer-command escapes on the laser, and the Kanji plot and a Japanese text on the Japanese
# printer with the system language Japanese, through qx5spool, and turns what each printer
# received into PNG pages in demo-out/ (the plotter's HP-GL through hp2xx).
set -euo pipefail
cd "$(dirname "$0")"
. scripts/common.sh
ensure_packages
ensure_locales
configure_and_build build -DQX5_BENCH=OFF
trap stop_xvfb EXIT
[ -n "${DISPLAY:-}" ] || start_xvfb

root=$(mktemp -d /tmp/qx5demo.XXXXXX)
cp -a examples/root/. "$root/"
mkdir -p "$root/dev" "$root/usr/bin" "$root/u/tmp"
export QX5_ROOT="$root"
out="$PWD/demo-out"
rm -rf "$out"
mkdir -p "$out"

spool() {
  echo
  echo "== $*"
  build/bin/qx5spool "$@"
}

spool --printer 0 --name laser --capture "$out/laser.pcl" \
  plot "$root/samples/demo.plt" --title "sample plot, turned a quarter turn" \
  print "$root/samples/escapes.txt" --title "escapes"
spool --printer 1 --name inkjet --capture "$out/inkjet.pcl" \
  plot "$root/samples/demo.plt" --title "sample plot in colour, as drawn" --pagetype 4

# The pen plotter receives HP-GL vectors; hp2xx draws them as the plotter would.
spool --printer 2 --name plotter --capture "$out/plotter.hpgl" \
  plot "$root/samples/demo.plt" --title "sample plot with pens"

# The Japanese sample printer, on a root whose system language is Japanese (key 0 of
# sysgen.bin, rebuilt with mksysgen): the Kanji plot is drawn with the Japanese fonts, and the
# text is converted for the printer by its FILTER.
jroot=$(mktemp -d /tmp/qx5demo-ja.XXXXXX)
cp -a "$root/." "$jroot/"
sed 's/^0 int 0$/0 int 6/' examples/root/u/qx5/sys_data/files/sysgen.txt >"$jroot/sysgen-ja.txt"
build/bin/mksysgen "$jroot/sysgen-ja.txt" "$jroot/u/qx5/sys_data/files/sysgen.bin"
QX5_ROOT="$jroot" spool --printer 1 --name kanji --capture "$out/kanji.pcl" \
  plot "$jroot/samples/kanji.plt" --title "Kanji plot, system language Japanese" --pagetype 4 \
  print "$jroot/samples/japanese.txt" --title "Japanese text"
rm -rf "$jroot"

echo
echo "== hp2xx plotter"
hp2xx -N -q -m png -d 100 -t -f "$out/plotter.png" "$out/plotter.hpgl"
for dev in laser inkjet kanji; do
  echo "== pclview $dev"
  build/bin/pclview "$out/$dev.pcl" "$out/$dev"
done
rm -rf "$root"
echo
echo "The pages are in $out:"
ls -1 "$out"/*.png
