#!/usr/bin/env bash
# Builds the Debian package from a build tree and checks it: its control fields, the
# files it must hold, and that it holds exactly what "cmake --install" installs.
#   package_test.sh BUILD_DIR VERSION [hardened|plain]
set -euo pipefail
build=$1
version=$2
hardened=${3:-hardened}
command -v dpkg-deb >/dev/null && command -v cpack >/dev/null || { echo "dpkg-deb or cpack missing: skipped"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
arch=$(dpkg --print-architecture)
deb="$work/vocatext_${version}_${arch}.deb"
[ -f "$deb" ] || fail "no $deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vocatext ] || fail "Package"
[ "$(field Version)" = "$version" ] || fail "Version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture"
[ "$(field Section)" = sound ] || fail "Section"
[ -n "$(field Maintainer)" ] || fail "Maintainer"
description=$(field Description)
[[ "${description%%$'\n'*}" == *"spoken MP3"* ]] || fail "Description"
[ "$(field Suggests)" = "libreoffice-writer-nogui, parallel, rsync, slurm-client, ffmpeg" ] || fail "Suggests: $(field Suggests)"
depends=$(field Depends)
for library in libqt6widgets6 libqt6core6 libespeak-ng1 libflite1 libsoxr0 libebur128-1 libzip4 libtag1v5 libcld2-0 lame espeak-ng-data; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done

dpkg-deb -c "$deb" >"$work/contents"
# The paths of the package's files and links, without the leading ".".
awk '$1 !~ /^d/ { path = $6; for (i = 7; i <= NF && $i != "->"; ++i) path = path " " $i; sub(/^\./, "", path); print path }' \
  "$work/contents" | sort >"$work/packaged"
for needed in /usr/bin/vocatext /usr/bin/vocatext-convert \
  /usr/lib/vocatext/vocatext /usr/lib/vocatext/vocatext-cmd /usr/lib/vocatext/vocatext-convert \
  /usr/lib/vocatext/HAND-M.CUR /usr/lib/vocatext/drag.ico \
  "/usr/lib/vocatext/Samples/Welcome to Vocatext.odt" \
  /usr/share/applications/example.quillmark.Vocatext.desktop \
  /usr/share/metainfo/example.quillmark.Vocatext.metainfo.xml \
  /usr/share/icons/hicolor/48x48/apps/vocatext.png /usr/share/icons/hicolor/128x128/apps/vocatext.png \
  /usr/share/icons/hicolor/256x256/apps/vocatext.png /usr/share/icons/hicolor/scalable/apps/vocatext.svg \
  /usr/share/man/man1/vocatext.1.gz /usr/share/man/man1/vocatext-convert.1.gz \
  /usr/share/doc/vocatext/copyright /usr/share/doc/vocatext/changelog.gz; do
  grep -qxF "$needed" "$work/packaged" || fail "the package lacks $needed"
done
grep -q '\./usr/bin/vocatext -> \.\./lib/vocatext/vocatext$' "$work/contents" || fail "/usr/bin/vocatext is no link"
[ "$(grep -c '/usr/lib/vocatext/Samples/.*\.odt' "$work/packaged")" -eq 4 ] || fail "four samples"

# The programs are built as Debian builds its packages: bound now, read-only relocations,
# fortified calls.
if [ "$hardened" = hardened ] && command -v readelf >/dev/null; then
  mkdir "$work/unpacked"
  dpkg-deb -x "$deb" "$work/unpacked"
  for program in vocatext vocatext-cmd vocatext-convert; do
    elf="$work/unpacked/usr/lib/vocatext/$program"
    # Read whole first: grep -q closing the pipe early would fail the pipeline.
    dynamic=$(readelf -d "$elf"); segments=$(readelf -lW "$elf"); symbols=$(readelf -W --dyn-syms "$elf")
    grep -qE 'BIND_NOW|FLAGS.*\bNOW\b' <<<"$dynamic" || fail "$program is not bound now"
    grep -q GNU_RELRO <<<"$segments" || fail "$program has no read-only relocations"
    grep -q '__[a-z_]*_chk' <<<"$symbols" || fail "$program is not fortified"
  done
fi

# Everything that is installed is in the package, and nothing else.
DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
(cd "$work/root" && find . ! -type d | sed 's/^\.//' | sort) >"$work/installed"
diff -u "$work/installed" "$work/packaged" || fail "the package and the installation differ"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$work/root/usr/share/applications/example.quillmark.Vocatext.desktop" || fail "desktop entry"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$work/root/usr/share/metainfo/example.quillmark.Vocatext.metainfo.xml" >/dev/null \
    || fail "AppStream metadata"
fi
echo "package ok: $(wc -l <"$work/packaged") files"
