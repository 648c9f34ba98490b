#!/usr/bin/env bash
# The Debian package of a build: cpack builds it; its listing holds the programs, the
# libraries, the launcher and both desktop entries under /opt/norrvault-backup and
# /usr/share/applications; its version is the project's; every library a program or
# library of the package loads is its own or comes from a declared dependency. Unpacked
# into a scratch root (dpkg -x), its NVXbackup checks logins against its own nvxserver
# on a free loopback port, and its launcher starts the wizard in the user's copy of the
# install folder. Everything started is stopped and the scratch folder removed.
#
# Usage: package_test.sh BUILD_DIR PROJECT_VERSION
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
name=norrvault-backup
folder=opt/$name

work=$(mktemp -d /tmp/nvx-package-test.XXXXXX)
server_pid=""
wizard_pid=""
cleanup() {
  set +e  # a stopped process's status must not end the clean-up early
  for pid in $wizard_pid $server_pid; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package_test: $*" >&2; exit 1; }

# --- build and list ------------------------------------------------------------------
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out") \
  >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
debs=("$work"/out/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "expected one package, found: ${debs[*]}"
deb=${debs[0]}

[[ $(dpkg-deb -f "$deb" Package) == "$name" ]] || fail "package name $(dpkg-deb -f "$deb" Package)"
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] ||
  fail "version $(dpkg-deb -f "$deb" Version), expected $version"
depends=$(dpkg-deb -f "$deb" Depends)

listing=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for path in bin/NorrvaultBackup bin/NVXbackup bin/NVXscheduledBackup bin/NVXnotify bin/nvxserver \
  bin/libnvxapi.so bin/libnvxapib.so bin/NorrvaultBackup.desktop bin/$name include/nvxapi.h; do
  grep -qx "./$folder/$path" <<<"$listing" || fail "the package does not list /$folder/$path"
done
grep -qx "./usr/share/applications/$name.desktop" <<<"$listing" ||
  fail "the package does not list its desktop entry in /usr/share/applications"
# Nothing from the build tree or of the tests slips in: the install folder, the folders
# above it, the desktop entry and the icon with its theme's folders.
allowed=(-e "^./$folder" -e '^./usr/share/applications' -e '^./$' -e '^./opt/$' -e '^./usr/$'
  -e '^./usr/share/$' -e '^./usr/share/icons/$' -e '^./usr/share/icons/hicolor/$'
  -e '^./usr/share/icons/hicolor/scalable/$' -e '^./usr/share/icons/hicolor/scalable/apps/$'
  -e "^./usr/share/icons/hicolor/scalable/apps/$name.svg\$")
if grep -v "${allowed[@]}" <<<"$listing" | grep -q .; then
  fail "unexpected files: $(grep -v "${allowed[@]}" <<<"$listing")"
fi

# --- unpack into a scratch root ------------------------------------------------------
root=$work/root
dpkg -x "$deb" "$root"
bin=$root/$folder/bin
for program in NorrvaultBackup NVXbackup NVXscheduledBackup NVXnotify nvxserver $name; do
  [[ -x $bin/$program ]] || fail "$program is not executable in the package"
done
entry=$root/usr/share/applications/$name.desktop
exec_line=$(grep '^Exec=' "$entry")
[[ $exec_line == "Exec=/$folder/bin/$name" ]] || fail "desktop entry runs '$exec_line'"
[[ -x $root${exec_line#Exec=} ]] || fail "the desktop entry's program is not in the package"
icon=$(sed -n 's/^Icon=//p' "$entry")
[[ -n $icon && -f $root/usr/share/icons/hicolor/scalable/apps/$icon.svg ]] ||
  fail "the desktop entry's icon '$icon' is not in the package"

# Every library each program and library loads is the package's own (found through
# $ORIGIN) or belongs to a package named in Depends.
declare -A owners
for file in "$bin"/*; do
  head -c 4 "$file" | grep -q 'ELF' || continue
  resolved=$(ldd "$file")
  ! grep -q 'not found' <<<"$resolved" || fail "$(basename "$file"): $(grep 'not found' <<<"$resolved")"
  for soname in $(objdump -p "$file" | awk '$1 == "NEEDED" {print $2}'); do
    # "soname => path (address)", or "path (address)" for the program loader.
    path=$(awk -v so="$soname" '$1 == so && $2 == "=>" {print $3}
      substr($1, length($1) - length(so)) == "/" so {print $1}' <<<"$resolved")
    [[ -n $path ]] || fail "$(basename "$file"): $soname is not resolved"
    [[ $path == "$bin/"* ]] && continue
    if [[ -z ${owners[$path]:-} ]]; then
      owner=$(dpkg -S "$path" 2>/dev/null || dpkg -S "$(readlink -f "$path")" 2>/dev/null) ||
        fail "$(basename "$file"): no Debian package holds $path"
      owners[$path]=${owner%%:*}
    fi
    owner=${owners[$path]}
    tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | grep -qxF "$owner" ||
      fail "$(basename "$file") needs $soname from $owner, which Depends does not name: $depends"
  done
done

# --- NVXbackup from the package against its nvxserver ----------------------------------
data=$work/data
"$bin/nvxserver" --data "$data" account add demo demo-password --quota 1048576 >/dev/null
coproc SERVER { exec "$bin/nvxserver" --data "$data" --listen 127.0.0.1:0 2>"$work/server.log"; }
server_pid=$SERVER_PID
read -r -t 20 port <&"${SERVER[0]}" || fail "nvxserver did not start: $(cat "$work/server.log")"

jobs=$work/jobs
mkdir -p "$jobs/Logs" "$work/runtime"
# Login accepted: 0 and a clean report; a wrong password: 4 and the refusal.
for case in "demo-password 0 Online Backup Results for demo: No Errors" \
  "wrong-password 4 User Password Invalid"; do
  read -r password expected_code expected_report <<<"$case"
  printf 'NVXUser demo\r\nNVXPw %s\r\nNVXServer 127.0.0.1:%s\r\nResultsType Backup\r\nLogDirectory %s\r\nVerifyPath \\Backup\\Docs\r\nVerifyNVXFolders\r\n' \
    "$password" "$port" "$jobs/Logs" >"$jobs/job.txt"
  rm -f "$jobs/Logs/Backup Results.txt"
  set +e
  (cd "$jobs" && XDG_RUNTIME_DIR=$work/runtime NVX_CONNECT_PAUSE_MS=0 \
    "$bin/NVXbackup" -f "$jobs/job.txt" >"$work/run.out" 2>&1)
  code=$?
  set -e
  [[ $code -eq $expected_code ]] ||
    fail "NVXbackup with $password ended $code, expected $expected_code: $(cat "$work/run.out")"
  report=$(cat "$jobs/Logs/Backup Results.txt" 2>/dev/null || true)
  [[ $report == "$expected_report"* ]] || fail "report for $password: '$report'"
done

# --- the launcher: the wizard runs in the user's copy of the install folder ------------
home=$work/home
mkdir -p "$home"
env -u XDG_DATA_HOME HOME="$home" QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime" \
  NVX_WEB_HOST=127.0.0.1:9 NVX_SERVER=127.0.0.1:9 "$bin/$name" >"$work/wizard.out" 2>&1 &
wizard_pid=$!
copy=$home/.local/share/$name
for _ in $(seq 200); do
  [[ -d $copy/Logs ]] && break
  kill -0 "$wizard_pid" 2>/dev/null || fail "the wizard ended: $(cat "$work/wizard.out")"
  sleep 0.1
done
[[ -d $copy/Logs ]] || fail "the wizard did not start in $copy: $(cat "$work/wizard.out")"
for program in NorrvaultBackup NVXbackup NVXscheduledBackup NVXnotify libnvxapi.so libnvxapib.so; do
  cmp -s "$bin/$program" "$copy/$program" || fail "$program was not copied into $copy"
done
echo "package $(basename "$deb"): $(wc -l <<<"$listing") entries; Depends: $depends"
