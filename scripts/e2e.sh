#!/usr/bin/env bash
# End-to-end run of the installed tarn on a private virtual X display: a search started by a real
# key press, a second copy handing its command line over to the running window, a result row
# opened in the editor with Enter, a directory handed over relative to the second copy's own
# working folder, the settings file written when Ctrl+Q closes the window, and a hand-over that
# arrives during a long run.
#
#   bash scripts/e2e.sh [BUILD_DIR]        (default: the checkout's build/, already built)
#
# TARN_E2E_KEEP=1 keeps the scratch folder (data directory, logs) for a look afterwards.
#
# Prints one PASS or FAIL line per step and exits non-zero at the first failure. Every wait is for
# something the test can see (a file, a mapped window, a process gone), polled every 0.1 s up to a
# generous limit, so a busy machine makes it slower, never wrong. Needs Xvfb, xauth, xdotool and
# xdpyinfo (Debian: xvfb, xauth, xdotool, x11-utils).
set -uo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${1:-$repo/build}
[[ $build_dir = /* ]] || build_dir=$PWD/$build_dir

# Nothing here touches a display of the caller's: ours is set once our server runs.
unset DISPLAY
# Arguments, file names and the checks here are UTF-8, whatever the caller's locale.
export LC_ALL=C.UTF-8 LANG=C.UTF-8
unset LANGUAGE
step_name=""
scratch=""
started=()  # every process this script started, ended by the cleanup

step() { step_name=$1; }
pass() { printf 'PASS  %s%s\n' "$step_name" "${1:+: $1}"; }

show_logs() {
  local log
  for log in "$scratch"/logs/*.log; do
    [[ -s $log ]] || continue
    echo "---- ${log##*/} (last lines)"
    tail -n 20 "$log"
  done
}

# The titles of the windows shown on our display: a message box in the way shows here.
show_windows() {
  local window
  [[ -n ${DISPLAY:-} ]] || return 0
  echo "---- windows shown on $DISPLAY"
  for window in $(timeout 10 xdotool search --onlyvisible --name '' 2>/dev/null); do
    printf '%s "%s"\n' "$window" "$(timeout 10 xdotool getwindowname "$window" 2>/dev/null)"
  done
}

fail() {
  printf 'FAIL  %s: %s\n' "$step_name" "$1"
  [[ -n $scratch && -d $scratch/logs ]] && show_logs
  show_windows
  exit 1
}

# wait_for SECONDS WHAT COMMAND...: polls COMMAND every 0.1 s until it succeeds.
wait_for() {
  local seconds=$1 what=$2
  shift 2
  local tries=$((seconds * 10))
  until "$@"; do
    ((--tries > 0)) || fail "$what never came (waited $seconds s)"
    sleep 0.1
  done
}

# A child of this script that has ended (a zombie counts: it is reaped by `wait`).
has_ended() {
  local state
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1) || return 0
  [[ -z $state || $state = Z ]]
}

# A started process that was reaped by `wait` is no longer ours to end.
forget() {
  local pid kept=()
  for pid in "${started[@]}"; do [[ $pid = "$1" ]] || kept+=("$pid"); done
  started=("${kept[@]}")
}

cleanup() {
  local pid i
  for pid in "${started[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  for pid in "${started[@]}"; do
    for ((i = 0; i < 50; i++)); do
      has_ended "$pid" && break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  if [[ -n $scratch && -n ${TARN_E2E_KEEP:-} ]]; then
    echo "kept $scratch"
  elif [[ -n $scratch ]]; then
    rm -rf "$scratch"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The items of each CommaText line on stdin, joined by tabs (quoted items with doubled quotes,
# unquoted items ending at a comma or a blank).
comma_fields() {
  LC_ALL=C awk '
    function items(s,    n, i, c, item, out, count) {
      n = length(s); i = 1; out = ""; count = 0
      while (i <= n) {
        while (i <= n && index(" \t", substr(s, i, 1))) i++
        if (i > n) break
        item = ""
        if (substr(s, i, 1) == "\"") {
          for (i++; i <= n; i++) {
            c = substr(s, i, 1)
            if (c == "\"") {
              if (substr(s, i + 1, 1) != "\"") { i++; break }
              i++
            }
            item = item c
          }
        } else {
          for (; i <= n; i++) {
            c = substr(s, i, 1)
            if (c == "," || index(" \t", c)) break
            item = item c
          }
        }
        out = out (count++ ? "\t" : "") item
        while (i <= n && substr(s, i, 1) != ",") i++
        i++
      }
      return out
    }
    { print items($0) }'
}

# A CP932 file as UTF-8 lines without their CR LF.
utf8_lines() { iconv -f CP932 -t UTF-8 "$1" | sed 's/\r$//'; }

# Every line of a file ends with CR LF.
all_crlf() { [[ -s $1 && $(grep -c $'\r$' "$1") -eq $(wc -l <"$1") && $(tail -c 2 "$1" | od -An -tx1 | tr -d ' ') = 0d0a ]]; }

# The items as <a><b>..., so that lists compare item by item, blanks inside items included.
joined() { (($#)) && printf '<%s>' "$@"; }

# Line N of a text file with CR LF, LF or CR line ends, as UTF-8.
text_line() { iconv -f CP932 -t UTF-8 "$1" | sed 's/\r$//' | tr '\r' '\n' | sed -n "$2p"; }

# expect_request PARAMLIST VALUE...: the request an entry records, line by line.
expect_request() {
  local file=$1 got want param
  shift
  mapfile -t param < <(utf8_lines "$file")
  got=$(joined "${param[@]}") want=$(joined "$@")
  [[ $got = "$want" ]] || fail "${file##*/} holds [$got], expected [$want]"
}

# hand_over DATA_DIR LOG ARG...: a second copy hands its arguments over and ends with 0.
# The entry's records hold exactly one hit: its text, file and line number.
expect_one_hit() {
  local file=$1 text=$2 want_path=$3 want_line=$4 infos hit_text path line_no
  mapfile -t infos < <(utf8_lines "$file" | comma_fields)
  IFS=$'\t' read -r _ _ hit_text path line_no _ <<<"${infos[0]:-}"
  [[ ${#infos[@]} -eq 1 && $hit_text = "$text" && $path = "$want_path" && $line_no = "$want_line" ]] ||
    fail "${file##*/} holds [${infos[*]}], expected one hit $text in $want_path line $want_line"
}
hand_over() {
  local data_dir=$1 log=$2 pid status
  shift 2
  # from_dir: the working folder the second copy is started in (default: this one).
  (cd "${from_dir:-.}" && exec "$tarn" --data-dir "$data_dir" -- "$@") >"$log" 2>&1 &
  pid=$!
  started+=("$pid")
  wait_for 30 "the end of the second copy" has_ended "$pid"
  wait "$pid"
  status=$?
  forget "$pid"
  ((status == 0)) || fail "the second copy ended with status $status"
}

# close_tarn: Ctrl+Q ends the first copy with 0.
close_tarn() {
  local status
  focus_window
  xdotool key ctrl+q || fail "xdotool could not send Ctrl+Q"
  wait_for 30 "the end of tarn after Ctrl+Q" has_ended "$tarn_pid"
  wait "$tarn_pid"
  status=$?
  forget "$tarn_pid"
  ((status == 0)) || fail "tarn ended with status $status"
}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tarn-e2e.XXXXXX") || fail "no scratch folder"
mkdir -p "$scratch/logs"

# --- 1: the installed layout --------------------------------------------------------------------
step "1 install"
[[ -d $build_dir ]] || fail "build folder $build_dir does not exist (build it first)"
if ! cmake --install "$build_dir" --prefix "$scratch/usr" >"$scratch/logs/install.log" 2>&1; then
  fail "cmake --install $build_dir failed"
fi
if [[ -x $scratch/usr/bin/tarn ]]; then
  tarn=$scratch/usr/bin/tarn
  pass "installed to a scratch prefix: ${tarn#"$scratch"/}"
elif [[ -x $build_dir/src/app/tarn ]]; then
  tarn=$build_dir/src/app/tarn
  pass "nothing installed, using the build tree's $tarn"
else
  fail "no tarn installed and none in $build_dir/src/app"
fi

# --- 2: a virtual X display of our own ----------------------------------------------------------
step "2 display"
export XAUTHORITY=$scratch/Xauthority
# One cookie for whatever display number the server picks (family "wild", no number).
printf 'ffff 0000  0000  0012 %s 0010 %s\n' 4d49542d4d414749432d434f4f4b49452d31 "$(mcookie)" |
  xauth -q -f "$XAUTHORITY" nmerge - 2>/dev/null
[[ -s $XAUTHORITY ]] || fail "xauth could not write $XAUTHORITY"
Xvfb -displayfd 3 -auth "$XAUTHORITY" -screen 0 1280x1024x24 -nolisten tcp -noreset \
  3>"$scratch/display" >"$scratch/logs/xvfb.log" 2>&1 &
started+=($!)
xvfb_pid=$!
# The server writes its display number once it accepts clients.
display_ready() {
  has_ended "$xvfb_pid" && fail "Xvfb ended at start"
  [[ -s $scratch/display && $(wc -l <"$scratch/display") -ge 1 ]]
}
wait_for 30 "Xvfb's display number" display_ready
DISPLAY=:$(head -n 1 "$scratch/display")
export DISPLAY
timeout 30 xdpyinfo >/dev/null 2>&1 || fail "no connection to the new display $DISPLAY"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
# The single-instance socket lives in a private runtime folder, so other copies on this machine
# are neither found nor disturbed.
export XDG_RUNTIME_DIR=$scratch/run
mkdir -m 700 "$XDG_RUNTIME_DIR"
pass "Xvfb on $DISPLAY"

# --- 3: data directory, stub editor, samples -----------------------------------------------------
step "3 prepare"
data=$scratch/data
samples="$scratch/my samples"  # a blank in the path: %F must reach the editor as one argument
record=$scratch/editor-args.txt
editor=$scratch/bin/record-args
mkdir -p "$data" "$scratch/bin"
cp -R "$repo/samples" "$samples" || fail "cannot copy $repo/samples"
cat >"$editor" <<EOF
#!/bin/sh
# Stands in for the editor: one argument per line, the file replaced whole when complete.
for a in "\$@"; do printf '%s\n' "\$a"; done >"$record.part" && mv "$record.part" "$record"
EOF
chmod +x "$editor"
cmd_line='--line=%L %F --hit=%S'
# The settings file in CP932 with CR LF; the search-string history holds one older word.
printf '%s\r\n' '[Editor]' "ExeName=$editor" "CmdLine=$cmd_line" '' '[FindRequest]' 'FindString=大阪' |
  iconv -f UTF-8 -t CP932 >"$data/tarn.ini" || fail "cannot write $data/tarn.ini"
pass "data directory, tarn.ini, stub editor and samples in $scratch"

# --- 4: first copy, F3 ---------------------------------------------------------------------------
step "4 search"
"$tarn" --data-dir "$data" -- "$samples" 東京 '*.txt' >"$scratch/logs/tarn.log" 2>&1 &
tarn_pid=$!
started+=("$tarn_pid")

main_window() {
  has_ended "$tarn_pid" && fail "tarn ended before its window was shown"
  window=$(xdotool search --all --onlyvisible --pid "$tarn_pid" --name '^Tarn$' 2>/dev/null | head -n 1)
  [[ -n $window ]]
}
wait_for 60 "a mapped tarn window" main_window

# Keyboard focus without a window manager: set it on the window and wait until the server has it.
focus_window() {
  timeout 30 xdotool windowfocus --sync "$window" || fail "keyboard focus never reached window $window"
}
focus_window
xdotool key F3 || fail "xdotool could not send F3"
tmp=$data/Tmp
# The list of the view's lines is the last of an entry's three files; each is renamed into place
# when whole.
wait_for 60 "history entry 1 in $tmp" test -f "$tmp/ResultList.1"

files=$(find "$tmp" -mindepth 1 -printf '%f\n' | LC_ALL=C sort | tr '\n' ' ')
[[ $files = "GerpList.1 ParamList.1 ResultList.1 " ]] || fail "Tmp holds '$files' instead of entry 1's three files"
for f in GerpList.1 ParamList.1 ResultList.1; do all_crlf "$tmp/$f" || fail "$f does not end every line with CR LF"; done
expect_request "$tmp/ParamList.1" 東京 "$samples" '*.txt' 1 '*.*' 0 0

# Every entry of GerpList.1 names a line that holds the hit, and the view line of the same number
# shows that file and line with the hit at the recorded byte column.
mapfile -t infos < <(utf8_lines "$tmp/GerpList.1" | comma_fields)
mapfile -t rows < <(LC_ALL=C sed 's/\r$//' "$tmp/ResultList.1")
((${#infos[@]} == ${#rows[@]})) || fail "GerpList.1 has ${#infos[@]} lines, ResultList.1 ${#rows[@]}"
found=()
for i in "${!infos[@]}"; do
  IFS=$'\t' read -r hit_pos hit_len hit_text path line_no _ <<<"${infos[$i]}"
  [[ $hit_text = 東京 && $hit_len = 4 ]] || fail "GerpList.1 line $((i + 1)) has hit '$hit_text' of $hit_len bytes"
  [[ $path = "$samples"/* && -f $path ]] || fail "GerpList.1 line $((i + 1)) names '$path', not a file under $samples"
  [[ $(text_line "$path" "$line_no") = *東京* ]] || fail "line $line_no of $path does not hold 東京"
  row=$(printf '%s' "${rows[$i]}" | iconv -f CP932 -t UTF-8)
  [[ $row = "${path##*/}($line_no): "* ]] || fail "ResultList.1 line $((i + 1)) '$row' does not show ${path##*/}($line_no)"
  hit=$(printf '%s' "${rows[$i]}" | LC_ALL=C tail -c +"$hit_pos" | LC_ALL=C head -c "$hit_len" | iconv -f CP932 -t UTF-8)
  [[ $hit = 東京 ]] || fail "ResultList.1 line $((i + 1)) has '$hit' at byte $hit_pos, not 東京"
  found+=("${path#"$samples"/}:$line_no")
done
# binary.txt holds 東京 after a NUL byte and sub/page.htm is no *.txt: neither is listed.
expected_found="memo_lf.txt:2 old_mac.txt:2 old_mac.txt:3 sub/日記.txt:2 東京案内.txt:1 東京案内.txt:3 東京案内.txt:5 東京案内.txt:8"
actual_found=$(printf '%s\n' "${found[@]}" | LC_ALL=C sort | tr '\n' ' ')
[[ $actual_found = "$expected_found " ]] || fail "entry 1 lists [$actual_found], expected [$expected_found]"
pass "entry 1: ${#infos[@]} lines, request and records as expected"

# --- 5: a second copy hands its command line over ------------------------------------------------
step "5 hand-over"
second_dir=$samples/sub
hand_over "$data" "$scratch/logs/tarn-second.log" "$second_dir" ページ '*.htm'
has_ended "$tarn_pid" && fail "the first copy ended with the hand-over"
# Only the first window is shown: the second copy never opened one of its own.
[[ $(xdotool search --onlyvisible --name '^Tarn$' | wc -l) -eq 1 ]] ||
  fail "more than one window named Tarn is shown"
# What the boxes took over shows in the request of the next entry.
focus_window
xdotool key F3 || fail "xdotool could not send F3"
wait_for 60 "history entry 2 in $tmp" test -f "$tmp/ResultList.2"
files=$(find "$tmp" -mindepth 1 -printf '%f\n' | LC_ALL=C sort | tr '\n' ' ')
[[ $files = "GerpList.1 GerpList.2 ParamList.1 ParamList.2 ResultList.1 ResultList.2 " ]] ||
  fail "Tmp holds '$files' instead of entries 1 and 2"
expect_request "$tmp/ParamList.2" ページ "$second_dir" '*.htm' 1 '*.*' 0 0
expect_one_hit "$tmp/GerpList.2" ページ "$second_dir/page.htm" 2
pass "second copy ended with 0; the window searched ページ in ${second_dir#"$scratch"/} (*.htm)"

# --- 6: Enter on the result row opens the editor -------------------------------------------------
step "6 editor"
# The end of a run with lines puts the focus in the result view with the caret on row 0.
focus_window
xdotool key Return || fail "xdotool could not send Return"
wait_for 30 "the stub editor's record $record" test -f "$record"
mapfile -t editor_args <"$record"
expected_args=(--line=2 "$second_dir/page.htm" --hit=ページ)
got=$(joined "${editor_args[@]}") want=$(joined "${expected_args[@]}")
[[ $got = "$want" ]] || fail "the editor got [$got], expected [$want]"
pass "the editor got <${expected_args[0]}> <${expected_args[1]#"$scratch"/}> <${expected_args[2]}>"

# --- 6b: a directory relative to the second copy's working folder ---------------------------------
step "6b relative hand-over"
# "." is the folder the user typed it in, not the one the running copy was started from.
from_dir=$second_dir hand_over "$data" "$scratch/logs/tarn-relative.log" . 東京 '*.txt'
focus_window
xdotool key F3 || fail "xdotool could not send F3"
wait_for 60 "history entry 3 in $tmp" test -f "$tmp/ResultList.3"
expect_request "$tmp/ParamList.3" 東京 "$second_dir" '*.txt' 1 '*.*' 0 0
expect_one_hit "$tmp/GerpList.3" 東京 "$second_dir/日記.txt" 2
pass "\".\" from ${second_dir#"$scratch"/} searched that folder"

# --- 7: Ctrl+Q writes the settings and ends the program ------------------------------------------
step "7 close"
close_tarn
ini=$data/tarn.ini
all_crlf "$ini" || fail "tarn.ini does not end every line with CR LF"
mapfile -t ini_lines < <(utf8_lines "$ini")
# ini_value SECTION KEY: the value of the key in that section.
ini_value() {
  printf '%s\n' "${ini_lines[@]}" | awk -v section="[$1]" -v key="$2" '
    /^\[/ { inside = ($0 == section); next }
    inside && index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }'
}
expect_ini() {
  local value
  value=$(ini_value "$1" "$2")
  [[ $value = "$3" ]] || fail "tarn.ini [$1] $2 is '$value', expected '$3'"
}
[[ -n $(ini_value Tarn Version) ]] || fail "tarn.ini has no [Tarn] Version"
for key in Top Left Width Height; do
  [[ $(ini_value Tarn "$key") =~ ^-?[0-9]+$ ]] || fail "tarn.ini [Tarn] $key is '$(ini_value Tarn "$key")', not a number"
done
(($(ini_value Tarn Width) > 0 && $(ini_value Tarn Height) > 0)) || fail "tarn.ini holds an empty window size"
expect_ini Editor ExeName "$editor"
expect_ini Editor CmdLine "$cmd_line"
expect_ini FindRequest FindString '東京,ページ,大阪'
expect_ini FindRequest FindDirectory "\"$second_dir\",\"$samples\""
expect_ini FindRequest FindFileMask '*.txt,*.htm'
expect_ini FindResultHistory First 1
expect_ini FindResultHistory Last 3
[[ -f $data/String.txt ]] || fail "String.txt was not written at close"
pass "tarn ended with 0; tarn.ini holds the window, the histories and entries 1 to 3"

# --- 8: a hand-over that arrives during a run waits for its end ----------------------------------
step "8 hand-over during a run"
busy_data=$scratch/data-busy
big=$scratch/big
mkdir -p "$busy_data" "$big"
# Every line a hit: enough rows that the run lasts while a second copy starts, hands over and ends.
big_lines=${TARN_E2E_BIG_LINES:-1500000}
awk -v n="$big_lines" 'BEGIN { for (i = 1; i <= n; i++) printf "東京タワーの行 %d\r\n", i }' |
  iconv -f UTF-8 -t CP932 >"$big/big.txt" || fail "cannot write $big/big.txt"
"$tarn" --data-dir "$busy_data" -- "$big" 東京 '*.txt' >"$scratch/logs/tarn-busy.log" 2>&1 &
tarn_pid=$!
started+=("$tarn_pid")
wait_for 60 "a mapped tarn window" main_window
# The run is under way once the rows it keeps have grown the process by some 40 MB.
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$tarn_pid/status" 2>/dev/null || echo 0; }
idle_kb=$(rss_kb)
run_under_way() {
  has_ended "$tarn_pid" && fail "tarn ended during the run"
  (($(rss_kb) > idle_kb + 40000))
}
focus_window
xdotool key F3 || fail "xdotool could not send F3"
wait_for 60 "the run's first rows" run_under_way
busy_tmp=$busy_data/Tmp
hand_over "$busy_data" "$scratch/logs/tarn-busy-second.log" "$samples" ページ '*.htm'
[[ ! -e $busy_tmp/ResultList.1 ]] ||
  fail "the run had ended before the second copy did: make it longer (TARN_E2E_BIG_LINES=$big_lines)"
wait_for 300 "history entry 1 in $busy_tmp" test -f "$busy_tmp/ResultList.1"
# The entry records the request that found its rows.
expect_request "$busy_tmp/ParamList.1" 東京 "$big" '*.txt' 1 '*.*' 0 0
rows=$(wc -l <"$busy_tmp/ResultList.1")
((rows == big_lines)) || fail "ResultList.1 holds $rows rows, expected $big_lines"
# The handed-over request fills the boxes once the run has ended: the next search is for it.
focus_window
xdotool key F3 || fail "xdotool could not send F3"
wait_for 60 "history entry 2 in $busy_tmp" test -f "$busy_tmp/ResultList.2"
expect_request "$busy_tmp/ParamList.2" ページ "$samples" '*.htm' 1 '*.*' 0 0
close_tarn
pass "entry 1 holds the run's request and its $rows rows; the handed-over request was searched next"

echo "PASS  e2e"
