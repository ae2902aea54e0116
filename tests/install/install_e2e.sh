#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR, copies the installed sample tree into a
# temporary QX5_ROOT, prints the sample plot and a text file with the installed qx5spool and
# qx5lp, and decodes what the printer received with the installed pclview. The installed
# programs must send exactly the bytes the built ones send.
#   install_e2e.sh BUILD_DIR SOURCE_DIR      (needs DISPLAY: an X server for the plot)
. "$(dirname "$0")/common.sh"
[ -n "${DISPLAY:-}" ] || fail "no X server: DISPLAY is not set (run through ./run-tests.sh)"

tmp=$(mktemp -d /tmp/qx5install.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
dest=$tmp/dest
DESTDIR=$dest cmake --install "$build" --prefix /usr >"$tmp/install.log"
prefix=$dest/usr

# What is installed, and nothing outside the prefix (no /u/, no /dev/).
[ "$(ls "$dest")" = usr ] || fail "installed outside the prefix: $(ls "$dest" | tr '\n' ' ')"
for f in bin/qx5lp bin/qx5spool bin/pclview \
  share/qx5lp/examples/u/qx5/def_data/printers/CONFIG \
  share/qx5lp/examples/u/qx5/sys_data/files/sysgen.bin \
  share/qx5lp/examples/samples/demo.plt; do
  [ -e "$prefix/$f" ] || fail "not installed: $f"
done
for page in "$source"/docs/man/*.[1-9]; do
  name=$(basename "$page")
  zcat "$prefix/share/man/man${name##*.}/$name.gz" | cmp -s - "$page" ||
    fail "manual page not installed compressed: $name"
done
for f in bin/mksysgen bin/mkswitch share/doc/qx5lp/copyright share/doc/qx5lp/changelog.gz; do
  [ -e "$prefix/$f" ] || fail "not installed: $f"
done
(cd "$source/examples/root" && find . -type f | sort) >"$tmp/tree.src"
(cd "$prefix/share/qx5lp/examples" && find . -type f | sort) >"$tmp/tree.inst"
diff -u "$tmp/tree.src" "$tmp/tree.inst" || fail "the sample tree is not installed whole"

# One run of a qx5spool on its own copy of the installed sample tree: ROOT BIN_DIR.
run() {
  local root=$1 bin=$2
  cp -a "$prefix/share/qx5lp/examples/." "$root/"
  mkdir -p "$root/dev" "$root/usr/bin" "$root/u/tmp"
  QX5_ROOT=$root "$bin/qx5spool" --name laser --capture "$root/laser.pcl" \
    plot "$root/samples/demo.plt" --title installed \
    print "$root/samples/escapes.txt" --title escapes >"$root/spool.log" ||
    fail "qx5spool ($bin) did not succeed: $(cat "$root/spool.log")"
}
mkdir -p "$tmp/inst" "$tmp/built"
run "$tmp/inst" "$prefix/bin"
log=$tmp/inst/spool.log
grep -q "^qx5spool: started $prefix/bin/qx5lp 0 " "$log" || fail "the installed qx5lp was not the one started"
[ "$(grep -c '^qx5spool: answer cmd=12 status=0 ' "$log")" -eq 2 ] || fail "two answers with status 0 expected: $(cat "$log")"
grep -q '^qx5spool: exit cmd=13 ' "$log" || fail "no exit message"
[ "$(head -n1 "$tmp/inst/u/tmp/P1")" = laser ] || fail "no setup data file under the root"

"$prefix/bin/pclview" "$tmp/inst/laser.pcl" "$tmp/inst/laser" >"$tmp/view.log" || fail "pclview failed"
grep -Eq "^page 1: [1-9][0-9]* rows, [1-9][0-9]* bytes per row, 1 plane(, compression mode [0-9])? -> $tmp/inst/laser-1.png\$" "$tmp/view.log" ||
  fail "no raster page decoded: $(cat "$tmp/view.log")"
grep -Eq '^page 2: no raster rows, [1-9][0-9]* text characters$' "$tmp/view.log" ||
  fail "no text page decoded: $(cat "$tmp/view.log")"
[ "$(head -c 8 "$tmp/inst/laser-1.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
  fail "laser-1.png is not a PNG"

# The built programs, on the same tree, send the same bytes.
run "$tmp/built" "$build/bin"
cmp "$tmp/inst/laser.pcl" "$tmp/built/laser.pcl" || fail "the installed programs sent other bytes"
echo "ok: installed into $prefix, printed and decoded $(grep -c '^page' "$tmp/view.log") pages"
