# bash completion for sorvex-sign-render

_sorvex_sign_render_names()
{
    # The styles or backgrounds the installed kit lists, one per line after its heading.
    sorvex-sign-render --list 2>/dev/null | awk -v want="$1:" '
        /^[a-z]+:$/ { on = ($0 == want); next }
        on { sub(/^ *[0-9]+\t/, ""); print }'
}

_sorvex_sign_render()
{
    local cur prev
    _init_completion || return

    case $prev in
    --style)
        local IFS=$'\n'
        COMPREPLY=($(compgen -W "$(_sorvex_sign_render_names styles)" -- "$cur"))
        return
        ;;
    --background)
        local IFS=$'\n'
        COMPREPLY=($(compgen -W "none"$'\n'"$(_sorvex_sign_render_names backgrounds)" -- "$cur"))
        return
        ;;
    -o | --output)
        _filedir '@(png|bmp|jpg|jpeg|svg|pdf)'
        return
        ;;
    --stamp)
        _filedir pdf
        return
        ;;
    --drawn)
        _filedir json
        return
        ;;
    --batch)
        _filedir csv
        return
        ;;
    --sign-with)
        _filedir '@(p12|pfx)'
        return
        ;;
    --password-file)
        _filedir
        return
        ;;
    --data)
        _filedir -d
        return
        ;;
    --cn | --en | --size | --color | --pos | --scale | --page | --at | --width | --shard | --jobs)
        return
        ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--help --version --data --style --cn --en --size --color
            --background --pos --scale --transparent --fit --exact-size --strict --worn --output --batch --shard --jobs --list --sheet --report
            --stamp --page --at --width --flatten --across-pages --break-signatures --sign-with
            --password-file' -- "$cur"))
    fi
} && complete -F _sorvex_sign_render sorvex-sign-render
