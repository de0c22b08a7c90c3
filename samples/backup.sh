#!/bin/sh
# Copies the home folder to the backup disk, keeping the last seven copies.
set -eu
target=/mnt/backup
stamp=$(date +%Y-%m-%d)
if [ ! -d "$target" ]; then
    echo "backup disk not mounted" >&2
    exit 1
fi
rsync -a --delete "$HOME/" "$target/home-$stamp/"
ls -1d "$target"/home-* | sort | head -n -7 | while read -r old; do
    rm -rf "$old"
done
echo "backup written to $target/home-$stamp"
