#!/usr/bin/env bash
# Under a Chinese locale strivo-cli speaks Chinese: its help, a usage error
# and a demo sync, and so does a copy installed under another prefix. The
# locale is built in a temporary folder: no root needed.
set -u
cli=$1
cmake=$2
build=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
localedef -i zh_CN -f UTF-8 "$dir/zh_CN.UTF-8" || fail "localedef cannot build zh_CN.UTF-8"
export LOCPATH=$dir LANGUAGE=
unset LC_ALL LC_MESSAGES LANG

for variable in LANG LC_MESSAGES LC_ALL; do
  help=$(env "$variable=zh_CN.UTF-8" "$cli" --help)
  [[ $help == 用法：strivo-cli* && $help == *'  --config=FILE  要读取的设置文件'* ]] ||
    fail "$variable=zh_CN.UTF-8: $help"
done
export LANG=zh_CN.UTF-8
"$cmake" --install "$build" --prefix "$dir/installed" >/dev/null || fail "cmake --install"
"$dir/installed/bin/strivo-cli" --help | grep -q '^用法：' || fail "the installed copy is not Chinese"
err=$("$cli" sync --demo --config x 2>&1)
[[ $? == 2 && $err == *'--demo 和 --config 不能同时使用'* ]] || fail "usage error: $err"
out=$("$cli" sync --demo 2>&1) || fail "sync: $out"
[[ $out == *'已上传 24 条跑步记录到 Kelvora 跑步日志；之前已上传 0 条。'* ]] || fail "sync: $out"
echo "passed"
