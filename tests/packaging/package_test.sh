#!/usr/bin/env bash
# The Debian package, made from a finished build folder: cpack, lintian
# without an error or a warning, the control fields, its file list, then the
# package unpacked (dpkg-deb -x) into a temporary root whose programs run:
# kelvane-merge on a small merge, kelvane --version.
#
#   package_test.sh BUILD_DIR
set -uo pipefail
build=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb=$build/kelvane_${version}_$(dpkg --print-architecture).deb
rm -f "$deb"
(cd "$build" && cpack -G DEB > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
[ -f "$deb" ] || { cat "$work/cpack.log"; echo "FAIL: no $deb"; exit 1; }

lintian --fail-on error,warning "$deb" 2> /dev/null || fail "lintian: errors or warnings above"

# The control fields: the name and version, and in Depends both what
# dpkg-shlibdeps found and what the program loads without linking it.
[ "$(dpkg-deb -f "$deb" Package)" = kelvane ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6webenginewidgets6 libicu72 qt6-qpa-plugins qt6-wayland libqt6svg6 qt6-translations-l10n \
  "fonts-wqy-microhei | fonts-noto-cjk"; do
  grep -qE "(^|, )$needed( \(|,|$)" <<< "$depends" || fail "Depends lacks $needed: $depends"
done

listed=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | LC_ALL=C sort)
diff -u "$here/installed_files.txt" - <<< "$listed" || fail "the package's files are not installed_files.txt"

root=$work/root
dpkg-deb -x "$deb" "$root"
run() { env -i PATH=/usr/bin:/bin "$@"; }

# A small merge: three line ends, a line repeated in another letter case
# (the first one stays), numbers before words in the C locale's Chinese order.
printf '15900000000\nabc\n13800000000\n' > "$work/a.txt"
printf 'ABC\r\n13800000000\r' > "$work/b.txt"
count=$(run LC_ALL=C "$root/usr/bin/kelvane-merge" "$work/out.txt" "$work/a.txt" "$work/b.txt") ||
  fail "kelvane-merge: status $?"
[ "$count" = 3 ] || fail "kelvane-merge printed \"$count\", not 3"
printf '13800000000\r\n15900000000\r\nabc\r\n' | cmp -s - "$work/out.txt" ||
  fail "kelvane-merge wrote: $(od -c "$work/out.txt" | head -n 3)"

answer=$(run "$root/usr/bin/kelvane-merge" --version 2>&1) || fail "kelvane-merge --version: status $?"
[ "$answer" = "kelvane-merge $version" ] || fail "kelvane-merge --version: $answer"

answer=$(run "$root/usr/bin/kelvane" --version 2>&1) || fail "kelvane --version: status $?"
[ "$answer" = "kelvane $version" ] || fail "kelvane --version: $answer"

[ "$failures" -eq 0 ] && echo "package $(basename "$deb"): ok"
exit $((failures != 0))
