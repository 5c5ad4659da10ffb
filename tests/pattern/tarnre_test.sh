#!/usr/bin/env bash
# Behaviour of the pattern tester as a user sees it: output lines and exit statuses.
set -u
tarnre="$1"
failures=0

expect() {  # expect NAME EXPECTED_STATUS EXPECTED_STDOUT -- ARGS...
  local name="$1" status="$2" want="$3"
  shift 4
  local got rc
  got="$("$tarnre" "$@" 2>/dev/null)"
  rc=$?
  if [[ "$rc" != "$status" || "$got" != "$want" ]]; then
    echo "FAIL $name: status $rc, output:"
    printf '%s\n' "$got"
    failures=$((failures + 1))
  fi
}

expect plain 0 "3 3" -- --encoding cp932 abc xxabcx
expect several 0 $'2 2\n0 0' -- --encoding cp932 'a|ab' xab yyy
expect crlf 0 "1 3" -- --encoding cp932 'abc$' $'abc\r\n'
expect lf-option 0 "0 0" -- --encoding cp932 --lf 'abc$' $'abc\r\n'
expect utf8 0 "2 4" -- --encoding utf-8 'あ+' 'xああい'
expect describe 0 $'literal: yes "abc"\nline head: no\nline tail: no\nstates: 4' -- --encoding cp932 abc
expect describe-class 0 $'literal: no\nline head: no\nline tail: yes\nstates: 3' -- --encoding cp932 '[ab]$'
expect malformed 2 "" -- --encoding cp932 'a('
expect no-pattern 2 "" -- --lf
expect bad-encoding 2 "" -- --encoding latin1 abc
expect fuzzy 0 $'1 8\n1 12' -- --encoding utf-8 --fuzzy 'コンピューター' 'ｺﾝﾋﾟｭｰﾀｰ' 'コンピュータ'
expect show-pattern 0 $'pattern: (Ａ|ａ|A|a)+\n1 3' -- --encoding utf-8 --fuzzy --show-pattern 'a+' 'aＡ'
expect no-synonym-file 2 "" -- --synonym-file /no/such/file x
expect dash-pattern 0 "2 2" -- --encoding cp932 -- -a x-a

stderr="$("$tarnre" --encoding utf-8 '[abc' 2>&1 >/dev/null)"
if [[ "$stderr" != $'右ブラケット"]"が必要です\nposition 5' ]]; then
  echo "FAIL malformed message: $stderr"
  failures=$((failures + 1))
fi

exit $((failures > 0))
