#!/usr/bin/env bash
# For packagers: installs a Vocatext package on this Debian machine, checks the installed
# program as a user meets it, and removes it again, checking that nothing is left.
#
#   sudo packaging/check-installed-package.sh build-package/vocatext_1.0.0_amd64.deb
#
# Needs apt-get, xvfb-run (xvfb, xauth) and python3; desktop-file-validate and
# appstreamcli are used when installed. Changes the machine: the package is installed and
# removed, its dependencies stay.
set -euo pipefail
deb=$(realpath "$1")
[ "$(id -u)" -eq 0 ] || { echo "run as root: the package is installed and removed" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
step() { printf '== %s\n' "$*"; }
fail() { printf 'FAILED: %s\n' "$*" >&2; exit 1; }

# The record of samples a build run from a source tree leaves behind, whose files are gone.
export HOME="$work/home"
mkdir -p "$HOME/.config/Quillmark" "$HOME/Desktop"
python3 - "$HOME/.config/Quillmark/Vocatext.ini" <<'PY'
import sys
# Windows-1252, its five undefined bytes as the C1 characters of the same number.
to_char = [bytes([b]).decode("cp1252") if b not in (0x81, 0x8D, 0x8F, 0x90, 0x9D) else chr(b) for b in range(256)]
to_code = {c: b for b, c in enumerate(to_char)}
key = "vocaleaf"
plain = "/home/someone/src/vocatext/build/bin/Samples/Welcome to Vocatext.odt"
codes = []
for i, ch in enumerate(plain):
    c = ord(ch) + ord(key[i % 8])
    codes.append(c - 255 if c >= 256 else c)
text = "".join(to_char[c] for c in codes)
value = "".join("\\x%04x" % ord(ch) for ch in text)
open(sys.argv[1], "w").write('[Vocatext]\nSnapshot="%s"\n' % value)
PY

step "installing $(basename "$deb")"
apt-get install -y "$deb" >"$work/apt.log" 2>&1 || { tail -20 "$work/apt.log"; fail "apt-get install"; }
dpkg -s vocatext | grep -E '^(Status|Version|Depends):'
dpkg -L vocatext >"$work/files"
echo "$(wc -l <"$work/files") paths installed"
for needed in /usr/bin/vocatext /usr/bin/vocatext-convert /usr/lib/vocatext/vocatext-cmd \
  /usr/share/man/man1/vocatext.1.gz /usr/share/man/man1/vocatext-convert.1.gz; do
  [ -e "$needed" ] || fail "$needed is not installed"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate /usr/share/applications/example.quillmark.Vocatext.desktop && echo "desktop entry valid"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net /usr/share/metainfo/example.quillmark.Vocatext.metainfo.xml | tail -1
fi
man -w vocatext vocatext-convert >/dev/null 2>&1 && echo "manual pages found by man" || true

step "starting /usr/bin/vocatext under Xvfb"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  /usr/bin/vocatext >"$0/window.log" 2>&1 &
  pid=$!
  sleep 6
  if command -v import >/dev/null; then import -window root "$0/window.png"; fi
  kill -0 $pid || exit 1
  kill $pid' "$work" || { cat "$work/window.log"; fail "the window did not stay up"; }
echo "the window ran${work:+; screenshot taken where ImageMagick is installed}"
python3 - "$HOME/.config/Quillmark/Vocatext.ini" <<'PY' || fail "the samples are not recorded from /usr/lib/vocatext/Samples"
import re, sys
# Windows-1252, its five undefined bytes as the C1 characters of the same number.
to_char = [bytes([b]).decode("cp1252") if b not in (0x81, 0x8D, 0x8F, 0x90, 0x9D) else chr(b) for b in range(256)]
to_code = {c: b for b, c in enumerate(to_char)}
key = "vocaleaf"
raw = re.search(r'^Snapshot=(.*)$', open(sys.argv[1]).read(), re.M).group(1).strip('"')
text, i = [], 0
while i < len(raw):
    if raw[i] == "\\":
        if raw[i + 1] == "x":
            j = i + 2
            while j < len(raw) and j < i + 6 and raw[j] in "0123456789abcdefABCDEF":
                j += 1
            text.append(chr(int(raw[i + 2:j], 16))); i = j; continue
        text.append({"n": "\n", "t": "\t", "r": "\r", "0": "\0"}.get(raw[i + 1], raw[i + 1])); i += 2; continue
    text.append(raw[i]); i += 1
codes = [to_code.get(ch, 63) for ch in text]
plain = ""
for n, c in enumerate(codes):
    d = c - ord(key[n % 8])
    plain += chr(d + 255 if d <= 0 else d)
paths = plain.split("|")
print("samples recorded:", ", ".join(p.rsplit("/", 1)[-1] for p in paths))
sys.exit(0 if paths and all(p.startswith("/usr/lib/vocatext/Samples/") for p in paths) else 1)
PY

step "converting a sample with /usr/bin/vocatext-convert"
mkdir -p "$work/out"
/usr/bin/vocatext-convert --out "$work/out" --voice "eSpeak NG English" "/usr/lib/vocatext/Samples/Packing List.odt"
[ -s "$work/out/Packing List.mp3" ] || fail "no MP3"
file -b "$work/out/Packing List.mp3"

step "removing the package"
apt-get remove -y vocatext >"$work/apt.log" 2>&1 || { tail -20 "$work/apt.log"; fail "apt-get remove"; }
left=0
while IFS= read -r path; do
  if [ -e "$path" ] || [ -L "$path" ]; then
    [ -d "$path" ] && [ ! -L "$path" ] && ! [[ "$path" == /usr/lib/vocatext* || "$path" == /usr/share/doc/vocatext* ]] && continue
    echo "left behind: $path"; left=1
  fi
done <"$work/files"
[ "$left" -eq 0 ] || fail "files left behind"
echo "nothing of the package is left"
echo "PASS"
