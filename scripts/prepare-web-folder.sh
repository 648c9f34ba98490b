#!/usr/bin/env bash
# Gives an nvxserver data folder the web host's files, so that the wizard's update check
# and its "Update NVX components" work against a local service:
#   DATA_DIR/web/uploadmanager/backupversion.txt  "versionavailable=2" (no newer version)
#   DATA_DIR/web/install/                         the components found in BIN_DIR
#   DATA_DIR/web/Norrvault_Backup_Update1.html    a small setup page
# Usage: scripts/prepare-web-folder.sh DATA_DIR BIN_DIR
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 DATA_DIR BIN_DIR" >&2
  exit 2
fi
data=$1
bin=$2
if [ ! -d "$bin" ]; then
  echo "$0: $bin is not a folder" >&2
  exit 1
fi
web=$data/web
mkdir -p "$web/uploadmanager" "$web/install"

printf 'versionavailable=2\r\n' >"$web/uploadmanager/backupversion.txt"

cat >"$web/Norrvault_Backup_Update1.html" <<'HTML'
<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Norrvault Backup Update</title></head>
<body><h1>Norrvault Backup Update</h1>
<p>This service runs the current version of Norrvault Backup. Install the newest package
of Norrvault Backup to update the program.</p></body></html>
HTML

# Each component is copied whole to a temporary name and then renamed, so that a
# running service never serves half a file.
found=0
for component in NVXbackup libnvxapi.so libnvxapib.so NVXscheduledBackup; do
  if [ -f "$bin/$component" ]; then
    cp "$bin/$component" "$web/install/.$component.part"
    mv -f "$web/install/.$component.part" "$web/install/$component"
    found=$((found + 1))
  fi
done
echo "web folder $web: $found of 4 components from $bin"
