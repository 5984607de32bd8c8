# bash completion for hlx: switches, their file values, and projects.
_hlx() {
  local cur prev
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD - 1]}
  local switches="-I -E -L --log -O --output --repository --quiet --json -T --translator
    --nomerge -h --help --version --"
  switches+=" --export --import --format --language --file"
  switches+=" --import-tmx --export-tmx"
  switches+=" --warnings"
  local w
  for w in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
    # After "--" only the project is left.
    if [[ $w == -- ]]; then
      mapfile -t COMPREPLY < <(compgen -f -X '!*.@(hlx|rqxproj|rqxgroup|oproj|tmproj|groupproj)' -- "$cur")
      mapfile -t -O "${#COMPREPLY[@]}" COMPREPLY < <(compgen -d -- "$cur")
      return
    fi
  done
  case ${prev,,} in
  -l | --log | -o | --output)
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    return
    ;;
  --export)
    mapfile -t COMPREPLY < <(compgen -d -- "$cur")
    return
    ;;
  --import)
    mapfile -t COMPREPLY < <(compgen -f -X '!*.@(xlf|xliff|po)' -- "$cur")
    mapfile -t -O "${#COMPREPLY[@]}" COMPREPLY < <(compgen -d -- "$cur")
    return
    ;;
  --format)
    mapfile -t COMPREPLY < <(compgen -W "xliff po" -- "$cur")
    return
    ;;
  --file)
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    return
    ;;
  --language)
    return
    ;;
  --repository | --import-tmx | --export-tmx)
    mapfile -t COMPREPLY < <(compgen -f -X '!*.tmx' -- "$cur")
    mapfile -t -O "${#COMPREPLY[@]}" COMPREPLY < <(compgen -d -- "$cur")
    return
    ;;
  esac
  case $cur in
  --*=*)
    local value=${cur#*=}
    mapfile -t COMPREPLY < <(compgen -P "${cur%%=*}=" -f -- "$value")
    ;;
  -*)
    mapfile -t COMPREPLY < <(compgen -W "$switches" -- "$cur")
    ;;
  *)
    mapfile -t COMPREPLY < <(compgen -f -X '!*.@(hlx|rqxproj|rqxgroup|oproj|tmproj|groupproj)' -- "$cur")
    mapfile -t -O "${#COMPREPLY[@]}" COMPREPLY < <(compgen -d -- "$cur")
    ;;
  esac
}
complete -o filenames -o bashdefault -F _hlx hlx
