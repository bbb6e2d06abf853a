# Sourced by the cluster tests and benchmark.
#
#   recipe README WORD      prints the recipe of README.md's block after "<!-- recipes -->"
#                           that holds WORD (recipes are parted by blank lines); fails
#                           unless exactly one does
#   recipe_count README     how many recipes that block holds
#
# A second "machine" on this one, reached over a real ssh hop. A throw-away user with a throw-away key, and a throw-away sshd on
# 127.0.0.1 that lets only that user in; the client side is set up through PARALLEL_SSH,
# so GNU parallel, its rsync calls and a plain "ssh" of the caller's use the same hop.
# Root only.
#
#   hop_start WORK BINDIR   sets HOP_USER, HOP_HOME, HOP_UID, HOP_PORT and exports
#                           PARALLEL_SSH; BINDIR leads the remote user's PATH
#   hop_stop                stops the sshd, removes the user, its home and working folder

recipes() {
  awk '/<!-- recipes -->/ { on = 1; next } on && /^```sh/ { block = 1; next } block && /^```/ { exit } block' "$1"
}

recipe() {
  recipes "$1" | awk -v RS= -v word="$2" 'index($0, word) { print; ++n } END { exit n != 1 }'
}

recipe_count() {
  recipes "$1" | awk -v RS= 'END { print NR }'
}

hop_free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

hop_start() {
  local work=$1 bindir=$2
  HOP_DIR="$work/hop"
  mkdir -p "$HOP_DIR"
  chmod 0711 "$work" "$HOP_DIR"
  HOP_USER="vthop$$"
  useradd --create-home --shell /bin/bash --password '*' "$HOP_USER" # "*": no password, not locked
  HOP_HOME=$(getent passwd "$HOP_USER" | cut -d: -f6)
  HOP_UID=$(id -u "$HOP_USER")
  HOP_PORT=$(hop_free_port)
  ssh-keygen -q -t ed25519 -N '' -C vocatext-test-host -f "$HOP_DIR/host_key"
  ssh-keygen -q -t ed25519 -N '' -C vocatext-test-user -f "$HOP_DIR/user_key"
  install -m 0644 "$HOP_DIR/user_key.pub" "$HOP_DIR/authorized_keys"
  echo "[127.0.0.1]:$HOP_PORT $(cut -d' ' -f1,2 "$HOP_DIR/host_key.pub")" >"$HOP_DIR/known_hosts"
  cat >"$HOP_DIR/sshd_config" <<CONF
ListenAddress 127.0.0.1
Port $HOP_PORT
HostKey $HOP_DIR/host_key
PidFile $HOP_DIR/sshd.pid
AllowUsers $HOP_USER
AuthorizedKeysFile $HOP_DIR/authorized_keys
StrictModes no
UsePAM no
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin no
X11Forwarding no
SetEnv PATH=$bindir:/usr/local/bin:/usr/bin:/bin
MaxStartups 100:30:200
MaxSessions 100
LogLevel ERROR
CONF
  cat >"$HOP_DIR/ssh_config" <<CONF
Host 127.0.0.1
  Port $HOP_PORT
  IdentityFile $HOP_DIR/user_key
  IdentitiesOnly yes
  UserKnownHostsFile $HOP_DIR/known_hosts
  StrictHostKeyChecking yes
  BatchMode yes
  LogLevel ERROR
CONF
  mkdir -p /run/sshd # sshd's privilege separation folder, which its service would make
  /usr/sbin/sshd -D -e -f "$HOP_DIR/sshd_config" 2>>"$HOP_DIR/sshd.log" &
  HOP_SSHD=$!
  export PARALLEL_SSH="ssh -F $HOP_DIR/ssh_config"
  local i
  for ((i = 0; i < 100; ++i)); do
    $PARALLEL_SSH "$HOP_USER@127.0.0.1" true 2>/dev/null && return 0
    kill -0 "$HOP_SSHD" 2>/dev/null || break
    sleep 0.1
  done
  cat "$HOP_DIR/sshd.log" >&2
  echo "the throw-away sshd does not let $HOP_USER in" >&2
  return 1
}

hop_stop() {
  if [ -n "${HOP_SSHD:-}" ]; then
    kill "$HOP_SSHD" 2>/dev/null || true
    wait "$HOP_SSHD" 2>/dev/null || true
    HOP_SSHD=
  fi
  if [ -n "${HOP_USER:-}" ] && getent passwd "$HOP_USER" >/dev/null; then
    userdel --remove "$HOP_USER" 2>/dev/null || userdel --force --remove "$HOP_USER" 2>/dev/null || true
    rm -rf "/tmp/vocatext-$HOP_UID"
  fi
  HOP_USER=
}
