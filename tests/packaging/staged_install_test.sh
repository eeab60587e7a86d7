#!/usr/bin/env bash
# The install rules, staged under a temporary DESTDIR with the package's
# prefix: exactly the files of installed_files.txt; a desktop entry and
# metadata that their validators accept and that point at installed files;
# manual pages that man finds and formats without a warning; and the
# installed window program answering --help and --version with no display
# and, as root, without the sandbox variable.
#
#   staged_install_test.sh BUILD_DIR VERSION
set -uo pipefail
build=$1
version=$2
here=$(cd "$(dirname "$0")" && pwd)

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

DESTDIR=$stage cmake --install "$build" --prefix /usr > "$stage.log" 2>&1 ||
  { cat "$stage.log"; rm -f "$stage.log"; echo "FAIL: cmake --install"; exit 1; }
rm -f "$stage.log"

listed=$(cd "$stage" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
diff -u "$here/installed_files.txt" - <<< "$listed" || fail "the installed files are not installed_files.txt"

# The desktop entry and the metadata: their validators, then what they name.
share=$stage/usr/share
entry=$share/applications/com.example.kelvane.desktop
# A hint or a warning counts as much as an error.
if ! complaints=$(desktop-file-validate "$entry" 2>&1) || [ -n "$complaints" ]; then
  fail "desktop-file-validate: $complaints"
fi
# The tree form also finds the desktop entry the metadata launches.
complaints=$(appstreamcli validate-tree --no-net "$stage" 2>&1) || fail "appstreamcli: $complaints"
field() { sed -n "s/^$1=//p" "$entry"; }
[ -x "$stage/usr/bin/$(field Exec)" ] || fail "Exec=$(field Exec) is not installed"
[ -f "$share/icons/hicolor/scalable/apps/$(field Icon).svg" ] || fail "Icon=$(field Icon) is not installed"
grep -q "<release version=\"$version\"" "$share/metainfo/com.example.kelvane.metainfo.xml" ||
  fail "the metadata's release is not $version"

for page in kelvane kelvane-merge; do
  found=$(man --manpath="$share/man" -w "$page" 2>&1)
  [ "$found" = "$share/man/man1/$page.1.gz" ] || fail "man -w $page: $found"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$found" 2>&1 > /dev/null)
  [ -z "$warnings" ] || fail "man $page warns: $warnings"
done

# Answered before any display or browser is needed: the environment holds
# neither a display nor QTWEBENGINE_DISABLE_SANDBOX. Qt's own options stay
# allowed beside them.
program=$stage/usr/bin/kelvane
while IFS='|' read -r arguments expected; do
  # shellcheck disable=SC2086 # the arguments are words
  answer=$(env -i PATH=/usr/bin:/bin ${ASAN_OPTIONS:+ASAN_OPTIONS=$ASAN_OPTIONS} \
    ${LSAN_OPTIONS:+LSAN_OPTIONS=$LSAN_OPTIONS} timeout 20 "$program" $arguments 2>&1)
  status=$?
  if [ "$status" -ne 0 ] || ! grep -qxF -- "$expected" <<< "$answer"; then
    fail "kelvane $arguments: status $status, no line \"$expected\" in: $answer"
  fi
done << TABLE
--version|kelvane $version
-platform offscreen --version|kelvane $version
--help|Usage: $program [options]
-h|  --version   Show the version and exit.
TABLE

[ "$failures" -eq 0 ] && echo "staged install: ok"
exit $((failures != 0))
