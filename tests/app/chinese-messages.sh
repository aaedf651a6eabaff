#!/usr/bin/env bash
# Under a Chinese locale strivo-cli speaks Chinese: its help, a usage error,
# a demo sync, a copy in another folder (its catalog is inside it), and every kind of
# failure it reports, the reasons included. What may stay English: names of
# products and services, commands, options, settings keys, environment
# variables, hosts, paths, numbers, and a library's own text in a bracket
# that names the library.
# The catalogs need no locale; the one built in a temporary folder (no root
# needed) lets the system's own texts come in Chinese too.
set -u
cli=$1
sim=$2
dir=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$dir"' EXIT
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
cp "$cli" "$dir/strivo-cli"
"$dir/strivo-cli" --help | grep -q '^用法：' || fail "the copy is not Chinese"
err=$("$cli" sync --demo --config x 2>&1)
[[ $? == 2 && $err == *'--demo 和 --config 不能同时使用'* ]] || fail "usage error: $err"
out=$("$cli" sync --demo 2>&1) || fail "sync: $out"
[[ $out == *'已上传 24 条跑步记录到 Kelvora 跑步日志；之前已上传 0 条。'* ]] || fail "sync: $out"

# Stand-ins: one that behaves, one whose run log answers 503, one whose run
# list fails.
serve() {  # name, then strivo-sim's options
  local name=$1; shift
  "$sim" --ca-out "$dir/$name.pem" "$@" >"$dir/$name.txt" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do grep -q '^cafile=' "$dir/$name.txt" && break; sleep 0.1; done
  mkdir -p "$dir/$name"
  sed -n '/^\[nike+\]/,/^http_port/p' "$dir/$name.txt" |
    sed -e 's|^\[nike+\]|&\nuser=demo.runner@strivo.example|' -e 's|^\[kelvora\]|&\nuser=李昞赟|' \
    >"$dir/$name/config.ini"
  grep -q '^cafile=' "$dir/$name/config.ini" || fail "strivo-sim $*: $(cat "$dir/$name.txt")"
}
serve good
serve busy --fault /runlogger.php,status=503
serve cut --fault /nikeplus/v1/services/app/run_list.jsp,status=500
# Three ways a site ends the session, answering a post.
serve forbid --fault /runlogger.php,status=403
serve signout --fault '/runlogger.php,location=/logging.php?action=login'
serve signin --fault /runlogger.php,signin-page
good=(--config "$dir/good/config.ini")
export STRIVO_NIKE_PASSWORD='spring run&go' STRIVO_SITE_PASSWORD='run log&1'
settings() {  # a settings file: the good one with one line changed
  sed "$1" "$dir/good/config.ini" >"$dir/$2.ini"
}
settings 's|^https_port=.*|https_port=1|' refused
settings '/^cafile=/d' untrusted
settings 's|^https_port=.*|https_port=99999|' badport
settings 's|^cafile=.*|cafile=/nowhere/ca.pem|' nocafile
settings '$s|^http_port=.*|http_port=1|' nosite
mkdir -p "$dir/folder/strivo.db"; cp "$dir/good/config.ini" "$dir/folder/config.ini"
# Files that hold no run: one expat cannot read, a course.
printf '<?xml version="1.0"?>' >"$dir/cut.gpx"
printf '<TrainingCenterDatabase><Courses><Course/></Courses></TrainingCenterDatabase>' >"$dir/course.tcx"

# Each case: exit status, variables to set (or -), then the arguments.
cases=(
  "1 STRIVO_NIKE_PASSWORD=wrong download ${good[*]}"
  "1 STRIVO_SITE_PASSWORD=wrong sync ${good[*]}"
  "1 - download --config $dir/refused.ini"
  "1 - download --config $dir/untrusted.ini"
  "2 - download --config $dir/badport.ini"
  "2 - download --config $dir/nocafile.ini"
  "2 - download --config $dir/none.ini"
  "1 - sync --config $dir/nosite.ini"
  "1 - download --config $dir/cut/config.ini"
  "1 - sync --config $dir/busy/config.ini"
  "1 - sync --config $dir/folder/config.ini"
  "1 - download ${good[*]} --csv $dir/none/runs.csv"
  "1 - runs ${good[*]} --tcx $dir/good/config.ini/runs.tcx"
  "2 - settle --posted ${good[*]}"
  "2 - download --fast"
  "2 - stats --by=9"
  "1 - sync --config $dir/forbid/config.ini"
  "1 - sync --config $dir/signout/config.ini"
  "1 - sync --config $dir/signin/config.ini"
  "0 - stats --by=year --svg=$dir/chart.svg ${good[*]}"
  "1 - settle --posted 9999 ${good[*]}"
  "2 - settle --held --demo"
  "1 - import $dir/cut.gpx $dir/course.tcx ${good[*]}"
  "1 DBUS_SESSION_BUS_ADDRESS= status ${good[*]}"
)
for c in "${cases[@]}"; do
  read -r status variables args <<<"$c"
  [[ $variables != - ]] || variables=
  # shellcheck disable=SC2086
  out=$(env $variables "$cli" $args 2>&1 </dev/null)
  got=$?
  [[ $got == "$status" ]] || fail "$args: exit $got, not $status: $out"
  english=$(printf '%s\n' "$out" | perl -CSD -Mutf8 -pe '
    s/（(?:[A-Za-z][\w.+-]*|系统)：[^（）]*）//g;       # a library own text, in a bracket naming it
    1 while s/ \((?:[^()]|\([^()]*\))*\)//;          # a library own text, in brackets
    s/\S*[\/\\]\S*//g;                             # paths, URLs
    s/\S+:\d+//g; s/\b[\w-]+(?:\.[\w-]+)+\b//g;    # hosts, files
    s/--?[\w-]+(?:=\S*)?//g; s/\b[A-Z]+(?:_[A-Z]+)+\b//g;  # options, environment
    s/\[[^\]]*\]//g;                               # sections
    s/\b(?:Nike|Kelvora|Strivo|strivo|cli|libcurl|TLS|PEM|CSV|TCX|GPX|XML|MB|KB|KM|km|RunID|RUNID|Id|
          download|sync|runs|stats|settle|import|PATH|FIT|DIR|status|schedule|daily|hourly|off|week|month|year|user|pwd|host|https_port|http_port|cafile)\b//gx;
  ' | grep -oE '[A-Za-z]{2,}' | sort -u | tr '\n' ' ')
  [[ -z $english ]] || fail "$args: English words ($english) in: $out"
done

grep -q '<title>每年距离（公里）</title>' "$dir/chart.svg" || fail "the chart's title: $(head -5 "$dir/chart.svg")"

# The system's own words pass through whole, in UTF-8.
out=$("$cli" download "${good[@]}" --csv "$dir/none/runs.csv" 2>&1)
[[ $out == *'没有那个文件或目录'* ]] || fail "strerror is not whole: $out"
# The 503 run log got three posts from the one sync above, not 24.
port=$(sed -n '$s/^http_port=//p' "$dir/busy/config.ini")
posts=$(curl -s "http://127.0.0.1:$port/__sim/requests" | grep -c '"method":"POST","path":"/runlogger.php"')
[[ $posts == 3 ]] || fail "$posts posts to a run log answering 503"
echo "passed"
