#!/usr/bin/env bash
# The bad-path and bad-setting cases, run as root (as CI runs them), write
# nothing outside their own temporary folders: nothing new in /dev, in the
# source tree, or in /tmp beside them. /tmp is a fresh tmpfs of a private mount
# namespace, so other tests running at the same time don't count; a source
# tree under /tmp is bound into it at its own path.
# Usage: writes_only_its_folder.sh SOURCE-DIR IDSTAMP-SIM
set -uo pipefail
[ "$(id -u)" = 0 ] || { echo "skipped: not root"; exit 77; }
unshare -m true 2> /dev/null || { echo "skipped: no mount namespaces"; exit 77; }
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
src=$(realpath "$1")
sim=$(realpath "$2")

exec unshare -m bash -s "$here" "$src" "$sim" <<'INNER'
here=$1 src=$2 sim=$3
. "$here/checks.sh"
# The old /tmp stays reachable through a descriptor: a checkout or build
# under /tmp (a CI clone) is bound back in at its own path. mount must not
# canonicalize the source, which would turn the descriptor's path into the
# new /tmp.
exec 9< /tmp
mount --make-rprivate / && mount -t tmpfs tmpfs /tmp || { echo "skipped: no private /tmp"; exit 77; }
kept=""
for path in "$src" "$(dirname "$sim")"; do
  case $path in
    /tmp/*)
      rel=${path#/tmp/}
      [ -d "/tmp/$rel" ] && continue # bound already, with the tree above it
      mkdir -p "/tmp/$rel" && mount --no-canonicalize --bind "/proc/self/fd/9/$rel" "/tmp/$rel" \
        || { echo "FAIL: could not bind $path into the private /tmp"; exit 1; }
      kept="$kept|${rel%%/*}"
      ;;
  esac
done
exec 9<&-
# Everything but the build trees, which the suite writes on purpose.
tree() { find "$src" -path "$src/build" -prune -o -path "$src/.git" -prune -o -print | sort; }
devices() { find /dev -xdev | sort; }
tree > /tmp/tree.before
devices > /tmp/dev.before
mkdir /tmp/cases
for check in "$here/bad_paths_refused.sh" "$here/../settings/bad_settings_refused.sh" "$here/failed_save.sh"; do
  TMPDIR=/tmp/cases "$check" "$sim" > /tmp/cases.out 2>&1 \
    || fail "${check##*/} failed: $(tail -n 5 /tmp/cases.out)"
  echo "ran ${check##*/}: $(tail -n 1 /tmp/cases.out)"
done
left=$(ls -A /tmp/cases)
[ -z "$left" ] || fail "left in /tmp: $left"
left=$(ls -A /tmp | grep -vxE "cases|cases.out|tree.before|dev.before$kept")
[ -z "$left" ] || fail "written to /tmp beside the cases' folders: $left"
new=$(devices | comm -13 /tmp/dev.before -)
[ -z "$new" ] || fail "new in /dev: $new"
new=$(tree | comm -13 /tmp/tree.before -)
[ -z "$new" ] || fail "new in the source tree: $new"
finish "nothing written outside the cases' own folders"
INNER
