#!/usr/bin/env bash
# completions/vombel-device.bash as bash runs it: each row is the words typed
# (the last one being completed) and the completions bash must offer.
# usage: vombel_device_completion.sh COMPLETION-FILE
set -u
source "$1"

failures=0
expect() {
  local want=$1
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _vombel_device
  local got="${COMPREPLY[*]}"
  if [[ $got != "$want" ]]; then
    echo "completing [$*]: got [$got], expected [$want]" >&2
    failures=$((failures + 1))
  fi
}

expect "status identity diagnostics watch pin technology sms connect disconnect" vombel-device ""
expect "diagnostics disconnect" vombel-device di
expect "status enter change on off unblock" vombel-device --json pin ""
expect "on off" vombel-device pin o
expect "list read send delete" vombel-device --simulate=gprs sms ""
expect "umts-only umts-preferred" vombel-device technology u
expect "" vombel-device technology gprs-only ""
expect "" vombel-device sms read ""
expect "status identity diagnostics watch pin technology sms connect disconnect" vombel-device --timeout 5 ""
expect "" vombel-device --timeout ""
expect "--simulate --simulate=" vombel-device --sim
expect "--json" vombel-device status --j
# --simulate=CLASS, split at "=" as bash does by default, and whole.
expect "3g gprs techsel stack3 0e00 composite" vombel-device --simulate =
expect "stack3" vombel-device --simulate = st
expect "--simulate=composite" vombel-device --simulate=co
# A complete line registers the function for the program.
[[ $(complete -p vombel-device) == *"-F _vombel_device vombel-device"* ]] || {
  echo "vombel-device has no completion" >&2
  failures=$((failures + 1))
}
exit $((failures > 0))
