# bash completion for vexlo-tune
_vexlo_tune()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local commands="list show set apply sync store snapshot"
    local options="--camera --all --json --store --wait --help"
    local keys="bright_mode= skin_smoothing= aec_Mod= afd_value= awb_value= aperture_value= exposure_time=
        iso_value= ev_value= sce_value= saturation_value= contrast_value= sharpness_value= warmness_value=
        uvc_mce_r= uvc_mce_g= uvc_mce_b= color_temperature="
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
