#!/usr/bin/env bash
# Under a Chinese locale strivo-cli speaks Chinese, its catalog inside it: its
# help, a usage error and a demo sync, and so does a copy in another folder.
# No Chinese locale needs to be installed.
set -u
cli=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
unset LANGUAGE LC_ALL LC_MESSAGES LANG

for variable in LANG LC_MESSAGES LC_ALL; do
  help=$(env "$variable=zh_CN.UTF-8" "$cli" --help)
  [[ $help == 用法：strivo-cli* && $help == *'  --config=FILE  要读取的设置文件'* ]] ||
    fail "$variable=zh_CN.UTF-8: $help"
done
export LANG=zh_CN.UTF-8
cp "$cli" "$dir/strivo-cli"
"$dir/strivo-cli" --help | grep -q '^用法：' || fail "the copy is not Chinese"
err=$("$cli" sync --demo --config x 2>&1)
[[ $? == 2 && $err == *'--demo 和 --config 不能同时使用'* ]] || fail "usage error: $err"
out=$("$cli" sync --demo 2>&1) || fail "sync: $out"
[[ $out == *'已上传 24 条跑步记录到 Kelvora 跑步日志；之前已上传 0 条。'* ]] || fail "sync: $out"
echo "passed"
