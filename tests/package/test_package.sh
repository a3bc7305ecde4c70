#!/usr/bin/env bash
# Builds the Debian package from this build with CPack, unpacks it into a
# throw-away root and checks it as a lab would meet it: every file where the
# menu entries and the programs look for it, nothing outside /usr (so removal
# never touches an operator's data), clean menu entries, lintian without
# errors, the run-time Depends, the programs' --help from the unpacked paths,
# a menu start in a home folder, and the training start on the simulator.
set -uo pipefail
source_dir="$1"
build_dir="$2"
work="$(mktemp -d /tmp/test_package.XXXXXX)"
children=()
cleanup() {
  for pid in "${children[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
for tool in cpack dpkg-deb desktop-file-validate lintian; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/deps installs it)"; exit 1; }
done

# ---- the package ------------------------------------------------------------
if ! (cd "$build_dir" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack"
  exit 1
fi
deb="$(ls "$work"/out/kvintor_*.deb 2>/dev/null | head -n 1)"
[ -f "$deb" ] || { echo "FAIL: no kvintor_*.deb from cpack"; exit 1; }
root="$work/root"
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x"; exit 1; }
bin="$root/usr/bin"
share="$root/usr/share"

# ---- layout -------------------------------------------------------------------
outside="$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '^\./$' | grep -v '^\./usr/' || true)"
[ -z "$outside" ] || fail "files outside /usr: $outside"
for program in Kvintor BaseKvintor kvintor-db kvintor-stands kvintor-pxread kvintor-training; do
  [ -x "$bin/$program" ] || fail "$program is not in /usr/bin"
  [ -s "$share/man/man1/$program.1.gz" ] || fail "no manual page for $program"
done
for file in kvintor/templates/Report.xlsx kvintor/templates/GReport.xlsx kvintor/stands/demo.conf \
  doc/kvintor/copyright doc/kvintor/changelog.Debian.gz; do
  [ -s "$share/$file" ] || fail "/usr/share/$file is missing"
done
# Every help page the sources have, where the help window looks.
for page in "$source_dir"/help/*.html; do
  [ -s "$share/kvintor/help/$(basename "$page")" ] || fail "help page $(basename "$page") is missing"
done

# ---- menu entries: valid, their programs and icons installed -------------------
for name in kvintor basekvintor kvintor-training; do
  entry="$share/applications/$name.desktop"
  [ -f "$entry" ] || { fail "menu entry $name.desktop is missing"; continue; }
  problems="$(desktop-file-validate "$entry" 2>&1)" || fail "desktop-file-validate $name.desktop"
  [ -z "$problems" ] || fail "desktop-file-validate $name.desktop: $problems"
  exec_program="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")"
  [ -x "$bin/$exec_program" ] || fail "$name.desktop starts '$exec_program', which is not in /usr/bin"
  icon="$(sed -n 's/^Icon=//p' "$entry")"
  [ -s "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "$name.desktop: no scalable icon $icon"
  for size in 16 32 48 256; do
    png="$share/icons/hicolor/${size}x${size}/apps/$icon.png"
    if ! file "$png" 2>/dev/null | grep -q "PNG image data, $size x $size"; then
      fail "$name.desktop: icon $icon is not a ${size}x${size} PNG"
    fi
  done
done
grep -qx 'Name=Kvintor — тренажёр' "$share/applications/kvintor-training.desktop" || fail "the training entry's name"
grep -qx 'Exec=Kvintor --desktop' "$share/applications/kvintor.desktop" || fail "Kvintor's entry does not start a menu start"
grep -qx 'Exec=BaseKvintor --desktop' "$share/applications/basekvintor.desktop" || fail "BaseKvintor's entry does not start a menu start"

# ---- control: what the programs load at run time, besides the linked libraries --
depends="$(dpkg-deb -f "$deb" Depends)"
for package in libqt6core6 libqt6serialport6 libquazip1-qt6-1 pxlib1 libshp2 \
  libqt6sql6-sqlite libqt6svg6 qt6-qpa-plugins qt6-translations-l10n fonts-liberation; do
  echo "$depends" | grep -Eq "(^|, )$package( |,|$)" || fail "Depends lacks $package: $depends"
done

# ---- lintian ------------------------------------------------------------------
lintian --no-tag-display-limit "$deb" >"$work/lintian.log" 2>&1
if grep -q '^E: ' "$work/lintian.log"; then
  grep '^E: ' "$work/lintian.log"
  fail "lintian reports errors"
fi
grep '^W: ' "$work/lintian.log" | sed 's/^/lintian warning (accepted): /'

# ---- the unpacked programs ------------------------------------------------------
help_of() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" --help 2>&1; }
out="$(help_of "$bin/kvintor-db")" || fail "kvintor-db --help failed: $out"
echo "$out" | grep -q 'kvintor-db create' || fail "kvintor-db --help: $out"
for program in Kvintor BaseKvintor; do
  # No screen: the help must not need one.
  out="$(help_of "$bin/$program")" || fail "$program --help failed: $out"
  echo "$out" | grep -q -- '--desktop' || fail "$program --help: $out"
done
out="$("$bin/kvintor-stands" --help 2>&1)" || fail "kvintor-stands --help failed: $out"

# Runs "$@" in the background until its window is up; 0 when it came up
# without showing a message.
home="$work/home"
mkdir -p "$home"
wait_ready() {
  local pid=$1 ready=$2
  for _ in $(seq 300); do
    [ -f "$ready" ] && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# A menu start without a database: the first-start dialog (logged and left
# unattended), the folder made, nothing else.
(cd "$home" && HOME="$home" XDG_CONFIG_HOME="$home/.config" KVINTOR_UI_LOG="$work/ui-first.log" \
  timeout 60 "$bin/Kvintor" --desktop) >"$work/first.out" 2>&1
[ -d "$home/Kvintor" ] || fail "a menu start did not make ~/Kvintor"
grep -q 'FirstStartDialog' "$work/ui-first.log" 2>/dev/null || fail "no first-start dialog: $(cat "$work/ui-first.log" 2>/dev/null)"
[ ! -e "$home/Kvintor/KvintorDB.sqlite" ] || fail "a database was made without the operator's choice"

# A menu start with the database in ~/Kvintor opens it, whatever folder it starts in.
"$bin/kvintor-db" create --demo "$home/Kvintor/KvintorDB.sqlite" >/dev/null || fail "kvintor-db create --demo"
(cd "$home" && HOME="$home" XDG_CONFIG_HOME="$home/.config" KVINTOR_UI_LOG="$work/ui-menu.log" \
  KVINTOR_READY_FILE="$work/menu.ready" exec "$bin/Kvintor" --desktop --port /dev/null) >"$work/menu.out" 2>&1 &
menu_pid=$!
children+=("$menu_pid")
if wait_ready "$menu_pid" "$work/menu.ready"; then
  # The only message allowed: /dev/null is no serial port.
  other="$(grep -v 'COM порт не доступен' "$work/ui-menu.log" 2>/dev/null)"
  [ -z "$other" ] || fail "the menu start showed: $other"
else
  fail "the menu start did not come up: $(cat "$work/menu.out" "$work/ui-menu.log" 2>/dev/null)"
fi
kill -TERM "$menu_pid" 2>/dev/null
wait "$menu_pid" 2>/dev/null

# The training start: its own folder and settings, the simulator's line as
# the port, no message at all; the simulator ends with Kvintor.
training="$home/Kvintor-тренажёр"
HOME="$home" XDG_CONFIG_HOME="$home/.config" KVINTOR_UI_LOG="$work/ui-training.log" \
  KVINTOR_READY_FILE="$work/training.ready" KVINTOR_TRAINING_ARCHIVE_YEARS=0 \
  "$bin/kvintor-training" >"$work/training.out" 2>&1 &
training_pid=$!
children+=("$training_pid")
if wait_ready "$training_pid" "$work/training.ready"; then
  [ ! -s "$work/ui-training.log" ] || fail "the training start showed: $(cat "$work/ui-training.log")"
  [ -s "$training/KvintorDB.sqlite" ] || fail "no training database"
  head -n 1 "$training/stands.log" | grep -q '^/dev/pts/' || fail "the simulator's line: $(head -n 3 "$training/stands.log")"
  [ ! -e "$home/.config/SoftWare/Kvintor v2.0.ini" ] || [ -e "$training/settings/SoftWare/Kvintor v2.0.ini" ] ||
    fail "the training start wrote the bench's settings"
else
  fail "the training start did not come up: $(cat "$work/training.out" "$work/ui-training.log" 2>/dev/null)"
fi
kvintor_pid="$(ps -o pid= --ppid "$training_pid" | while read -r p; do
  [ "$(ps -o comm= -p "$p")" = Kvintor ] && echo "$p"; done)"
stands_pid="$(ps -o pid= --ppid "$training_pid" | while read -r p; do
  [ "$(ps -o comm= -p "$p")" = kvintor-stands ] && echo "$p"; done)"
[ -n "$kvintor_pid" ] && kill -TERM $kvintor_pid
wait "$training_pid" 2>/dev/null
# Gone, or a zombie left to whoever adopted it.
alive() { case "$(ps -o stat= -p "$1" 2>/dev/null)" in "" | Z*) return 1 ;; esac; }
if [ -n "$stands_pid" ]; then
  for _ in $(seq 50); do alive "$stands_pid" || break; sleep 0.1; done
  alive "$stands_pid" && { fail "the simulator outlived Kvintor"; kill -TERM "$stands_pid"; }
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "package $(basename "$deb"): all checks passed"
