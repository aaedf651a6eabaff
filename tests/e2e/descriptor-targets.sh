#!/usr/bin/env bash
# --csv naming a descriptor (/dev/stdout, /dev/fd/1, /proc/self/fd/1) appends
# through it or exits 2; the log behind it keeps its lines and its inode. As
# root, and as nobody when run as root.
set -u
cli=$1 dir=$(mktemp -d) log=$(mktemp -d)/app.log
trap 'rm -rf "$dir" "${log%/*}"' EXIT
chmod 755 "${log%/*}"
fail() { echo "FAIL: $*"; exit 1; }
check() {  # PREFIX...: how strivo-cli runs
    for target in /dev/stdout /dev/fd/1 /proc/self/fd/1 /dev/fd/3; do
        seq 1000 >"$log" && chmod 666 "$log" && inode=$(stat -c %i "$log")
        "$@" "$cli" download --demo --csv "$target" >>"$log" 3>>"$log" 2>"$dir/err"
        status=$? lines=$(wc -l <"$log")
        head -1000 "$log" | cmp -s - <(seq 1000) || fail "$* $target: the log lost its lines"
        [[ $(stat -c %i "$log") == "$inode" ]] || fail "$* $target: the log was replaced"
        [[ $status == 0 && $lines -gt 1000 && $target != */3 ]] || [[ $status == 2 && $lines == 1000 ]] ||
            fail "$* $target: exit $status, $lines lines: $(cat "$dir/err")"
    done
}
check env
[[ $(id -u) != 0 ]] && { echo "not root: the case as nobody is skipped"; exit 0; }
check setpriv --reuid=nobody --regid=nogroup --clear-groups
echo "passed"
