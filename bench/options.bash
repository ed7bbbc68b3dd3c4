# Sourced by bench/run and bench/soak: checks a command line against the option
# lines of a usage text ("  --name VALUE   what it is", or "  --name" alone for a
# flag) before anything is built, so a wrong one costs no build. VALUE N, KIB or
# MS takes a whole number, R a number; the program itself checks the rest.

# check_options PROGRAM USAGE ARGS...: returns when every argument is right;
# otherwise one line naming the first wrong one, and status 2.
check_options() {
  local program=$1 usage=$2
  shift 2
  local -A kind=()
  local line spec word option=""
  while IFS= read -r line; do
    [[ $line =~ ^\ \ (--[a-z].*)$ ]] || continue
    # The names and values, up to the gap before the description.
    spec=${BASH_REMATCH[1]%%  *}
    option=""
    for word in $spec; do
      if [[ $word == --* ]]; then
        option=$word
        kind[$option]=flag
      elif [ -n "$option" ]; then
        kind[$option]=$word
        option=""
      fi
    done
  done <<< "$usage"

  local name value
  while [ $# -gt 0 ]; do
    name=$1
    shift
    [ -n "${kind[$name]:-}" ] || _wrong_option "$program" "unknown option $name"
    [ "${kind[$name]}" != flag ] || continue
    [ $# -gt 0 ] && [[ $1 != --* ]] || _wrong_option "$program" "$name needs a value (${kind[$name]})"
    value=$1
    shift
    case ${kind[$name]} in
      N|KIB|MS) [[ $value =~ ^[0-9]+$ ]] || _wrong_option "$program" "$name takes a whole number, not '$value'" ;;
      R) [[ $value =~ ^[0-9]+(\.[0-9]+)?$ ]] || _wrong_option "$program" "$name takes a number, not '$value'" ;;
    esac
  done
}

_wrong_option() {
  echo "$1: $2 (--help lists the options)" >&2
  exit 2
}
