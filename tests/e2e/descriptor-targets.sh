#!/usr/bin/env bash
# A file option naming a descriptor (/dev/stdout, /dev/fd/1, /proc/self/fd/1)
# writes through it, as - does, or is refused with 2: the log behind it keeps
# every line. As root, and as nobody when run as root.
set -u
export LC_ALL=C
cli=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
chmod 755 "$dir"
fail() { echo "FAIL: $*"; exit 1; }

check() {  # PREFIX... : the command that runs strivo-cli as someone
    for target in /dev/stdout /dev/fd/1 /proc/self/fd/1; do
        log=$dir/app.log
        seq 1000 >"$log"
        chmod 666 "$log"
        "$@" "$cli" download --demo --csv "$target" >>"$log" 2>"$dir/err"
        status=$?
        head -1000 "$log" | cmp -s - <(seq 1000) || fail "$*: >> $target: the log lost its lines"
        case $status in
            0) (($(wc -l <"$log") > 1000)) || fail "$*: >> $target: no CSV appended" ;;
            2) (($(wc -l <"$log") == 1000)) || fail "$*: >> $target: refused, yet written" ;;
            *) fail "$*: >> $target: exit $status: $(cat "$dir/err")" ;;
        esac
        # > file: the shell empties the file; it stays the same file.
        inode=$(stat -c %i "$log")
        "$@" "$cli" download --demo --csv "$target" >"$log" 2>"$dir/err"
        [[ $(stat -c %i "$log") == "$inode" ]] || fail "$*: > $target: the file was replaced"
    done
    # Another descriptor is refused.
    seq 1000 >"$dir/app.log"
    "$@" "$cli" download --demo --csv /dev/fd/3 3>>"$dir/app.log" >/dev/null 2>&1
    [[ $? == 2 && $(wc -l <"$dir/app.log") == 1000 ]] || fail "$*: /dev/fd/3 was not refused"
}

check env
if [[ $(id -u) == 0 ]]; then
    check setpriv --reuid=nobody --regid=nogroup --clear-groups
else
    echo "not root: the case as nobody is skipped"
fi
echo "passed"
