#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks ptzctl's man page and
# bash completion there: the page renders without warnings (when man is
# installed), and the page, the completion and 'ptzctl --help' name the same
# commands.
#   installed_docs.sh <build dir>
set -euo pipefail
build=$1
prefix=$(mktemp -d); trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
page=$prefix/share/man/man1/ptzctl.1
completion=$prefix/share/bash-completion/completions/ptzctl
export PATH=$prefix/bin:$PATH
test -x "$prefix/bin/ptzctl" && test -f "$page" && test -f "$completion"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if command -v man > /dev/null; then
  warnings=$(MANWIDTH=80 man --warnings=w -l "$page" 2>&1 > /dev/null) || fail "man -l failed"
  [ -z "$warnings" ] || fail "man -l warns: $warnings"
  rendered=$(MANWIDTH=80 man -l "$page" 2> /dev/null)
else
  echo "man is not installed: the page is not rendered"
  rendered=$(cat "$page")
fi

# complete WORD...: what the completion offers for the last word.
complete_words() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _ptzctl; echo "${COMPREPLY[*]}"' \
    _ "$completion" "$@"
}
expect() {
  local want=$1; shift
  local got; got=$(complete_words "$@")
  [ "$got" = "$want" ] || fail "completing '$*': '$got', expected '$want'"
}
expect "cache" ptzctl ca
expect "vocab cache param send config" ptzctl ""
expect "list dump watch" ptzctl cache ""
expect "--interval --count --wait --key --json --help" ptzctl -q cache watch --
expect "u32,str" ptzctl send s u8:1 --reply u32,s
expect "PTZCommand PTZControl" ptzctl vocab PTZC
expect "str:" ptzctl send --timeout 5 sock u8:1 st

# Every command of the help is in the page and offered by the completion.
commands=$(ptzctl --help | sed -n '/^Commands:/,/^$/p' | awk 'NR > 1 && NF {print $1}' | sort -u)
[ -n "$commands" ] || fail "no commands in ptzctl --help"
offered=" $(complete_words ptzctl "") "
for command in $commands; do
  [[ $offered == *" $command "* ]] || fail "the completion does not offer '$command'"
  grep -q "^$command" <<< "$(sed -n '/^COMMANDS/,/^[A-Z]/p' <<< "$rendered" | sed 's/^ *//')" \
    || fail "the man page has no section for '$command'"
done
for sub in list dump watch; do
  grep -Eq "cache +$sub" <<< "$rendered" || fail "the man page does not describe 'cache $sub'"
  [[ " $(complete_words ptzctl cache "") " == *" $sub "* ]] || fail "the completion lacks 'cache $sub'"
done
[ "$failures" -eq 0 ] && echo "man page and completion: ok"
exit "$failures"
