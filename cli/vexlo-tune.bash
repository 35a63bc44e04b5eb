# bash completion for vexlo-tune
_vexlo_tune()
{
    local cur prev words cword
    _init_completion || return
    local commands="list show set apply sync store snapshot"
    local options="--camera --all --json --store --wait --help"
    local keys="bright_mode= skin_smoothing= aec_Mod= afd_value= awb_value= aperture_value= exposure_time=
        iso_value= ev_value= sce_value= saturation_value= contrast_value= sharpness_value= warmness_value=
        uvc_mce_r= uvc_mce_g= uvc_mce_b= color_temperature="
    case $prev in
        --camera|--wait) return ;;
    esac
    local command="" w
    for w in "${words[@]:1:cword-1}"; do
        [[ " $commands " == *" $w "* ]] && command=$w
    done
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    elif [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    elif [[ $command == set ]]; then
        COMPREPLY=($(compgen -W "$keys" -- "$cur"))
        compopt -o nospace
    elif [[ $command == apply || $command == snapshot ]]; then
        _filedir
    fi
}
complete -F _vexlo_tune vexlo-tune
