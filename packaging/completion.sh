#!/usr/bin/env bash
# Writes the bash completion of sorvex-sign-render from its own --help: every option it lists,
# each value completed by what its placeholder says it is (a file of a kind, a folder, a style,
# a background), so that the completion cannot fall behind the program.
#   packaging/completion.sh PROGRAM OUTPUT
set -euo pipefail
program=$1 output=$2
help=$(QT_QPA_PLATFORM=offscreen "$program" --help)
# Option lines start with two blanks and a dash; a longer indent continues a description.
options=$(printf '%s\n' "$help" | grep -E '^  -' | sed -E 's/^  //; s/  +.*$//')
words=$(printf '%s\n' "$options" | tr ',' '\n' | sed -E 's/^ +//; s/ .*$//' | grep -E '^-' | sort -u | tr '\n' ' ')

# What a value is completed with, by its option and its placeholder.
cases=""
while IFS= read -r line; do
  value=$(printf '%s' "$line" | sed -nE 's/.*<([^>]*)>.*/\1/p')
  [ -n "$value" ] || continue
  names=$(printf '%s' "$line" | sed -E 's/ <.*//; s/, / | /g')
  case "$names|$value" in
  *--style*) action='local IFS=$'"'"'\n'"'"'; COMPREPLY=($(compgen -W "$(_sorvex_sign_render_names styles)" -- "$cur"))' ;;
  *--background*) action='local IFS=$'"'"'\n'"'"'; COMPREPLY=($(compgen -W "none"$'"'"'\n'"'"'"$(_sorvex_sign_render_names backgrounds)" -- "$cur"))' ;;
  *--output*) action="_filedir '@(png|bmp|jpg|jpeg|svg|pdf)'" ;;
  *--sign-with*) action="_filedir '@(p12|pfx)'" ;;
  *--drawn*) action="_filedir '@(json|png|jpg|jpeg)'" ;;
  *"|FILE.pdf") action="_filedir pdf" ;;
  *"|FILE.csv") action="_filedir csv" ;;
  *"|FILE") action="_filedir" ;;
  *"|DIR") action="_filedir -d" ;;
  *) action=":" ;; # text, numbers, places: nothing to offer
  esac
  cases+="    $names)
        $action
        return
        ;;
"
done <<<"$options"

cat >"$output" <<COMPLETION
# bash completion for sorvex-sign-render, made from its --help when it was built

_sorvex_sign_render_names()
{
    # The styles or backgrounds the installed kit lists, one per line after its heading.
    sorvex-sign-render --list 2>/dev/null | awk -v want="\$1:" '
        /^[a-z]+:\$/ { on = (\$0 == want); next }
        on { sub(/^ *[0-9]+\t/, ""); print }'
}

_sorvex_sign_render()
{
    local cur prev
    _init_completion || return

    case \$prev in
$cases    esac

    if [[ \$cur == -* ]]; then
        COMPREPLY=(\$(compgen -W '$words' -- "\$cur"))
    fi
} && complete -F _sorvex_sign_render sorvex-sign-render
COMPLETION
