#!/bin/sh
# Starts the wizard NorrvaultBackup of an installed package. The wizard keeps its job
# files, logs and schedule in the folder it starts from and replaces its own programs
# when it updates them, so each user gets a copy of the install folder to work in:
# ${XDG_DATA_HOME:-~/.local/share}/norrvault-backup. A program of the package that is
# newer than the user's copy (after a package upgrade) replaces it; job files, logs and
# components the user updated since are kept.
set -eu
installed=$(dirname "$(readlink -f "$0")")
folder=${XDG_DATA_HOME:-$HOME/.local/share}/norrvault-backup
mkdir -p "$folder"
for name in NorrvaultBackup NVXbackup NVXscheduledBackup NVXnotify libnvxapi.so libnvxapib.so; do
  if [ ! -e "$folder/$name" ] || [ -n "$(find "$installed/$name" -newer "$folder/$name")" ]; then
    # Copied beside the old one and renamed over it, so a program is never half there.
    cp -p "$installed/$name" "$folder/$name.new"
    mv -f "$folder/$name.new" "$folder/$name"
  fi
done
cd "$folder"
exec ./NorrvaultBackup "$@"
