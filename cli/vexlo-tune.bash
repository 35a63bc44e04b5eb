# bash completion for vexlo-tune
_vexlo_tune()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local commands="list show set apply sync store snapshot"
    local options="--camera --all --json --store --wait --help"
    local keys # as `vexlo-tune set --help` lists them
    keys=$("${COMP_WORDS[0]}" set --help 2>/dev/null | sed -n '/^Keys:/,/^$/s/^  \([A-Za-z_]*\) .*/\1=/p')
    COMPREPLY=()
    case $prev in
        --camera|--wait) return ;;
    esac
    local command="" w
    for w in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
        [[ " $commands " == *" $w "* ]] && command=$w
    done
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    elif [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    elif [[ $command == set ]]; then
        COMPREPLY=($(compgen -W "$keys" -- "$cur"))
        compopt -o nospace 2>/dev/null
    elif [[ $command == apply || $command == snapshot ]]; then
        COMPREPLY=($(compgen -f -- "$cur"))
        compopt -o filenames 2>/dev/null
    fi
}
complete -F _vexlo_tune vexlo-tune
