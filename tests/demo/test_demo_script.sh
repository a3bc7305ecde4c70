#!/usr/bin/env bash
# Runs scripts/demo --check on a temporary working folder with the programs of
# this build, twice, and checks what a newcomer relies on: the database is made
# once and kept, "Com 1" leads to the simulator without touching other
# settings, the simulator is gone afterwards, and a machine without a screen
# or a broken simulator configuration gets a clear refusal.
set -uo pipefail
source_dir="$1"
build_dir="$2"
work="$(mktemp -d /tmp/test_demo_script.XXXXXX)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

export KVINTOR_DEMO_DIR="$work/demo"
export KVINTOR_BUILD_DIR="$build_dir"
export KVINTOR_DEMO_NO_BUILD=1
export KVINTOR_DEMO_ARCHIVE_YEARS=1
demo="$source_dir/scripts/demo"
settings="$work/demo/settings/SoftWare/Kvintor v2.0.ini"

stands_pid() { sed -n 's/.*(pid \([0-9]*\),.*/\1/p' "$1" | head -n 1; }
records() { /usr/bin/sqlite3 "$work/demo/KvintorDB.sqlite" 'SELECT COUNT(*) FROM TMeasure'; }

# ---- first start: everything made from nothing
if ! "$demo" --check >"$work/first.out" 2>&1; then
  cat "$work/first.out"
  fail "first start"
fi
[ -f "$work/demo/KvintorDB.sqlite" ] || fail "no database in the working folder"
[ ! -e "$work/demo/KvintorDB.sqlite.new" ] || fail "the database's temporary name is left behind"
first_records="$(records)"
[ "${first_records:-0}" -gt 1000 ] || fail "the archive has ${first_records:-no} records"
pid="$(stands_pid "$work/first.out")"
[ -n "$pid" ] || fail "the simulator's pid is not reported"
[ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && fail "the simulator (pid $pid) still runs after the check"
grep -q '^Com1=/dev/pts/[0-9]*$' "$settings" || fail "Com1 does not name a pseudo-terminal: $(cat "$settings")"
grep -q '^Mcom1.Checked=1$' "$settings" || fail "Com 1 is not the checked port"

# ---- second start: the archive is kept, other settings too, Com 1 moves to the new line
/usr/bin/sqlite3 "$work/demo/KvintorDB.sqlite" \
  "INSERT INTO TMeasure (PDate, PPointerTip, PPointerTest) SELECT PDate, PPointerTip, PPointerTest FROM TMeasure LIMIT 1"
cat >>"$settings" <<'INI'

[confUst]
NameOrg=lab
INI
sed -i 's/^Com1=.*/Com1=\/dev\/stale/; s/^Mcom1.Checked=1/Mcom1.Checked=0/; s/^MCom2.Checked=0/MCom2.Checked=1/' "$settings"
printf '[Ports]\nCom2=/dev/ttyUSB0\n' >>"$settings"
if ! "$demo" --check >"$work/second.out" 2>&1; then
  cat "$work/second.out"
  fail "second start"
fi
grep -q 'creating the demo database' "$work/second.out" && fail "the second start made the database again"
[ "$(records)" = $((first_records + 1)) ] || fail "the archive was not kept: $(records) records, $first_records before"
grep -q '^NameOrg=lab$' "$settings" || fail "the protocol header setting was lost"
grep -q '^Com2=/dev/ttyUSB0$' "$settings" || fail "Com2 was lost"
grep -q '^Com1=/dev/stale$' "$settings" && fail "Com1 still names the old line"
[ "$(grep -c '^Com1=' "$settings")" = 1 ] || fail "Com1 is written more than once"
grep -q '^Mcom1.Checked=1$' "$settings" && grep -q '^MCom2.Checked=0$' "$settings" || fail "Com 1 is not checked again"
pid="$(stands_pid "$work/second.out")"
[ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && fail "the simulator (pid $pid) still runs after the second check"

# ---- no screen: a clear message, non-zero, nothing started
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$demo" >"$work/noscreen.out" 2>&1
rc=$?
[ "$rc" != 0 ] || fail "started without a screen"
grep -q 'xvfb-run -a scripts/demo' "$work/noscreen.out" || fail "no advice without a screen: $(cat "$work/noscreen.out")"
grep -q 'нет графического сеанса' "$work/noscreen.out" || fail "no Russian message without a screen"

# ---- a simulator that cannot start: its own message, non-zero
printf 'stands = 9\n' >"$work/bad.conf"
KVINTOR_STANDS_CONFIG="$work/bad.conf" "$demo" --check >"$work/bad.out" 2>&1
rc=$?
[ "$rc" != 0 ] || fail "went on with a broken simulator configuration"
grep -q "stand '9' is not 1-5" "$work/bad.out" || fail "the simulator's reason is not shown: $(cat "$work/bad.out")"

# ---- a working folder whose database is not Kvintor's: refused before anything starts
mkdir -p "$work/other"
: >"$work/other/KvintorDB.sqlite"
KVINTOR_DEMO_DIR="$work/other" "$demo" --check >"$work/other.out" 2>&1
rc=$?
[ "$rc" != 0 ] || fail "went on with a database without the tables"
grep -q 'does not have the tables Kvintor needs' "$work/other.out" || fail "no reason for the refused database: $(cat "$work/other.out")"
grep -q 'simulated stands' "$work/other.out" && fail "the simulator was started for a refused database"

if [ "$failures" != 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "test_demo_script: all checks passed"
