#!/usr/bin/env bash
# What the README's recipe for machines without a shared folder costs over ssh: 8
# documents of about 4 000 characters with two "hosts", this machine and a second user
# of it reached over a real ssh hop (2/: and 2/user@127.0.0.1, four jobs on the same two
# cores), against vocatext-convert -j2 alone and against the same four jobs of parallel
# on this machine alone, in the same run; the difference to the latter, per document, is
# what the logins, transfers and clean-ups cost. As that difference drowns in the noise of
# a busy machine, the hop is also timed alone: the recipe's parallel line, one job at a
# time to the second user, with a copy of the document for its conversion. Root only (a throw-away user
# and sshd, see tests/cluster/cluster.sh); the programs as "cmake --install" puts them.
#
#   sudo bench/ssh_recipe_bench.sh BUILD_DIR [runs]      (default 3 runs)
set -euo pipefail
build=$(realpath "$1")
runs=${2:-3}
here=$(cd "$(dirname "$0")" && pwd)
readme="$here/../README.md"
source "$here/../tests/cluster/cluster.sh"
[ "$(id -u)" -eq 0 ] || { echo "run as root: it adds a user and starts an sshd" >&2; exit 2; }

work=$(mktemp -d)
trap 'hop_stop; rm -rf "$work"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
hop_start "$work" "$work/root/usr/bin"
unset LANG LC_ALL LANGUAGE TEMP XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME
export PATH="$work/root/usr/bin:$PATH"
export HOME="$work/home"
mkdir -p "$HOME"
printf '2/:\n2/%s@127.0.0.1\n' "$HOP_USER" >"$HOME/machines"
transfer=$(recipe "$readme" --transferfile)

# Eight documents of about 4 000 characters of plain English, in paragraphs.
python3 - "$work/documents" <<'PY'
import os, sys, zipfile
folder = sys.argv[1]
os.makedirs(folder)
sentence = "The committee met on a grey morning and agreed, after some debate, to publish the report. "
head = ('<?xml version="1.0" encoding="UTF-8"?><office:document-content '
        'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
        'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.3">'
        '<office:body><office:text>')
for n in range(1, 9):
    body = "".join("<text:p>%s</text:p>" % (sentence * 4) for _ in range(11))
    with zipfile.ZipFile(os.path.join(folder, "Chapter %d.odt" % n), "w") as z:
        z.writestr("content.xml", head + body + "</office:text></office:body></office:document-content>")
PY

fresh() { rm -rf "$HOME/Library"; cp -r "$work/documents" "$HOME/Library"; }
timed() { local start=$EPOCHREALTIME; "$@"; awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }'; }
alone() { vocatext-convert -j2 --quiet --beside "$HOME/Library" >/dev/null; }
four_here() { find "$HOME/Library" -name '*.odt' | parallel -j4 vocatext-convert -j1 --quiet --beside {} >/dev/null; }
over_ssh() { (cd "$HOME" && bash -c "$transfer") >/dev/null 2>&1; }
# The recipe's parallel line with a copy for a conversion, one job at a time over ssh.
hop_alone() {
  echo "1/$HOP_USER@127.0.0.1" >"$work/one-slot"
  (cd "$HOME/Library" && find . -name '*.odt' | parallel --sshloginfile "$work/one-slot" \
    --rsync-opts '-rlDzR --old-args' --transferfile {} --return {.}.mp3 --cleanup cp {} {.}.mp3) >/dev/null
}

per_document() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b - a) / 8 }'; }
declare -a alone_s here_s ssh_s versus_alone versus_here hop_s
for ((run = 1; run <= runs; ++run)); do
  fresh
  a=$(timed alone)
  fresh
  h=$(timed four_here)
  fresh
  s=$(timed over_ssh)
  [ "$(ls "$HOME/Library"/*.mp3 | wc -l)" -eq 8 ] || { echo "the ssh recipe lost MP3s" >&2; exit 1; }
  fresh
  o=$(timed hop_alone)
  [ "$(ls "$HOME/Library"/*.mp3 | wc -l)" -eq 8 ] || { echo "the hop lost copies" >&2; exit 1; }
  hop_s+=("$(awk -v o="$o" 'BEGIN { printf "%.3f", o / 8 }')")
  alone_s+=("$a") here_s+=("$h") ssh_s+=("$s")
  versus_alone+=("$(per_document "$a" "$s")") versus_here+=("$(per_document "$h" "$s")")
  echo "run $run: vocatext-convert -j2 $a s, parallel -j4 here $h s, the ssh recipe $s s, the hop alone $o s (load $(cut -d' ' -f1 /proc/loadavg))"
done
stats() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { printf "min %.3g s, median %.3g s", v[1], v[int((NR + 1) / 2)] }'; }
echo "8 documents of about 4 000 characters, Flite slt, $(nproc) cores, $runs runs:"
echo "  vocatext-convert -j2 alone:                $(stats "${alone_s[@]}")"
echo "  parallel -j4 vocatext-convert -j1, here:   $(stats "${here_s[@]}")"
echo "  the ssh recipe, 2/: and 2/user@127.0.0.1:  $(stats "${ssh_s[@]}")"
echo "  per document, the recipe over -j2 alone:   $(stats "${versus_alone[@]}")"
echo "  per document, the recipe over -j4 here:    $(stats "${versus_here[@]}")"
echo "  per document, the hop alone, one at a time: $(stats "${hop_s[@]}")"
