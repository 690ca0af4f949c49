# shellcheck shell=bash disable=SC2034,SC2154 # the variables are shared with the scripts that source this
# Shared by the sweep scripts (sourced, run from the repository root): the options they all take, tool checks,
# an isolated work folder, the sent text and the Python helpers in sweep_common.py (noise, signals with noise
# and fade, similarity with the sent text, tables). `me` names the script in messages.

build=build
seeds=3
text="THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789 CQ CQ DE SIRREL. WEATHER REPORT, WIND NORTH WEST 5,\
 SEA MODERATE, VISIBILITY GOOD. NEXT REPORT AT 1200 UTC. PACK MY BOX WITH FIVE DOZEN LIQUOR JUGS (73).\
 SPHINX OF BLACK QUARTZ, JUDGE MY VOW - END OF MESSAGE"

# Takes --build, --seeds and --snrs with their value; fails for any other option.
sweep_option() {
  case "$1" in
    --build) build=$2 ;;
    --seeds) seeds=$2 ;;
    --snrs) snrs=$2 ;;
    *) return 1 ;;
  esac
}

# Checks the seed count and that the named tools (in the build's bin/ or on the path) are there.
sweep_check() {
  case "$seeds" in ''|*[!0-9]*|0) echo "$me: --seeds takes a positive number" >&2; exit 2 ;; esac
  gen=$build/bin/sirrel-gen
  dec=$build/bin/sirrel-decode
  local tool
  for tool in "$@"; do
    case "$tool" in
      sirrel-*) [ -x "$build/bin/$tool" ] || { echo "$me: $build/bin/$tool is missing (build it first)" >&2; exit 2; } ;;
      *) command -v "$tool" >/dev/null || { echo "$me: $tool is not installed" >&2; exit 2; } ;;
    esac
  done
}

# Makes the work folder, removed on exit, and keeps the user's stored protocols from changing the stock ones.
sweep_workdir() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/$1-XXXXXX")
  trap 'rm -rf "$work"' EXIT
  export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" KEL_REGISTRY="$work/registry.ini"
  unset KEL_PLUGIN_PATH
}

# The interpreter itself: a version manager's wrapper would start for every call.
python=$(python3 -c 'import sys; print(sys.executable)')
py() { "$python" scripts/sweep_common.py "$@"; }
