#!/usr/bin/env bash
# The completion offers every option the renderer's --help lists, and completes a document's
# name after --stamp.
#   tests/completion_test.sh COMPLETION PROGRAM
set -euo pipefail
completion=$1 program=$2
source /usr/share/bash-completion/bash_completion
source "$completion"
# A command line being typed, and what the completion offers for its last word.
offered() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _sorvex_sign_render
  printf '%s\n' "${COMPREPLY[@]}" | sort
}
listed=$(QT_QPA_PLATFORM=offscreen "$program" --help | grep -E '^  -' | sed -E 's/^  //; s/  +.*$//' |
  tr ',' '\n' | sed -E 's/^ +//; s/ .*$//' | grep -E '^-' | sort -u)
missing=$(comm -23 <(echo "$listed") <(offered sorvex-sign-render -))
[ -z "$missing" ] || { echo "not offered: $missing"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/contract.pdf" "$work/notes.txt"
cd "$work"
[ "$(offered sorvex-sign-render --stamp c)" = contract.pdf ] || { echo "--stamp does not complete a PDF"; exit 1; }
echo "every option of --help offered"
