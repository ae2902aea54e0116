#!/usr/bin/env bash
# Builds the Debian package of a build directory with CPack and checks it: the programs, every
# manual page (compressed), the copyright and changelog and the whole sample tree are in it,
# nothing lies under /u/ or /dev/, the runtime dependencies are declared, and lintian finds no
# error in it (its warnings are printed).
#   check_deb.sh BUILD_DIR SOURCE_DIR
. "$(dirname "$0")/common.sh"
rm -f "$build"/qx5lp_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || fail "cpack failed: $(tail -n 20 "$build/cpack.log")"
debs=("$build"/qx5lp_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no package was written"
deb=${debs[0]}

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
want="./usr/bin/qx5lp ./usr/bin/qx5spool ./usr/bin/pclview ./usr/bin/mksysgen ./usr/bin/mkswitch
  ./usr/share/doc/qx5lp/copyright ./usr/share/doc/qx5lp/changelog.gz"
for page in "$source"/docs/man/*.[1-9]; do
  name=$(basename "$page")
  want="$want ./usr/share/man/man${name##*.}/$name.gz"
done
for f in $(cd "$source/examples/root" && find . -type f); do
  want="$want ./usr/share/qx5lp/examples/${f#./}"
done
for f in $want; do
  grep -qxF "$f" <<<"$contents" || fail "not in the package: $f"
done
if grep -Eq '^\./(u|dev)(/|$)' <<<"$contents"; then fail "the package installs under /u or /dev"; fi

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libx11 libxext libpng libc6; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
grep -qw nkf <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "nkf is not recommended"
grep -qw xvfb <<<"$(dpkg-deb -f "$deb" Suggests)" || fail "xvfb is not suggested"
# The pages as installed are the sources, compressed.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp"
for page in "$source"/docs/man/*.[1-9]; do
  name=$(basename "$page")
  zcat "$tmp/usr/share/man/man${name##*.}/$name.gz" | cmp -s - "$page" || fail "$name.gz is not $name"
done

lintian --fail-on error --tag-display-limit 0 "$deb" >"$build/lintian.log" 2>&1 ||
  fail "lintian: $(cat "$build/lintian.log")"
grep -q '^E: ' "$build/lintian.log" && fail "lintian: $(cat "$build/lintian.log")"
grep -v 'root privileges' "$build/lintian.log" | sed 's/^/lintian: /' || true
echo "ok: $deb ($(wc -l <<<"$contents") entries; Depends: $depends)"
