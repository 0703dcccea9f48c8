#!/usr/bin/env bash
# Image paths that can't hold an image, and output paths that name the image,
# are refused before the tool runs: status 255, one line on standard error,
# nothing on standard output, at once (a run that hangs is killed and fails).
# Failed writes of the other files are said on standard error; stray files of
# earlier runs don't disturb a run.
# Usage: bad_paths_refused.sh IDSTAMP-SIM
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
sim=$(realpath "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

# run NAME WANT_STATUS STDERR_PATTERN VAR=VALUE...: idstamp-sim 0 -m ... with those settings.
run() {
  local name=$1 want=$2 pattern=$3
  shift 3
  timeout 10 env "$@" "$sim" 0 -m 00:11:22:33:44:55 > out 2> err
  local status=$?
  if [ $status != "$want" ]; then
    fail "$name: status $status, not $want: $(head -c 300 err)"
  elif { [ -n "$pattern" ] && ! grep -q -- "$pattern" err; } || { [ -z "$pattern" ] && [ -s err ]; }; then
    fail "$name: standard error lacks '$pattern': $(head -c 300 err)"
  elif [ "$want" = 255 ] && { [ "$(wc -l < err)" != 1 ] || [ -s out ]; }; then
    fail "$name: not one line and nothing else: $(cat err out | head -c 300)"
  else
    echo "ok: $name: $(head -n 1 err)"
  fi
}

"$sim" 0 -m 02:00:00:00:00:01 > /dev/null 2>&1 # idstamp-sim.eeprom: a good image to compare
cp idstamp-sim.eeprom kept.ref
mkfifo fifo
mkdir directory
touch plain
run "FIFO image" 255 "is a FIFO" IDSTAMP_SIM_EEPROM=fifo
run "directory image" 255 "is a directory" IDSTAMP_SIM_EEPROM=directory
run "device image" 255 "is a device" IDSTAMP_SIM_EEPROM=/dev/null
run "image under a file" 255 "can't be saved in plain" IDSTAMP_SIM_EEPROM=plain/board.eeprom
run "image in a missing directory" 255 "can't be saved in missing" IDSTAMP_SIM_EEPROM=missing/board.eeprom
# /proc and /sys are there but make no files: /proc answers a create with
# ENOENT, /sys with EACCES even for root. The line says so, not that /proc is
# missing.
run "image in /proc" 255 "can't be saved in /proc: its file system takes no new files (creating one fails: No such file or directory)" \
  IDSTAMP_SIM_EEPROM=/proc/idstamp-test.eeprom
if [ "$(id -u)" = 0 ]; then
  run "image in /sys" 255 "can't be saved in /sys: its file system takes no new files (creating one fails: Permission denied)" \
    IDSTAMP_SIM_EEPROM=/sys/idstamp-test.eeprom
else
  run "image in /sys" 255 "can't be saved in /sys: Permission denied" IDSTAMP_SIM_EEPROM=/sys/idstamp-test.eeprom
fi

# Read-only image: refused, for root too, and left as it was.
cp kept.ref readonly.eeprom
chmod 444 readonly.eeprom
run "read-only image" 255 "is read-only" IDSTAMP_SIM_EEPROM=readonly.eeprom
cmp -s readonly.eeprom kept.ref || fail "read-only image was changed"
[ -w readonly.eeprom ] && [ "$(id -u)" != 0 ] && fail "read-only image was made writable"
[ "$(stat -c %a readonly.eeprom)" = 444 ] || fail "read-only image's mode changed"

# A directory where nothing can be created: root writes anywhere, so for root
# it is a read-only bind mount in a private mount namespace.
mkdir rodir
cp kept.ref rodir/board.eeprom
if [ "$(id -u)" != 0 ]; then
  chmod 555 rodir
  run "read-only directory, new image" 255 "can't be saved in rodir" IDSTAMP_SIM_EEPROM=rodir/new.eeprom
  run "read-only directory, old image" 255 "can't be saved in rodir" IDSTAMP_SIM_EEPROM=rodir/board.eeprom
  chmod 755 rodir
elif unshare -m true 2> /dev/null; then
  unshare -m bash -c '
    mount --bind -o ro rodir rodir 2> /dev/null || { echo skip; exit 0; }
    for image in rodir/new.eeprom rodir/board.eeprom; do
      timeout 10 env IDSTAMP_SIM_EEPROM=$image "$0" 0 -m 00:11:22:33:44:55 > out 2> err
      echo "$? $(cat err)"
    done' "$sim" > ro.results
  while read -r status message; do
    case "$status $message" in
      "skip ") echo "skipped: read-only directory (no bind mounts here)" ;;
      "255 idstamp-sim: rodir/"*) echo "ok: read-only mount: $message" ;;
      *) fail "read-only mount: $status $message" ;;
    esac
  done < ro.results
  [ "$(wc -l < ro.results)" = 2 ] || grep -qx skip ro.results || fail "read-only mount: $(cat ro.results)"
else
  echo "skipped: read-only directory (root without mount namespaces)"
fi

# The other files may not name the image, however they are spelt.
cp kept.ref board.eeprom
ln -s board.eeprom symlink
ln board.eeprom hardlink
ln -s not-yet.eeprom dangling
run "report through a symbolic link" 255 "IDSTAMP_SIM_REPORT: symlink is the image" \
  IDSTAMP_SIM_EEPROM=board.eeprom IDSTAMP_SIM_REPORT=symlink
run "trace through a hard link" 255 "IDSTAMP_SIM_TRACE: hardlink is the image" \
  IDSTAMP_SIM_EEPROM=board.eeprom IDSTAMP_SIM_TRACE=hardlink
run "log by another path" 255 "IDSTAMP_SIM_SYSLOG: ../${dir##*/}/board.eeprom is the image" \
  IDSTAMP_SIM_EEPROM=board.eeprom "IDSTAMP_SIM_SYSLOG=../${dir##*/}/board.eeprom"
run "report to an image still to be made" 255 "IDSTAMP_SIM_REPORT: dangling is the image" \
  IDSTAMP_SIM_EEPROM=not-yet.eeprom IDSTAMP_SIM_REPORT=dangling
# Nor its lock file, its temporary files, the trace's GTKWave save file, or
# one another; a trace can't share standard error.
while IFS='|' read -r name pattern settings; do
  # shellcheck disable=SC2086 # the settings are words
  run "$name" 255 "$pattern" IDSTAMP_SIM_EEPROM=board.eeprom $settings
done <<'CASES'
trace's save file is the image|^idstamp-sim: IDSTAMP_SIM_TRACE: its GTKWave save file board.gtkw is the image board.gtkw$|IDSTAMP_SIM_EEPROM=board.gtkw IDSTAMP_SIM_TRACE=board.vcd
save file of a trace without .vcd|IDSTAMP_SIM_TRACE: its GTKWave save file symlink.gtkw is the image|IDSTAMP_SIM_EEPROM=symlink.gtkw IDSTAMP_SIM_TRACE=symlink
report on the lock file|IDSTAMP_SIM_REPORT: ./board.eeprom.lock is the image's lock file|IDSTAMP_SIM_REPORT=./board.eeprom.lock
log on a temporary file|IDSTAMP_SIM_SYSLOG: board.eeprom.tmp.Ab12cD is a temporary file of the image|IDSTAMP_SIM_SYSLOG=board.eeprom.tmp.Ab12cD
report on the log|IDSTAMP_SIM_SYSLOG: log is the file of IDSTAMP_SIM_REPORT|IDSTAMP_SIM_REPORT=./log IDSTAMP_SIM_SYSLOG=log
log on the trace's save file|IDSTAMP_SIM_SYSLOG: t.gtkw is the GTKWave save file of IDSTAMP_SIM_TRACE|IDSTAMP_SIM_TRACE=t.vcd IDSTAMP_SIM_SYSLOG=t.gtkw
trace on standard error|^idstamp-sim: IDSTAMP_SIM_TRACE: "-" is standard error, which a trace can't share; name a file$|IDSTAMP_SIM_TRACE=-
trace on /dev/stderr|IDSTAMP_SIM_TRACE: "/dev/stderr" is standard error|IDSTAMP_SIM_TRACE=/dev/stderr
CASES
cmp -s board.eeprom kept.ref || fail "a refused run changed the image"
[ -e not-yet.eeprom ] && fail "a refused run made the image"
ls ./*.gtkw ./*.vcd log t.* board.eeprom.tmp.* 2> /dev/null && fail "a refused run made an output file"
# Outputs may share a device.
run "every output on /dev/null" 0 "" IDSTAMP_SIM_EEPROM=board.eeprom IDSTAMP_SIM_TRACE=/dev/null \
  IDSTAMP_SIM_REPORT=/dev/null IDSTAMP_SIM_SYSLOG=/dev/null

# Writes that fail are said; the run itself is the tool's. A trace into a
# device gets no save file beside it.
# (A save file there from before, e.g. of an older build, must stay as it was.)
saved_before=$(stat -c '%i %Y' /dev/full.gtkw 2> /dev/null)
for variable in IDSTAMP_SIM_REPORT IDSTAMP_SIM_TRACE IDSTAMP_SIM_SYSLOG; do
  run "$variable on a full device" 0 "idstamp-sim: /dev/full: write failed: No space left on device" \
    IDSTAMP_SIM_EEPROM=board.eeprom $variable=/dev/full
done
[ "$(stat -c '%i %Y' /dev/full.gtkw 2> /dev/null)" = "$saved_before" ] || fail "a trace on /dev/full wrote /dev/full.gtkw"
mkfifo fifo.vcd
run "trace into a FIFO" 0 "" IDSTAMP_SIM_EEPROM=board.eeprom IDSTAMP_SIM_TRACE=fifo.vcd 3<> fifo.vcd
[ -e fifo.gtkw ] && fail "a trace into a FIFO left a save file"

# Leftovers of killed runs: temporary names in the way, a lock file with no
# holder. The run saves as usual.
rm -f board.eeprom*
mkdir board.eeprom.tmp
mkfifo board.eeprom.tmp.AAAAAA
touch board.eeprom.lock
run "stray temporary files and lock file" 0 "" IDSTAMP_SIM_EEPROM=board.eeprom
[ "$(stat -c %s board.eeprom 2> /dev/null)" = 144 ] || fail "nothing saved beside stray files"
rm board.eeprom.lock
mkfifo board.eeprom.lock
run "lock file that is a FIFO" 255 "lock file is not a regular file" IDSTAMP_SIM_EEPROM=board.eeprom
rm board.eeprom.lock
mkdir board.eeprom.lock
run "lock file that is a directory" 255 "^idstamp-sim: board.eeprom.lock: the image's lock file is not a regular file$" \
  IDSTAMP_SIM_EEPROM=board.eeprom
rmdir board.eeprom.lock
touch board.eeprom.lock
# A lock file that fails to open is named, not the directory it is in.
rm board.eeprom.lock
ln -s missing/board.eeprom.lock board.eeprom.lock
run "lock file that links nowhere" 255 \
  "^idstamp-sim: board.eeprom.lock: can't open the image's lock file: No such file or directory$" \
  IDSTAMP_SIM_EEPROM=board.eeprom

finish "all refused as they should be"
