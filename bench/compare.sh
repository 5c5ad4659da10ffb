#!/usr/bin/env bash
# compare.sh [-n RUNS] [--corpus DIR] [--peers REGEX] [--build DIR] [--no-peers]
#
# Times tarngrep on the benchmark queries Q1..Q8 beside the peer tools, on big/edict.txt of
# the CP932 corpus of ../shared/bench: builds tarngrep (RelWithDebInfo, in --build, default
# build-compare), builds the corpus with make-corpus.sh when it is missing (256 MiB, default
# /tmp/cp932corpus), runs peers.sh for the peers chosen by --peers, then prints tarngrep's rows
# in peers.sh's format: matching lines, the reference count, the median wall time of RUNS runs
# (hyperfine, one warm-up, output to a pipe) and tarngrep's peak resident memory. tarngrep has
# no count option: it prints every matching line (as CP932, the file's own bytes, so that the
# time is not spent converting output), and the lines are counted.
#
# Defaults: -n 3; peers: ripgrep -E shift_jis -j1, GNU grep in the CP932 locale,
# LC_ALL=C grep, and the memchr / cat floors. The shared scripts are found in
# TARN_SHARED_BENCH (default: ../shared/bench beside the checkout).
#
# Last, the cost per file: a literal and a line-start query on the many-files tree of
# make-many.sh (60,000 files of 1-16 KiB in 401 folders, built when missing), tarngrep on one
# thread (and with -j 2 when it has that option) beside recursive GNU grep (CP932 locale and C
# locale, binary files skipped) and ripgrep (-j1 and its default). Every tool prints the
# matching lines without file names, so each row's count must agree; median wall, user and
# system seconds.
#
# Then files in other encodings (--encodings-only runs this part alone): the big file and the
# many-files tree converted to UTF-8 (in TARN_UTF8_CORPUS, default /tmp/tarn-utf8corpus, made
# when missing), tarngrep on each beside the CP932 original, run by run in turn, with the peers
# that need no conversion there (ripgrep and GNU grep in a UTF-8 locale); and what deciding
# each file's encoding costs on the CP932 corpus: --file-encoding auto (the default) beside
# cp932, which reads every file as before. Medians of RUNS pairs, wall and CPU seconds.
set -uo pipefail

RUNS=3 CORPUS=/tmp/cp932corpus NO_PEERS=0 ENC_ONLY=0
PEERS='^(rg-sjis|grep-sjis|grep-C|memchr-NUL|memchr-LF|cat)\|1\|big\|'
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build-compare
while [ $# -gt 0 ]; do
    case $1 in
        -n) RUNS=$2; shift 2 ;;
        --corpus) CORPUS=$2; shift 2 ;;
        --peers) PEERS=$2; shift 2 ;;
        --build) BUILD=$2; shift 2 ;;
        --no-peers) NO_PEERS=1; shift ;;
        --encodings-only) ENC_ONLY=1; shift ;;
        -h|--help) sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done

SHARED=${TARN_SHARED_BENCH:-}
for d in "$SHARED" "$ROOT/../shared/bench"; do
    [ -n "$d" ] && [ -x "$d/peers.sh" ] && { SHARED=$(cd "$d" && pwd); break; }
done
[ -x "$SHARED/peers.sh" ] || { echo "peers.sh not found; set TARN_SHARED_BENCH" >&2; exit 2; }

echo "== building tarngrep in $BUILD" >&2
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DTARN_BUILD_GUI=OFF -DTARN_BUILD_TESTS=OFF >/dev/null || exit 1
cmake --build "$BUILD" -j2 --target tarngrep >/dev/null || exit 1
TARNGREP=$BUILD/src/app/tarngrep

"$SHARED/make-corpus.sh" "$CORPUS" 256 || exit 1
BIG=$CORPUS/big/edict.txt
WORK=/tmp/cp932-peers
mkdir -p "$WORK"

# The queries of peers.sh, in the same order.
QID=(Q1 Q2 Q3 Q4 Q5 Q6 Q7 Q8)
QKIND=(F F F E E E E E)
QU=('computer' '辞書' 'コンピュータ' '[ァ-ヶ]+ー' '^日本' '猫|犬|鳥|魚' '.*ship$'
    '(コ|こ|ｺ)(ン|ん|ﾝ)(ピ|ぴ|ﾋﾟ|ひ゜|ヒ゜)(ュ|ゅ|ｭ|ユ|ゆ|ﾕ)(ー|～|ｰ|)(タ|た|ﾀ)')

encoding_rows() {
    local UTF8=${TARN_UTF8_CORPUS:-/tmp/tarn-utf8corpus} MANY=$CORPUS/many
    "$SHARED/make-many.sh" "$CORPUS" >/dev/null || exit 1
    if [ ! -f "$UTF8/done" ] || [ "$UTF8/done" -ot "$CORPUS/MANIFEST" ]; then
        echo "== converting the corpus to UTF-8 in $UTF8" >&2
        rm -rf "$UTF8"
        # A file with a NUL in its head (a binary one) is copied as it is; bytes that CP932
        # lacks stay as they are.
        python3 - "$CORPUS" "$UTF8" <<'PY' || exit 1
import os, shutil, sys
src, dst = sys.argv[1], sys.argv[2]
for top in ("big", "many"):
    for d, dirs, files in os.walk(os.path.join(src, top)):
        out = os.path.join(dst, os.path.relpath(d, src))
        os.makedirs(out, exist_ok=True)
        for f in files:
            data = open(os.path.join(d, f), "rb").read()
            target = os.path.join(out, f)
            if b"\0" in data[:2048]:
                shutil.copyfile(os.path.join(d, f), target)
            else:
                open(target, "wb").write(data.decode("cp932", "surrogateescape").encode("utf-8", "surrogateescape"))
PY
        touch "$UTF8/done"
    fi
    cat "$BIG" "$UTF8/big/edict.txt" >/dev/null
    pair_timed() {   # wall and CPU seconds of one command, output counted
        local t0 t1 c0 c1
        times > "$WORK/times"; c0=$(tail -1 "$WORK/times"); t0=$(date +%s%N)
        eval "$1" | wc -l > /dev/null
        t1=$(date +%s%N); times > "$WORK/times"; c1=$(tail -1 "$WORK/times")
        awk -v a="$c0" -v b="$c1" -v w=$(( t1 - t0 )) 'function s(x,  p) { split(x, p, /[ms ]+/); return p[1] * 60 + p[2] + p[3] * 60 + p[4] }
            BEGIN { printf "%.3f %.3f\n", w / 1e9, s(b) - s(a) }'
    }
    med() { sort -n -k"$1" "$2" | awk -v c="$1" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'; }
    pairs() {        # label, command A, command B: their lines, median wall and CPU, ratios
        local na nb wa wb ca cb
        : > "$WORK/enc-a"; : > "$WORK/enc-b"
        na=$(eval "$2" | wc -l); nb=$(eval "$3" | wc -l)
        for _ in $(seq "$RUNS"); do pair_timed "$2" >> "$WORK/enc-a"; pair_timed "$3" >> "$WORK/enc-b"; done
        wa=$(med 1 "$WORK/enc-a"); wb=$(med 1 "$WORK/enc-b"); ca=$(med 2 "$WORK/enc-a"); cb=$(med 2 "$WORK/enc-b")
        printf '%-10s %9s %9s %7s %7s %6s %7s %7s %6s\n' "$1" "$na" "$nb" "$wa" "$wb" \
            "$(awk -v a="$wa" -v b="$wb" 'BEGIN { printf "%.2f", b / a }')" "$ca" "$cb" \
            "$(awk -v a="$ca" -v b="$cb" 'BEGIN { if (a > 0) printf "%.2f", b / a; else print "-" }')"
    }
    single() {       # label, command: its lines, median wall and CPU
        : > "$WORK/enc-a"
        local n; n=$(eval "$2" | wc -l)
        for _ in $(seq "$RUNS"); do pair_timed "$2" >> "$WORK/enc-a"; done
        printf '%-10s %9s %7s %7s\n' "$1" "$n" "$(med 1 "$WORK/enc-a")" "$(med 2 "$WORK/enc-a")"
    }
    local i k q u p fl rfl mq=(F L) mu=('コンピュータ' '^日本')
    query_pairs() {  # tarngrep option and corpus of A, then of B: Q1-Q8 on the big file, the many-files queries
        for i in "${!QID[@]}"; do
            p=$(printf '%s' "${QU[i]}" | iconv -f UTF-8 -t CP932)
            pairs "${QID[i]}" "$(printf '%q ' "$TARNGREP" "$1" -q -j1 --no-subdirs --result-type 0 --encoding cp932 -- "$p" "$2/big" edict.txt)" \
                "$(printf '%q ' "$TARNGREP" "$3" -q -j1 --no-subdirs --result-type 0 --encoding cp932 -- "$p" "$4/big" edict.txt)"
        done
        for k in 0 1; do
            q=${mq[k]} p=$(printf '%s' "${mu[k]}" | iconv -f UTF-8 -t CP932)
            fl=(); [ "$q" = F ] && fl=(-F)
            pairs "many-$q" "$(printf '%q ' "$TARNGREP" "$1" -q -j1 --result-type 0 --encoding cp932 "${fl[@]}" -- "$p" "$2/many" '*.txt')" \
                "$(printf '%q ' "$TARNGREP" "$3" -q -j1 --result-type 0 --encoding cp932 "${fl[@]}" -- "$p" "$4/many" '*.txt')"
        done
    }
    echo
    echo "UTF-8 copy beside CP932, tarngrep -j1, run by run in turn; load $(cut -d' ' -f1-3 /proc/loadavg)"
    printf '%-10s %9s %9s %7s %7s %6s %7s %7s %6s\n' q lines_sjis lines_u8 wall wall_u8 ratio cpu cpu_u8 ratio
    query_pairs --file-encoding=auto "$CORPUS" --file-encoding=auto "$UTF8"
    echo
    echo "peers on the UTF-8 copy (no conversion needed there), printing the lines"
    printf '%-10s %9s %7s %7s\n' tool-q lines wall cpu
    for i in "${!QID[@]}"; do
        fl=(-P); [ "${QKIND[i]}" = F ] && fl=(-F)
        single "grep-${QID[i]}" "LC_ALL=C.UTF-8 $(printf '%q ' grep -h "${fl[@]}" -e "${QU[i]}" "$UTF8/big/edict.txt")"
        if command -v rg >/dev/null; then
            rfl=(); [ "${QKIND[i]}" = F ] && rfl=(-F)
            single "rg-${QID[i]}" "$(printf '%q ' rg -j1 -N --no-filename "${rfl[@]}" -e "${QU[i]}" "$UTF8/big/edict.txt")"
        fi
    done
    for k in 0 1; do
        q=${mq[k]} u=${mu[k]}
        fl=(); [ "$q" = F ] && fl=(-F)
        single "grep-many-$q" "LC_ALL=C.UTF-8 $(printf '%q ' grep -r -I -h "${fl[@]}" --include='*.txt' -e "$u" "$UTF8/many")"
        if command -v rg >/dev/null; then
            single "rg-many-$q" "$(printf '%q ' rg -j1 --hidden --no-ignore -I -N "${fl[@]}" -g '*.txt' -e "$u" "$UTF8/many")"
        fi
    done
    echo
    echo "deciding the encoding on the CP932 corpus: --file-encoding cp932 (as before) beside auto; load $(cut -d' ' -f1-3 /proc/loadavg)"
    printf '%-10s %9s %9s %7s %7s %6s %7s %7s %6s\n' q lines_cp lines_auto wall wall_au ratio cpu cpu_au ratio
    query_pairs --file-encoding=cp932 "$CORPUS" --file-encoding=auto "$CORPUS"
}
if [ "$ENC_ONLY" = 1 ]; then
    encoding_rows
    exit 0
fi

if [ "$NO_PEERS" = 0 ]; then
    "$SHARED/peers.sh" -n "$RUNS" --only "$PEERS" "$CORPUS"
    echo
fi

ref_count() {   # as peers.sh counts it, on its normalised UTF-8 copy (made by peers.sh)
    local fl=(-P); [ "${QKIND[$1]}" = F ] && fl=(-F)
    if [ -f "$WORK/ref/big.utf8" ]; then
        LC_ALL=C.UTF-8 grep -c "${fl[@]}" -e "${QU[$1]}" "$WORK/ref/big.utf8"
    else
        echo -
    fi
}
median_of() {
    local js=$WORK/tarn-hf.json
    rm -f "$js"
    hyperfine --shell=bash -i --style none --output=pipe --warmup 1 --runs "$RUNS" --export-json "$js" -- "$1" >/dev/null 2>&1
    sed -n 's/^ *"median": *\([0-9.eE+-]*\).*/\1/p' "$js" | head -1 | awk '{ printf "%.3f\n", $1 }'
}
peak_of() {     # peak resident memory in MB
    { /usr/bin/time -f '%M' bash -c "$1 > /dev/null"; } 2>&1 | tail -1 | awk '{ printf "%.1f", $1 / 1024 }'
}

mkdir -p "$WORK"
cat "$BIG" >/dev/null
printf '%-12s %-4s %-5s %-3s %10s %10s %9s %8s\n' tool thr target q matches ref median_s peak_MB
for i in "${!QID[@]}"; do
    pattern=$(printf '%s' "${QU[i]}" | iconv -f UTF-8 -t CP932)
    cmd=$(printf '%q ' "$TARNGREP" -q --no-subdirs --result-type 0 --encoding cp932 -- "$pattern" "$CORPUS/big" edict.txt)
    m=$(eval "$cmd" | wc -l)
    printf '%-12s %-4s %-5s %-3s %10s %10s %9s %8s\n' tarngrep 1 big "${QID[i]}" "$m" "$(ref_count "$i")" "$(median_of "$cmd")" "$(peak_of "$cmd")"
done
# Q8 as a user types it: the fuzzy-character switch on the plain word, which the pre-processor
# widens to an alternation (larger than Q8's); it should cost what Q8 costs.
pattern=$(printf '%s' 'コンピュータ' | iconv -f UTF-8 -t CP932)
cmd=$(printf '%q ' "$TARNGREP" -q --fuzzy --no-subdirs --result-type 0 --encoding cp932 -- "$pattern" "$CORPUS/big" edict.txt)
printf '%-12s %-4s %-5s %-3s %10s %10s %9s %8s\n' tarngrep 1 big Q8f "$(eval "$cmd" | wc -l)" "$(ref_count 7)" "$(median_of "$cmd")" "$(peak_of "$cmd")"

# Context lines: each query with -C 2 beside the same run without, interleaved run by run so
# that a shared machine's changing load falls on both alike; medians of RUNS pairs (wall
# seconds, and CPU seconds of tarngrep and the counting wc, from bash's times).
echo
echo "context lines, interleaved; load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-3s %10s %10s %8s %8s %6s %8s %8s %6s\n' q lines lines_C2 wall_s wall_C2 ratio cpu_s cpu_C2 ratio
run_timed() {   # wall and CPU seconds of one command with its output counted
    local t0 t1 c0 c1
    # times must run in the shell that waited for the children (a pipe would fork it).
    times > "$WORK/times"; c0=$(tail -1 "$WORK/times"); t0=$(date +%s%N)
    eval "$1" | wc -l > /dev/null
    t1=$(date +%s%N); times > "$WORK/times"; c1=$(tail -1 "$WORK/times")
    awk -v a="$c0" -v b="$c1" -v w=$(( t1 - t0 )) 'function s(x,  p, r) { split(x, p, /[ms ]+/); r = p[1] * 60 + p[2] + p[3] * 60 + p[4]; return r }
        BEGIN { printf "%.3f %.3f\n", w / 1e9, s(b) - s(a) }'
}
median_col() { sort -n -k"$1" "$2" | awk -v c="$1" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'; }
for i in "${!QID[@]}"; do
    pattern=$(printf '%s' "${QU[i]}" | iconv -f UTF-8 -t CP932)
    base=$(printf '%q ' "$TARNGREP" -q --no-subdirs --result-type 0 --encoding cp932 -- "$pattern" "$CORPUS/big" edict.txt)
    ctx=$(printf '%q ' "$TARNGREP" -q -C 2 --no-subdirs --result-type 0 --encoding cp932 -- "$pattern" "$CORPUS/big" edict.txt)
    : > "$WORK/ctx-a"; : > "$WORK/ctx-b"
    eval "$base" > /dev/null; eval "$ctx" > /dev/null
    for _ in $(seq "$RUNS"); do run_timed "$base" >> "$WORK/ctx-a"; run_timed "$ctx" >> "$WORK/ctx-b"; done
    wa=$(median_col 1 "$WORK/ctx-a"); wb=$(median_col 1 "$WORK/ctx-b")
    ca=$(median_col 2 "$WORK/ctx-a"); cb=$(median_col 2 "$WORK/ctx-b")
    printf '%-3s %10s %10s %8s %8s %6s %8s %8s %6s\n' "${QID[i]}" "$(eval "$base" | wc -l)" "$(eval "$ctx" | wc -l)" \
        "$wa" "$wb" "$(awk -v a="$wa" -v b="$wb" 'BEGIN { printf "%.2f", b / a }')" \
        "$ca" "$cb" "$(awk -v a="$ca" -v b="$cb" 'BEGIN { if (a > 0) printf "%.2f", b / a; else print "-" }')"
done

# The CP932 trap lines of peers.sh (written by its probe), searched by tarngrep.
if [ -f "$WORK/probe.txt" ]; then
    PN=('A' '\[' '\\' 'ア' '辞書' '①' 'Ⅰ' '^.$' '鳥|魚' 'ship$' "${QU[3]}" "${QU[7]}")
    PE=(1 1 1 1 1 1 1 1 0 1 2 3)
    echo
    printf '%-4s %-8s %s\n' want tarngrep pattern
    for k in "${!PN[@]}"; do
        pattern=$(printf '%s' "${PN[k]}" | iconv -f UTF-8 -t CP932)
        got=$("$TARNGREP" -q --no-subdirs --result-type 0 --encoding cp932 -- "$pattern" "$WORK" probe.txt | wc -l)
        printf '%-4s %-8s %s\n' "${PE[k]}" "$got" "${PN[k]}"
    done
fi

# Linear time: the same queries on the first half of the file (cut at a line end) and on that
# half written twice. Both are written here, the same way, so that the page cache holds them
# alike (a file written long ago can be slower to read from it than one written just now,
# which would blur the comparison); cat's row is the floor's own ratio.
HALF=$WORK/half DOUBLE=$WORK/double
if [ ! -f "$DOUBLE/edict.txt" ] || [ "$DOUBLE/edict.txt" -ot "$CORPUS/MANIFEST" ]; then
    mkdir -p "$HALF" "$DOUBLE"
    head -n $(( $(wc -l < "$BIG") / 2 )) "$BIG" > "$HALF/edict.txt"
    cat "$HALF/edict.txt" "$HALF/edict.txt" > "$DOUBLE/edict.txt"
fi
cat "$HALF/edict.txt" "$DOUBLE/edict.txt" >/dev/null
echo
printf '%-12s %-3s %10s %10s %7s\n' linearity q half_s double_s ratio
ratio_row() {   # tool, query, command with DIR in place of the folder
    local half double
    half=$(median_of "${3//DIR/$HALF}")
    double=$(median_of "${3//DIR/$DOUBLE}")
    printf '%-12s %-3s %10s %10s %7s\n' "$1" "$2" "$half" "$double" "$(awk -v a="$half" -v b="$double" 'BEGIN { if (a > 0) printf "%.2f", b / a; else print "-" }')"
}
ratio_row cat - "cat DIR/edict.txt"
for i in "${!QID[@]}"; do
    pattern=$(printf '%s' "${QU[i]}" | iconv -f UTF-8 -t CP932)
    ratio_row tarngrep "${QID[i]}" "$(printf '%q ' "$TARNGREP" -q --no-subdirs --result-type 0 --encoding cp932 -- "$pattern") DIR edict.txt"
done

# The cost per file: many small files (make-many.sh), every tool printing the matching lines.
MANY=$CORPUS/many
"$SHARED/make-many.sh" "$CORPUS" >/dev/null || exit 1
times_of() {    # median wall, user and system seconds of a command
    local js=$WORK/tarn-hf.json
    rm -f "$js"
    hyperfine --shell=bash -i --style none --output=pipe --warmup 1 --runs "$RUNS" --export-json "$js" -- "$1" >/dev/null 2>&1
    python3 -c 'import json, sys
r = json.load(open(sys.argv[1]))["results"][0]
print("%.3f %.3f %.3f" % (r["median"], r["user"], r["system"]))' "$js"
}
many_row() {    # tool, threads, query, command
    local m t
    m=$(eval "$4" | wc -l)
    t=$(times_of "$4")
    printf '%-12s %-4s %-5s %10s %9s %7s %7s
' "$1" "$2" "$3" "$m" $t
}
cat "$MANY"/*/*/*.txt "$MANY"/*/*/.hidden/*.txt >/dev/null 2>&1
LOC=$WORK/locale/ja_JP.WINDOWS-31J
echo
echo "many small files: $(find "$MANY" -type f | wc -l) files in $(find "$MANY" -type d | wc -l) folders, mask *.txt; load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-12s %-4s %-5s %10s %9s %7s %7s
' tool thr q matches median_s user_s sys_s
MQ=(F L)
MU=('コンピュータ' '^日本')
for k in 0 1; do
    u=${MU[k]} q=${MQ[k]}
    pattern=$(printf '%s' "$u" | iconv -f UTF-8 -t CP932)
    fl=(); [ "$q" = F ] && fl=(-F)
    many_row tarngrep 1 "$q" "$(printf '%q ' "$TARNGREP" -j1 -q --result-type 0 --encoding cp932 "${fl[@]}" -- "$pattern" "$MANY" '*.txt')"
    if "$TARNGREP" --help 2>&1 | grep -q -- '--threads'; then
        many_row tarngrep 2 "$q" "$(printf '%q ' "$TARNGREP" -j 2 -q --result-type 0 --encoding cp932 "${fl[@]}" -- "$pattern" "$MANY" '*.txt')"
    fi
    if [ -d "$LOC" ]; then
        many_row grep-sjis 1 "$q" "LOCPATH=$(printf '%q' "$WORK/locale") LC_ALL=ja_JP.WINDOWS-31J $(printf '%q ' grep -r -I -h "${fl[@]}" --include='*.txt' -e "$pattern" "$MANY")"
    fi
    many_row grep-C 1 "$q" "LC_ALL=C $(printf '%q ' grep -r -I -h "${fl[@]}" --include='*.txt' -e "$pattern" "$MANY")"
    if command -v rg >/dev/null; then
        rfl=(); [ "$q" = F ] && rfl=(-F)
        many_row rg-sjis 1 "$q" "$(printf '%q ' rg -j1 -E shift_jis --hidden --no-ignore -I -N "${rfl[@]}" -g '*.txt' -e "$u" "$MANY")"
        many_row rg-sjis "$(nproc)" "$q" "$(printf '%q ' rg -E shift_jis --hidden --no-ignore -I -N "${rfl[@]}" -g '*.txt' -e "$u" "$MANY")"
    fi
done

encoding_rows
