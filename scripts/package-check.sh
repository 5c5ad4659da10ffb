#!/usr/bin/env bash
# Builds the Debian package from a built folder (default build/, a Release or RelWithDebInfo
# build with the GUI) and checks it: lintian (errors fail), the desktop entry, the AppStream
# metadata and the manual pages; then runs the packaged programs from an unpacked copy.
# Installs nothing on the system; every file the programs write goes to a scratch folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

fail() {
  echo "package-check: $*" >&2
  exit 1
}

need() {  # need <command> <Debian package>
  command -v "$1" >/dev/null || fail "$1 is missing (install the Debian package $2)"
}
need cpack cmake
need dpkg-deb dpkg
need dpkg-shlibdeps dpkg-dev
need lintian lintian
need desktop-file-validate desktop-file-utils
need appstreamcli appstream
need man man-db

[ -f "$build/CMakeCache.txt" ] || fail "$build is not a configured build folder"
grep -q '^TARN_SANITIZE:BOOL=ON' "$build/CMakeCache.txt" && fail "$build is a sanitizer build"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Brings the folder up to date, and configures the install rules should it predate them.
cmake --build "$build" -j2 >"$scratch/build.log" 2>&1 || { cat "$scratch/build.log" >&2; fail "the build failed"; }
# Whatever runs below keeps out of the user's home.
export HOME=$scratch/home XDG_DATA_HOME=$scratch/home/.local/share XDG_RUNTIME_DIR=$scratch/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export LC_ALL=C.UTF-8

echo "== package"
rm -f "$build"/package/tarn_*.deb
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$build/package" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
debs=("$build"/package/tarn_*.deb)
[ -f "${debs[0]}" ] || fail "cpack made no tarn_*.deb"
deb=${debs[0]}
echo "$deb"
dpkg-deb --field "$deb" Package Version Depends

echo "== lintian"
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
usr=$root/usr
for f in bin/tarn bin/tarngrep bin/tarnre share/applications/tarn.desktop \
         share/icons/hicolor/scalable/apps/tarn.svg share/icons/hicolor/48x48/apps/tarn.png \
         share/man/man1/tarn.1.gz share/man/man1/tarngrep.1.gz share/man/man1/tarnre.1.gz \
         share/doc/tarn/copyright share/doc/tarn/changelog.gz; do
  [ -e "$usr/$f" ] || fail "the package has no /usr/$f"
done

echo "== desktop entry and AppStream metadata"
desktop-file-validate "$usr/share/applications/tarn.desktop" || fail "desktop entry invalid"
metainfo=("$usr"/share/metainfo/*.metainfo.xml)
[ -f "${metainfo[0]}" ] || fail "the package has no metainfo file"
# The whole tree, so the launchable is checked against the desktop entry shipped beside it.
appstreamcli validate-tree --no-net "$root" || fail "AppStream metadata invalid"
grep -q '<launchable type="desktop-id">tarn.desktop</launchable>' "${metainfo[0]}" ||
  fail "the metainfo does not launch tarn.desktop"

echo "== manual pages"
for page in "$usr"/share/man/man1/*.1.gz; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man cannot render $page"
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

echo "== packaged programs"
data=$scratch/data
out=$("$usr/bin/tarngrep" -q --encoding utf-8 --data-dir "$data" 東京 samples "*.txt") ||
  fail "tarngrep found nothing (status $?)"
grep -q '/samples/東京案内.txt(1): 東京案内$' <<<"$out" || fail "tarngrep printed: $out"
[ "$out" = "$("$build/src/app/tarngrep" -q --encoding utf-8 --data-dir "$data" 東京 samples "*.txt")" ] ||
  fail "the packaged tarngrep and the built one print different lines"
status=0
"$usr/bin/tarngrep" -q --data-dir "$data" zzzzzz samples >/dev/null || status=$?
[ "$status" -eq 1 ] || fail "tarngrep without a hit ended with $status instead of 1"
status=0
"$usr/bin/tarngrep" --no-such-option x samples >/dev/null 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "tarngrep with a bad option ended with $status instead of 2"

[ "$("$usr/bin/tarnre" --encoding utf-8 '東京|大阪' 大阪へ行く 京都 | tr '\n' ' ')" = "1 4 0 0 " ] ||
  fail "tarnre matched wrongly"
[ "$("$usr/bin/tarnre" 'a+b' xaaab)" = "2 4" ] || fail "tarnre matched a+b wrongly"

# An installed copy cannot write its own folder, so its data goes to $XDG_DATA_HOME/tarn. Root
# could write it anyway: the check then runs as an ordinary user.
chmod a-w "$usr/bin"
xdg=$scratch/xdg
mkdir -p "$xdg"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chmod 755 "$scratch"
  chown nobody "$xdg"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
cp -R samples "$scratch/samples"
chmod -R a+rX "$scratch/samples"
(cd "$root" && "${as_user[@]}" env XDG_DATA_HOME="$xdg" "$usr/bin/tarngrep" -q --history 東京 "$scratch/samples" >/dev/null) ||
  fail "the installed tarngrep --history failed"
[ -f "$xdg/tarn/Tmp/ParamList.1" ] || fail "the installed tarngrep kept its history elsewhere than \$XDG_DATA_HOME/tarn"

"$usr/bin/tarn" --version >/dev/null || fail "tarn --version failed"
# The window must come up and stay until it is ended.
status=0
QT_QPA_PLATFORM=offscreen timeout 5 "$usr/bin/tarn" --data-dir "$data" >"$scratch/tarn.log" 2>&1 || status=$?
[ "$status" -eq 124 ] || { cat "$scratch/tarn.log" >&2; fail "tarn ended with $status before it was stopped"; }

echo "package-check: $deb passed"
