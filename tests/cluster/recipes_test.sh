#!/usr/bin/env bash
# The README's GNU parallel recipes, each run as written (only /shared/library stands for
# a folder of the test's) over a real ssh hop to a second user of this machine, with the
# programs as "cmake --install" puts them (the files of the package) on both sides.
# Documents whose names hold blanks, quotes, "#", shell marks, non-ASCII letters, a
# leading dash and a leading colon; every MP3 must come back with the speech of a local conversion, nothing
# may stay in the remote home, and a lost MP3 must fail the batch by name.
#   recipes_test.sh BUILD_DIR README DATA_DIR     (root only: exit 77 otherwise)
set -euo pipefail
build=$1
readme=$2
data=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/cluster.sh"

# The manual page carries the same recipes.
page=$(sed -e 's/\\-/-/g' -e "s/\\\\(aq/'/g" -e 's/\\e/\\/g' "$(dirname "$readme")/packaging/vocatext-convert.1")
for word in -j4 /shared/library --transferfile "sbatch --array"; do
  commands=$(recipe "$readme" "$word" | grep -v '^#')
  [[ "$page" == *"$commands"* ]] || { echo "FAILED: vocatext-convert.1 lacks the recipe: $commands" >&2; exit 1; }
done

[ "$(id -u)" -eq 0 ] || { echo "SKIP: needs root, to add a user and start an sshd of its own"; exit 77; }
missing=()
for tool in parallel rsync ssh ssh-keygen soxi python3 useradd; do command -v $tool >/dev/null || missing+=($tool); done
[ -x /usr/sbin/sshd ] || missing+=(sshd)
if ((${#missing[@]})); then
  echo "SKIP: not installed: ${missing[*]} (./vocatext.sh test installs them)"
  exit 77
fi

work=$(mktemp -d)
trap 'hop_stop; rm -rf "$work"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
fail() { echo "FAILED: $*" >&2; exit 1; }
step() { echo "== $* ($SECONDS s)"; }

[ "$(recipe_count "$readme")" -eq 4 ] || fail "the README holds a recipe that no test runs"
DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
bin="$work/root/usr/bin"
hop_start "$work" "$bin"
# This side as the remote side is: no language, no settings, no session folders.
unset LANG LC_ALL LANGUAGE TEMP XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME
export PATH="$bin:$PATH"

documents=(paragraphs lists table notes sections fields frames references paragraphs)
names=("Chapter 2" "It's \"quoted\"" "Part #3" "Ünïcödé façade" "-leading dash" "sub folder/Chapter 10" plain
  'a $b `c` & d' ":colon")
library() {
  local i
  for i in "${!names[@]}"; do
    mkdir -p "$(dirname -- "$1/${names[$i]}")"
    cp "$data/${documents[$i]}.odt" "$1/${names[$i]}.odt"
  done
}
seconds() { soxi -D "$1" 2>/dev/null || echo missing; }
# same_length MP3 NAME: the MP3 lasts as long as the local conversion of document NAME.
same_length() {
  local got want
  got=$(seconds "$1")
  want=$(seconds "$work/reference/$2.mp3")
  awk -v a="$got" -v b="$want" 'BEGIN { exit !(a != "missing" && a - b < 0.05 && b - a < 0.05) }' \
    || fail "$1: $got s of speech, the local conversion $want s"
}
# documents_kept DIR: every document is still there (a transfer's clean-up removes copies only).
documents_kept() {
  local name
  for name in "${names[@]}"; do [ -f "$1/$name.odt" ] || fail "the document $name.odt is gone from $1"; done
}
# same_speech DIR [flat]: so for every document's MP3 in DIR (flat: by its file name alone).
same_speech() {
  local name
  for name in "${names[@]}"; do
    if [ "${2:-}" = flat ]; then same_length "$1/$(basename -- "$name").mp3" "$name"; else same_length "$1/$name.mp3" "$name"; fi
  done
}
# What a recipe leaves in the remote home, but for the converter's cache of finished pieces
# and voice levels, which it keeps there on purpose: a batch run again takes from it.
remote_home() {
  find "$HOP_HOME" -mindepth 1 -path "$HOP_HOME/.cache/vocatext" -prune -o -printf '%P %y %s\n' \
    | grep -v '^\.cache d ' | sort
}
# run HOME RECIPE: runs the recipe in a shell of its own with that home; its status.
run() { (cd "$1" && HOME="$1" bash -c "$2"); }

step "the local conversion the recipes are compared with"
mkdir "$work/reference"
library "$work/reference"
HOME="$work/reference" vocatext-convert -j2 --quiet --beside "$work/reference"
echo "2/$HOP_USER@127.0.0.1" >"$work/machines"
clean_home=$(remote_home)

step "one machine"
mkdir "$work/one"
library "$work/one/Library"
run "$work/one" "$(recipe "$readme" "-j4")" || fail "the one-machine recipe: status $?"
same_speech "$work/one/Audio" flat

step "machines that share the folder"
mkdir -p "$work/nfs/shared/library" "$work/two"
library "$work/nfs/shared/library"
chown -R "$HOP_USER" "$work/nfs/shared"
cp "$work/machines" "$work/two/machines"
run "$work/two" "$(recipe "$readme" /shared/library | sed "s|/shared/library|$work/nfs/shared/library|")" \
  || fail "the shared-folder recipe: status $?"
same_speech "$work/nfs/shared/library"
for name in "${names[@]}"; do
  [ "$(stat -c %U "$work/nfs/shared/library/$name.mp3")" = "$HOP_USER" ] || fail "$name.mp3 was not made over ssh"
done
[ "$(remote_home)" = "$clean_home" ] || fail "left in the remote home: $(remote_home)"

step "machines without a shared folder"
transfer=$(recipe "$readme" --transferfile)
three="$work/three"
mkdir "$three"
library "$three/Library"
cp "$work/machines" "$three/machines"
run "$three" "$transfer" >"$work/out" || fail "the transfer recipe: status $?: $(cat "$work/out")"
same_speech "$three/Library"
documents_kept "$three/Library"
[ ! -s "$work/out" ] || fail "the transfer recipe printed: $(cat "$work/out")"
[ "$(remote_home)" = "$clean_home" ] || fail "left in the remote home: $(remote_home)"

step "an MP3 that does not come back, a document that fails: the batch fails and names them"
rm "$three/Library/Chapter 2.mp3" "$three/Library/Part #3.mp3"
mkdir "$three/Library/Chapter 2.mp3" # a folder in its place: rsync cannot bring it back
touch "$three/Library/Chapter 2.mp3/keep"
echo "not a document" >"$three/Library/broken.odt"
before=$(stat -c '%n %Y' "$three/Library/plain.mp3" "$three/Library/sub folder/Chapter 10.mp3")
status=0
run "$three" "$transfer" >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 1 ] || fail "status $status for a batch with a lost MP3: $(cat "$work/out" "$work/err")"
[ "$(grep '^\./' "$work/out" | sort)" = "$(printf './Chapter 2.odt\n./broken.odt\n' | sort)" ] \
  || fail "the batch named: $(cat "$work/out")"
grep -q "2 of 10 documents have no MP3" "$work/err" || fail "no count: $(cat "$work/err")"
same_length "$three/Library/Part #3.mp3" "Part #3"
[ "$(stat -c '%n %Y' "$three/Library/plain.mp3" "$three/Library/sub folder/Chapter 10.mp3")" = "$before" ] \
  || fail "MP3s that were there were made again"
[ "$(remote_home)" = "$clean_home" ] || fail "left in the remote home: $(remote_home)"

step "the same line again, the causes gone: only what is missing"
rm -r "$three/Library/Chapter 2.mp3" "$three/Library/broken.odt"
run "$three" "$transfer" >"$work/out" || fail "the transfer recipe again: status $?: $(cat "$work/out")"
same_speech "$three/Library"
documents_kept "$three/Library"
[ "$(stat -c '%n %Y' "$three/Library/plain.mp3" "$three/Library/sub folder/Chapter 10.mp3")" = "$before" ] \
  || fail "MP3s that were there were made again"
[ "$(remote_home)" = "$clean_home" ] || fail "left in the remote home: $(remote_home)"
step "all recipes ran as written"
