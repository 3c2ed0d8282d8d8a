#!/usr/bin/env bash
# Builds the Debian packages hollimere and hollimere-console from the sources and checks
# them: lintian, the unit (verify, security rating at most 2.0), the files where the
# README puts them, man pages, desktop entry and metainfo, the journal catalogue, and,
# as root, dpkg -i followed by the programs answering --version.
#
# check_packages.sh SOURCE_DIR PACKAGE_BUILD_DIR WORK_DIR [COMPILER_LAUNCHER [WERROR]]
#
# The package build sits beside the main one, so that a compiler cache finds the same
# relative paths and flags and compiles only what the package build changes.
set -euo pipefail
src=$1 build=$2 work=$3 launcher=${4:-} werror=${5:-OFF}
root=$work/root
mkdir -p "$work"
rm -rf "$root" "$work/verify" "$build"/*.deb
export CCACHE_BASEDIR=$src CCACHE_NOHASHDIR=true
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "== package build"
cmake -S "$src" -B "$build" -G Ninja -DHOLLIMERE_PACKAGE_BUILD=ON -DHOLLIMERE_WERROR="$werror" \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON ${launcher:+-DCMAKE_CXX_COMPILER_LAUNCHER=$launcher} >/dev/null
cmake --build "$build" --target hollisvc hollicon hollimere_catalog hollimere_package_docs >/dev/null
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/hollimere_*.deb "$build"/hollimere-console_*.deb)
[ ${#debs[@]} -eq 2 ] && [ -f "${debs[0]}" ] && [ -f "${debs[1]}" ] || fail "two packages expected"

echo "== lintian"
lintian --fail-on error --tag-display-limit 0 "${debs[@]}" || fail "lintian reports errors"

echo "== contents"
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$root"; done
for f in usr/lib/hollimere/hollisvc usr/lib/hollimere/hollicon usr/sbin/hollisvc \
    usr/bin/hollicon usr/lib/hollimere/Help/contents.htp usr/lib/hollimere/Help/errors.htp \
    usr/lib/systemd/system/Pop3_QVL.service usr/lib/systemd/catalog/hollimere.catalog \
    usr/share/man/man8/hollisvc.8.gz usr/share/man/man1/hollicon.1.gz \
    usr/share/applications/org.hollimere.hollicon.desktop \
    usr/share/icons/hicolor/scalable/apps/org.hollimere.hollicon.svg \
    usr/share/metainfo/org.hollimere.hollicon.metainfo.xml; do
    [ -e "$root/$f" ] || fail "/$f is missing"
done
dpkg-deb -f "${debs[0]}" Depends | grep -q 'libqt6core6' || fail "hollimere: no computed dependencies"
dpkg-deb -f "${debs[1]}" Depends | grep -q 'libqt6widgets6' || fail "hollimere-console: no computed dependencies"

echo "== unit"
unit=$root/usr/lib/systemd/system/Pop3_QVL.service
grep -q '^ExecStart=/usr/lib/hollimere/hollisvc$' "$unit" || fail "ExecStart"
# Verified where it lies in the unpacked tree: only its program is looked up there.
mkdir -p "$work/verify"
sed "s|^ExecStart=|ExecStart=$root|" "$unit" >"$work/verify/Pop3_QVL.service"
MANPATH=$root/usr/share/man systemd-analyze verify "$work/verify/Pop3_QVL.service" \
    || fail "systemd-analyze verify"
rating=$(systemd-analyze security --offline=yes --root="$root" Pop3_QVL.service 2>&1 |
    sed -n 's/.*Overall exposure level for Pop3_QVL.service: \([0-9.]*\).*/\1/p')
echo "security rating: $rating"
awk -v r="$rating" 'BEGIN { exit !(r != "" && r <= 2.0) }' || fail "security rating ${rating:-unknown} above 2.0"

echo "== man pages, desktop entry, metainfo"
for page in "$root"/usr/share/man/man8/hollisvc.8.gz "$root"/usr/share/man/man1/hollicon.1.gz; do
    out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man -l $page"
    [ -z "$out" ] || fail "man -l $page: $out"
done
desktop-file-validate "$root"/usr/share/applications/org.hollimere.hollicon.desktop
appstreamcli validate --no-net "$root"/usr/share/metainfo/org.hollimere.hollicon.metainfo.xml >/dev/null \
    || fail "appstreamcli validate"

echo "== journal catalogue"
events=$(grep -c '<a name="e[0-9]*">' "$src/help/errors.htp")
entries=$(grep -c '^-- [0-9a-f]\{32\}$' "$root/usr/lib/systemd/catalog/hollimere.catalog")
[ "$events" -eq "$entries" ] || fail "$events events, $entries catalogue entries"
journalctl --root="$root" --update-catalog
listed=$(journalctl --root="$root" --list-catalog | grep -c 'Hollimere event')
[ "$listed" -eq "$events" ] || fail "the journal reads $listed of $events catalogue entries"

echo "== dpkg -i"
if [ "$(id -u)" -ne 0 ]; then
    echo "not root: dpkg -i skipped"
    exit 77
fi
if dpkg-query -W -f='${Status}' hollimere 2>/dev/null | grep -q installed; then
    echo "hollimere is installed here already: dpkg -i skipped, to leave it alone"
    exit 77
fi
trap 'dpkg --purge hollimere-console hollimere >/dev/null 2>&1 || true' EXIT
dpkg -i "${debs[@]}" >/dev/null
[ "$(hollisvc --version)" = "$(dpkg-deb -f "${debs[0]}" Version | sed 's/^/hollisvc /')" ] \
    || fail "hollisvc --version: $(hollisvc --version)"
hollicon --version | grep -q '^hollicon ' || fail "hollicon --version"
hollisvc --help | grep -q 'Data file: */etc/hollimere/HOLLISVC.ini' || fail "data folder of the package"
[ "$(stat -c %G:%a /etc/hollimere)" = "hollimere:2770" ] || fail "/etc/hollimere: $(stat -c %G:%a /etc/hollimere)"
echo "installed, answered, purged"
