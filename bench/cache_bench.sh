#!/usr/bin/env bash
# What the cache of finished pieces saves on a long book: the first conversion of a
# 200 000-character document, the same after one paragraph was edited, after a run that
# was killed (SIGKILL) half-way, and unchanged without --skip-unchanged; each as a share of
# the first. Also that the MP3 after the edit is, byte for byte, the one a conversion of
# the edited document from nothing gives.
#   bench/cache_bench.sh BUILD_DIR [runs] [voice] [characters]
set -euo pipefail
build=$1
runs=${2:-3}
voice=${3:-1}
characters=${4:-200000}
convert="$build/bin/vocatext-convert"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/cache" HOME="$work" XDG_CONFIG_HOME="$work/config"
mkdir -p "$work/out"

# A book of prose paragraphs of every length, the same on every call.
python3 - "$work/book.md" "$characters" <<'PY'
import random, sys
random.seed(7)
words = ("the river ran past old houses and wide fields while people of the town watched "
         "boats carry wheat wine and letters down to the sea where ships waited for wind").split()
out, size, n = [], int(sys.argv[2]), 0
while sum(map(len, out)) < size:
    n += 1
    sentences = [" ".join(random.choice(words) for _ in range(random.randint(6, 18))).capitalize() + "."
                 for _ in range(random.randint(1, 8))]
    out.append(f"Paragraph {n}. " + " ".join(sentences))
open(sys.argv[1], "w").write("\n\n".join(out) + "\n")
PY
sed 's/^Paragraph 200\. /Paragraph 200, which a reader changed. /' "$work/book.md" >"$work/edited.md"

seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
now() { date +%s.%N; }
# timed DOCUMENT [options...]: converts, prints the seconds.
timed() {
  local document=$1 start
  shift
  start=$(now)
  "$convert" --quiet --voice "$voice" -j2 --out "$work/out" "$@" "$document"
  seconds "$start" "$(now)"
}
stats() { tr ' ' '\n' | sort -n | awk '{ v[NR] = $1 } END { printf "min %.2f s, median %.2f s", v[1], v[int((NR + 1) / 2)] }'; }
ratio() { tr ' ' '\n' | sort -n | awk -v f="$1" '{ v[NR] = $1 } END { printf "%.3f / %.3f", v[1] / f, v[int((NR + 1) / 2)] / f }'; }

first=() edited=() killed=() again=()
for ((run = 1; run <= runs; ++run)); do
  rm -rf "$XDG_CACHE_HOME"
  first+=("$(timed "$work/book.md")")
  cp "$work/out/book.mp3" "$work/book.mp3"
  again+=("$(timed "$work/book.md")")
  cp "$work/edited.md" "$work/book-edited.md"
  edited+=("$(timed "$work/book-edited.md")")
  rm -rf "$XDG_CACHE_HOME"
  "$convert" --quiet --voice "$voice" -j2 --out "$work/out" "$work/book.md" &
  pid=$!
  sleep "$(awk -v s="${first[-1]}" 'BEGIN { print s / 2 }')"
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  killed+=("$(timed "$work/book.md")")
  cmp -s "$work/out/book.mp3" "$work/book.mp3" || echo "differs: the MP3 after a kill" >&2
done
# The edited book from nothing: the same bytes as from the cache.
timed "$work/book-edited.md" --no-cache >/dev/null
cp "$work/out/book-edited.mp3" "$work/fresh.mp3"
timed "$work/book-edited.md" >/dev/null
cmp -s "$work/out/book-edited.mp3" "$work/fresh.mp3" && same=yes || same=no

median_first=$(printf '%s\n' "${first[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
echo "vocatext-convert -j2 --voice $voice, $characters characters, $runs runs (min / median; share of the first's median)"
echo "first conversion:            $(echo "${first[*]}" | stats)"
echo "one paragraph edited:        $(echo "${edited[*]}" | stats)   $(echo "${edited[*]}" | ratio "$median_first")"
echo "after SIGKILL half-way:      $(echo "${killed[*]}" | stats)   $(echo "${killed[*]}" | ratio "$median_first")"
echo "unchanged, no skip:          $(echo "${again[*]}" | stats)   $(echo "${again[*]}" | ratio "$median_first")"
echo "edited from the cache is the edited book from nothing, byte for byte: $same"
