#!/usr/bin/env bash
# Checks the Debian package as a user's system would meet it: lintian finds no error, it holds
# what a desktop program needs, and apt installs it into a fresh minimal Debian 12 (made here
# with debootstrap and kept in CACHE_DIR for the next run), where the installed programs start,
# plumbrae-convert converts the sample contact files, and apt removes it again without a trace.
# Without root there is no chroot: the package is only listed and tried with dpkg --dry-run.
# usage: check_deb.sh DEB CACHE_DIR SAMPLE_FOLDER
set -euo pipefail
deb=$(realpath "$1") cache=$(realpath -m "$2") samples=$(realpath "$3")
mirror=${PLUMBRAE_DEBIAN_MIRROR:-http://deb.debian.org/debian}
failures=0
fail() { echo "FAIL: $*" && failures=$((failures + 1)); }
# quiet NAME COMMAND...: runs the command with its output in CACHE_DIR/NAME.log, shown on failure.
quiet() { "${@:2}" >"$cache/$1.log" 2>&1 || { cat "$cache/$1.log" && false; }; }

echo "== lintian and contents of $(basename "$deb")"
lintian --fail-on error "$deb" 2> >(grep -v "running with root privileges" >&2) ||
    fail "lintian reports errors"
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for file in usr/bin/plumbrae{,-convert} usr/share/man/man1/plumbrae{,-convert}.1.gz \
    usr/share/{applications/plumbrae.desktop,plumbrae/plumbrae-manual.html,doc/plumbrae/copyright} \
    usr/share/metainfo/io.github.plumbrae.Plumbrae.metainfo.xml usr/share/icons/hicolor/{\
scalable/apps/plumbrae.svg,{16x16,24x24,32x32,48x48,64x64,128x128,256x256}/apps/plumbrae.png}; do
    grep -qx "./$file" <<<"$contents" || fail "the package lacks /$file"
done
if [[ $(id -u) -ne 0 ]]; then
    echo "== not root: no fresh system; dpkg --dry-run only"
    dpkg --dry-run -i "$deb" || fail "dpkg --dry-run -i"
    exit $((failures > 0))
fi

base=$cache/bookworm-minbase root=$cache/root
mkdir -p "$cache/archives"
if [[ ! -f "$base/.complete" ]]; then
    echo "== debootstrap a minimal Debian 12 into $base (kept for the next run)"
    rm -rf "$base" "$base.partial"
    quiet debootstrap debootstrap --variant=minbase bookworm "$base.partial" "$mirror"
    touch "$base.partial/.complete" && mv "$base.partial" "$base"
fi
rm -rf "$root" && cp -a "$base" "$root"
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/tmp/samples" && cp "$samples"/*.meta "$root/tmp/samples/"
cp /etc/resolv.conf "$root/etc/resolv.conf" && cp "$deb" "$root/tmp/"
# The packages downloaded by earlier runs, so that apt fetches only what changed.
find "$cache/archives" -name '*.deb' -exec cp {} "$root/var/cache/apt/archives/" \;
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }
in_apt() { in_root env DEBIAN_FRONTEND=noninteractive apt-get -y -qq "$@"; }

echo "== apt install ./$(basename "$deb") into the fresh system"
in_apt update
quiet apt-install in_apt install --no-install-recommends "/tmp/$(basename "$deb")" ||
    { fail "apt install" && exit 1; }
find "$root/var/cache/apt/archives" -name '*.deb' -exec cp -n {} "$cache/archives/" \;

# The window on Qt's offscreen platform: it must come up and stay until it is stopped.
status=0
in_root env QT_QPA_PLATFORM=offscreen timeout 5 plumbrae >"$cache/window.log" 2>&1 || status=$?
[[ $status -eq 124 ]] || { cat "$cache/window.log"; fail "the window program ended ($status)"; }
for option in vcards excel pst; do
    quiet "$option" in_root plumbrae-convert "--$option" --out "/tmp/out-$option" /tmp/samples ||
        fail "plumbrae-convert --$option on the samples"
done
files=$(find "$samples" -maxdepth 1 -name '*.meta' | wc -l)
vcards=$(find "$root/tmp/out-vcards" -name '*.vcf' ! -name ZimbraContacts.vcf -size +0 | wc -l)
[[ $vcards -eq $files ]] || fail "$vcards vCards written for $files contact files"
[[ -s "$root/tmp/out-vcards/ZimbraContacts.vcf" ]] || fail "no ZimbraContacts.vcf written"
[[ -s "$root/tmp/out-excel/ZimbraContacts.xls" ]] || fail "no worksheet written"
[[ -n $(find "$root/tmp/out-pst" -name '*.pst' -size +0) ]] || fail "no .pst written"

quiet apt-purge in_apt purge plumbrae || fail "apt purge"
for left in usr/bin/plumbrae{,-convert} usr/share/plumbrae usr/share/doc/plumbrae; do
    [[ ! -e "$root/$left" ]] || fail "/$left is left after apt purge"
done
((failures > 0)) || echo "The package installs, converts and uninstalls in a fresh Debian 12."
exit $((failures > 0))
