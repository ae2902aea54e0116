# Shared by the comparisons in bench/ (source it from the repository root, after
# scripts/common.sh and once GNU time is installed): builds into build/ when needed, makes a
# private installation root from the samples with a 600 dpi laser added, starts a private Xvfb,
# writes the reference page (2,000 lines, 200 circles, 100 short
# labels in an 8 x 10 inch window on a letter page, from a fixed seed) as a plot file and as
# the same PostScript, and times plot requests of it through qx5spool. The Xvfb is started the
# plain way, as the README and qx5lp(8) tell users to (depth 8, no -noreset: the server resets
# whenever its last client goes), with the words of XVFB_OPTIONS added.
BUILD=${QX5_BUILD:-build}
[ -x "$BUILD/bin/qx5lp" ] && [ -x "$BUILD/bin/qx5spool" ] || configure_and_build "$BUILD" >/dev/null
BIN=$(cd "$BUILD/bin" && pwd)

WORK=$(mktemp -d /tmp/qx5bench.XXXXXX)
XVFB_PID=""
cleanup() {
  [ -z "$XVFB_PID" ] || kill "$XVFB_PID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
# shellcheck disable=SC2086  # XVFB_OPTIONS: words to add (a comparison may ask for -noreset)
Xvfb -displayfd 3 -screen 0 1280x1024x8 -nolisten tcp ${XVFB_OPTIONS:-} 3>"$WORK/display" 2>/dev/null &
XVFB_PID=$!
for _ in $(seq 100); do
  [ -s "$WORK/display" ] && break
  sleep 0.1
done
[ -s "$WORK/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$WORK/display")"

export QX5_ROOT="$WORK/root"
cp -a examples/root "$QX5_ROOT"
mkdir -p "$QX5_ROOT/dev" "$QX5_ROOT/u/tmp" "$QX5_ROOT/usr/bin"
echo '"laser600" HPPCL laserjet.cod English BW Single 600 600 60 0' \
  >>"$QX5_ROOT/u/qx5/def_data/printers/CONFIG"

# The reference page. Park-Miller random numbers (exact in awk's doubles); plot units are
# inches from the lower left corner of the window, which PostScript places 0.25 in. from the
# left and 0.5 in. from the bottom of the page. Labels are in the X font 9x15, 15 dots high at
# 300 dpi: Courier at 3.6 points. Lines are the thinnest a device draws, as X's width 1.
awk -v plt="$WORK/page.plt" -v ps="$WORK/page.ps" -v cps="$WORK/colour.ps" '
function rnd(range) { seed = (seed * 16807) % 2147483647; return seed / 2147483647 * range }
function both(p, s) { print p > plt; print s > ps; print s > cps }
BEGIN {
  seed = 20261208
  # plot colours 3, 4, 5, 6 print black, red, green and blue on the inkjet
  split("0 0 0|1 0 0|0 1 0|0 0 1", rgb, "|")
  print "WINDOW(1,0.0,0.0,8.0,10.0)\nPLOTSETUP(0,0,0)\nF(\"9x15\")" > plt
  head = "%!PS-Adobe-3.0\n<< /PageSize [612 792] >> setpagedevice\n18 36 translate 72 72 scale\n" \
         "0 setlinewidth /Courier findfont 0.05 scalefont setfont"
  print head > ps; print head > cps
  for (i = 0; i < 2000; i++) {
    if (i % 500 == 0) {
      c = i / 500
      print "C(" 3 + c ")" > plt
      print rgb[c + 1] " setrgbcolor" > cps
    }
    x1 = rnd(8); y1 = rnd(10); x2 = rnd(8); y2 = rnd(10)
    both(sprintf("M(%.3f,%.3f)\nL(%.3f,%.3f)", x1, y1, x2, y2),
         sprintf("newpath %.3f %.3f moveto %.3f %.3f lineto stroke", x1, y1, x2, y2))
  }
  for (i = 0; i < 200; i++) {
    x = rnd(8); y = rnd(10); r = 0.05 + rnd(0.5)
    both(sprintf("A(%.3f,%.3f,%.3f,0.0,360.0,0)", x, y, r),
         sprintf("newpath %.3f %.3f %.3f 0 360 arc stroke", x, y, r))
  }
  for (i = 0; i < 100; i++) {
    x = rnd(7); y = rnd(10)
    both(sprintf("S(%.3f,%.3f,\"label %d\")", x, y, i),
         sprintf("%.3f %.3f moveto (label %d) show", x, y, i))
  }
  print "showpage" > ps; print "showpage" > cps
}'

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# N plot requests in a row through qx5spool, to one driver (default 1): prints "milliseconds
# bytes peak-kB", per page. The time runs from the first request line to the last answer line,
# which qx5spool prints as each happens; the peak is the largest resident size of qx5spool and
# the driver it waited for (the driver's is the larger). The device is a FIFO (--capture), or
# with a fourth argument --capture-net a network printer on the loopback.
driver_run() {
  local printer=$1 pagetype=$2 n=${3:-1} capture=${4:---capture} t0="" t1="" answers=0 line i
  local requests=()
  for i in $(seq "$n"); do requests+=(plot "$WORK/page.plt" --pagetype "$pagetype"); done
  rm -f "$WORK/cap.pcl"
  while IFS= read -r line; do
    case $line in
      "qx5spool: request plot"*) [ -n "$t0" ] || t0=$EPOCHREALTIME ;;
      "qx5spool: answer"*status=0*)
        t1=$EPOCHREALTIME
        answers=$((answers + 1))
        ;;
    esac
  done < <(/usr/bin/time -f %M -o "$WORK/rss" "$BIN/qx5spool" -n "$printer" \
    "$capture" "$WORK/cap.pcl" "${requests[@]}")
  [ -n "$t0" ] && [ "$answers" -eq "$n" ] || { echo "the driver did not print the pages" >&2; exit 1; }
  echo "$(awk -v a="$t0" -v b="$t1" -v n="$n" 'BEGIN { printf "%.1f", (b - a) * 1000 / n }')" \
    "$(($(stat -c %s "$WORK/cap.pcl") / n))" "$(tail -n1 "$WORK/rss")"
}
