# Sourced by the image tests: a run environment without the simulated
# board's other settings, and the counting of failed checks.
unset IDSTAMP_SIM_FAULTS IDSTAMP_SIM_TRACE IDSTAMP_SIM_REPORT IDSTAMP_SIM_ROM IDSTAMP_SIM_SEED IDSTAMP_SIM_CHIP
export IDSTAMP_SIM_SYSLOG=
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Says how the checks went and ends the test: status 1 when any failed.
finish() {
  [ $failures = 0 ] && echo "$1" || echo "$failures failed"
  exit $((failures > 0))
}
