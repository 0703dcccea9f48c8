#!/usr/bin/env bash
# A log or report sent to standard error goes through the process's own
# descriptor 2, so standard error redirected to a regular file keeps every line
# in the order written, as a pipe does: the tool's own lines, the log lines,
# then the report.
# Usage: standard_error_in_order.sh IDSTAMP-SIM
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../image/checks.sh"
sim=$(realpath "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

# sched-eperm: the tool says on standard error that it keeps its priority, so
# its own line is among the board's.
args=(0 -m 00:11:22:33:44:55 -p)
export IDSTAMP_SIM_EEPROM= IDSTAMP_SIM_FAULTS=sched-eperm
IDSTAMP_SIM_SYSLOG=apart.log IDSTAMP_SIM_REPORT=apart.report "$sim" "${args[@]}" > apart.out 2> apart.err
cat apart.err apart.log apart.report > want
[ -s apart.err ] && [ "$(wc -l < apart.log)" -ge 2 ] && [ -s apart.report ] \
  || fail "the run apart lacks a line of its own, the log or the report: $(cat want)"

for entry in "/dev/stderr|-" "-|/dev/stderr" "/dev/fd/2|/proc/self/fd/2"; do
  IFS='|' read -r log report <<< "$entry"
  export IDSTAMP_SIM_SYSLOG=$log IDSTAMP_SIM_REPORT=$report
  "$sim" "${args[@]}" > file.out 2> file.err
  status=$?
  "$sim" "${args[@]}" 2>&1 > /dev/null | cat > pipe.err
  echo "before the run" > appended.err
  "$sim" "${args[@]}" > /dev/null 2>> appended.err
  # The window's address differs from run to run.
  if [ $status != 0 ] || ! cmp -s <(sed 's/^IMMR mapped to .*//' file.out) <(sed 's/^IMMR mapped to .*//' apart.out); then
    fail "log $log, report $report: status $status, or the tool's output changed"
  elif ! cmp -s file.err want; then
    fail "log $log, report $report: standard error in a file: $(diff want file.err | head -c 400)"
  elif ! cmp -s pipe.err want; then
    fail "log $log, report $report: standard error through a pipe: $(diff want pipe.err | head -c 400)"
  elif ! cmp -s appended.err <(echo "before the run"; cat want); then
    fail "log $log, report $report: standard error appended: $(head -c 400 appended.err)"
  else
    echo "ok: log $log, report $report: $(wc -l < want) lines in order, to a file, a pipe and an appended file"
  fi
done

finish "standard error keeps every line in order"
