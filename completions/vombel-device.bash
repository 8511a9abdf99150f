# bash completion for vombel-device: commands, their actions and modes, the
# options, and the simulated card classes of --simulate=CLASS.
# Installed into bash-completion's folder; or: source completions/vombel-device.bash

_vombel_device() {
  local cur prev
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD-1]}
  local commands="status identity diagnostics watch pin technology sms connect disconnect"
  local options="--json --simulate --simulate= --pin --once --timeout --verbose --log --help"
  local classes="3g gprs techsel stack3 0e00 composite"

  # --simulate=CLASS: bash splits the word at "=" (COMP_WORDBREAKS).
  if [[ $cur == --simulate=* ]]; then
    local class=${cur#--simulate=}
    COMPREPLY=($(compgen -P --simulate= -W "$classes" -- "$class"))
    return
  fi
  if [[ $prev == = && ${COMP_WORDS[COMP_CWORD-2]} == --simulate ]]; then
    COMPREPLY=($(compgen -W "$classes" -- "$cur"))
    return
  fi
  if [[ $cur == = && $prev == --simulate ]]; then
    COMPREPLY=($classes)
    return
  fi
  if [[ $prev == --timeout ]]; then
    COMPREPLY=()
    return
  fi

  # The command given so far, and the word that follows it.
  local i word command="" after=""
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    case $word in
      -*|=) ;;
      *)
        if [[ -z $command && ${COMP_WORDS[i-1]} != --timeout && ${COMP_WORDS[i-1]} != = ]]; then
          command=$word
        elif [[ -n $command && -z $after ]]; then
          after=$word
        fi
        ;;
    esac
  done

  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null
    return
  fi
  case $command in
    "") COMPREPLY=($(compgen -W "$commands" -- "$cur")) ;;
    pin) [[ -z $after ]] && COMPREPLY=($(compgen -W "status enter change on off unblock" -- "$cur")) ;;
    sms) [[ -z $after ]] && COMPREPLY=($(compgen -W "list read send delete" -- "$cur")) ;;
    technology)
      [[ -z $after ]] && COMPREPLY=($(compgen -W "gprs-only umts-only gprs-preferred umts-preferred" -- "$cur"))
      ;;
    *) COMPREPLY=() ;;
  esac
}

complete -F _vombel_device vombel-device
