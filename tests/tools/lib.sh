# Helpers shared by the shell test harnesses of tests/tools and tests/e2e
# (sourced). A harness records failed checks with `fail` and goes on, then
# exits with $status.

status=0

# read_options NAME... -- ARG...: takes each "--NAME VALUE" of the ARGs into
# the variable NAME (appended when NAME is an array). What follows a "--"
# among the ARGs is left in the array ARGS. Any other argument stops the
# harness with exit code 2.
read_options() {
  local names=" "
  while [ "$1" != -- ]; do
    names+="$1 "
    shift
  done
  shift
  ARGS=()
  while [ $# -gt 0 ]; do
    if [ "$1" = -- ]; then
      shift
      ARGS=("$@")
      return
    fi
    local name=${1#--}
    if [[ $1 != --* || $names != *" $name "* || $# -lt 2 ]]; then
      echo "unknown argument $1"
      exit 2
    fi
    local -n option=$name
    if [[ $(declare -p "$name") == "declare -a"* ]]; then option+=("$2"); else option=$2; fi
    unset -n option
    shift 2
  done
}

# Reports a failed check; the harness goes on with the next one.
fail() {
  echo "FAIL: $*"
  status=1
}

# Makes DIR an empty folder and goes into it.
enter_empty_folder() {
  rm -rf "$1"
  mkdir -p "$1"
  cd "$1" || exit 2
}

# Gives the rest of the run a Wine prefix of its own, removed on exit.
use_private_wine_prefix() {
  WINEPREFIX=$(mktemp -d /tmp/briskopack-wine.XXXXXX)
  export WINEPREFIX
  trap '/usr/lib/wine/wineserver -k 2>/dev/null; rm -rf "$WINEPREFIX"' EXIT
}

# capture COMMAND [ARGS...]: runs the command with its output in out.txt and
# err.txt of the current folder, carriage returns removed (the Windows
# programs write CR LF), and returns its exit code.
capture() {
  "$@" >out.raw 2>err.raw
  local rc=$?
  tr -d '\r' <out.raw >out.txt
  tr -d '\r' <err.raw >err.txt
  return $rc
}
