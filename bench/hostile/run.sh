#!/usr/bin/env bash
# Runs pictavo-cli on generated hostile files (make-hostile.py) and prints one table row per
# case: the command, its exit status, seconds, peak memory (RSS) and the bytes it wrote, so
# that the figures of two builds can be compared (bench/hostile/before.txt is the baseline).
#
# Usage: bench/hostile/run.sh [options] CLI [LABEL]
#   CLI             the pictavo-cli to run
#   LABEL           a word for the table's header (e.g. "before", "after"; default: none)
#   --timeout S     time limit of one run in seconds (default 60; killed 5 s after it)
#   --memory-gb N   address-space limit of one run (ulimit -v, default 4)
#   --race-runs N   runs of the truncate race (default 20)
#   --only WORDS    only the cases whose name or command holds one of the words
#                   (comma-separated), e.g. --only ico,search
#
# Every run has its own limits: `timeout` and `ulimit -v`, so that nothing endangers the
# machine; a run that hits the address-space limit usually ends with an allocation failure
# (an error message, or SIGABRT when nothing catches it). The cases run one at a time.
# Files, trees and outputs go to a mktemp -d folder that is removed at the end; the outputs of
# extract and icl are counted and removed after each case.
#
# Columns: status is the exit status (0 = success, 1 = an error reported), TIMEOUT (killed at
# the time limit) or the signal that ended it (SIGKILL, SIGABRT, SIGBUS, SIGSEGV); seconds is
# the elapsed time; RSS the maximum resident set size (GNU time's %M); out the bytes written
# into the output folder (extract, icl); message the first line of the error output, or
# when there is none, the number of lines of the standard output and its last line.
#
# Needs GNU time (/usr/bin/time, package "time"), timeout (coreutils) and python3.

set -euo pipefail

script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo_dir=$(cd "$script_dir/../.." && pwd)
tool=hostile
# shellcheck source=bench/common.sh
source "$script_dir/../common.sh"

cli=""
label=""
limit=60
memory_gb=4
race_runs=20
only=""
while [[ $# -gt 0 ]]; do
    case "$1" in
    --timeout) [[ $# -ge 2 ]] || die "--timeout needs a number"; limit=$2; shift ;;
    --memory-gb) [[ $# -ge 2 ]] || die "--memory-gb needs a number"; memory_gb=$2; shift ;;
    --race-runs) [[ $# -ge 2 ]] || die "--race-runs needs a number"; race_runs=$2; shift ;;
    --only) [[ $# -ge 2 ]] || die "--only needs a list"; only=$2; shift ;;
    -h | --help) sed -n '2,/^$/{s/^# \{0,1\}//;p}' "${BASH_SOURCE[0]}"; exit 0 ;;
    -*) die "unknown option $1 (see --help)" ;;
    *)
        if [[ -z "$cli" ]]; then cli=$1
        elif [[ -z "$label" ]]; then label=$1
        else die "too many arguments (see --help)"; fi
        ;;
    esac
    shift
done
[[ -n "$cli" ]] || die "which pictavo-cli? (see --help)"
[[ -x "$cli" ]] || die "$cli is not a program"
cli=$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli")
for n in "$limit" "$memory_gb" "$race_runs"; do
    [[ "$n" =~ ^[1-9][0-9]*$ ]] || die "--timeout, --memory-gb and --race-runs need positive numbers"
done
[[ -x /usr/bin/time ]] || die "GNU time is missing (apt-get install time)"
command -v timeout >/dev/null || die "timeout (coreutils) is missing"
command -v python3 >/dev/null || die "python3 is missing"

vmem_kb=$((memory_gb * 1024 * 1024))
work=$(mktemp -d "${TMPDIR:-/tmp}/pictavo-hostile.XXXXXX")
trap 'rm -rf "$work"' EXIT
files="$work/files"
python3 "$script_dir/make-hostile.py" "$files" >/dev/null || die "make-hostile.py failed"

wanted() {
    [[ -z "$only" ]] && return 0
    local w
    for w in ${only//,/ }; do
        [[ "$1 $2" == *"$w"* ]] && return 0
    done
    return 1
}

row() {
    printf '%-24s %-16s %-14s %8s %9s %9s  %s\n' "$@"
}

# status_of RC: the exit status, or what ended the program.
status_of() {
    local rc=$1
    if [[ $rc -eq 124 ]]; then echo TIMEOUT
    elif [[ $rc -gt 128 ]]; then echo "SIG$(kill -l $((rc - 128)) 2>/dev/null || echo $((rc - 128)))"
    else echo "$rc"; fi
}

# run_case CASE COMMAND-LABEL ARGS...: runs CLI ARGS (an argument "@OUT" becomes the output
# folder, "@OUT/NAME" a file in it) and prints the row.
run_case() {
    local name=$1 what=$2
    shift 2
    wanted "$name" "$what" || return 0
    local out="$work/out" args=() a rc=0
    rm -rf "$out"
    mkdir "$out"
    for a in "$@"; do args+=("${a/#@OUT/$out}"); done
    # Standard output goes through awk, which keeps its line count and last line only.
    set +e
    (
        cd "$files"
        ulimit -v "$vmem_kb"
        exec /usr/bin/time -f '%e %M' -o "$work/time" timeout -k 5 "$limit" "$cli" "${args[@]}"
    ) 2>"$work/err" | awk '{last = $0} END {printf "%d lines%s\n", NR, NR ? ": " last : ""}' >"$work/stdout"
    rc=${PIPESTATUS[0]}
    set -e
    local seconds rss written message
    read -r seconds rss < <(tail -n 1 "$work/time")
    written=$(find "$out" -type f -printf '%s\n' | awk '{s += $1} END {printf "%.1f", s / 1048576}')
    [[ "$what" == extract* || "$what" == icl* ]] || written="-"
    message=$(head -n 1 "$work/err")
    [[ -n "$message" ]] || message=$(cat "$work/stdout")
    message=$(printf '%s' "${message//$out/OUT}" | tr -s ' \t' '  ' | cut -c 1-80)
    row "$name" "$what" "$(status_of "$rc")" "$seconds" "$(awk -v k="$rss" 'BEGIN {printf "%.1f", k / 1024}')" \
        "$written" "$message"
    rm -rf "$out"
}

build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$(dirname "$cli")/CMakeCache.txt" 2>/dev/null || true)
echo "# Hostile files: pictavo-cli ${label:+($label) }$cli${build_type:+ ($build_type build)}"
echo "# $(date -u '+%Y-%m-%d %H:%M UTC'); repository at $(git -C "$repo_dir" rev-parse --short HEAD 2>/dev/null || echo '?')"
echo "# machine: $(nproc) vCPU ($(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1)), \
$(awk '/MemTotal/ {printf "%.0f GB", $2 / 1048576}' /proc/meminfo) RAM, Linux $(uname -r), \
shared with other work"
echo "# load average at the start: $(cut -d " " -f 1-3 /proc/loadavg)"
echo "# limits per run: timeout ${limit} s, ulimit -v ${memory_gb} GB; RSS and out in MB"
row case command status seconds "RSS MB" "out MB" message
row ------------------------ ---------------- -------------- -------- --------- --------- -------

run_case pe-many-groups.dll list list pe-many-groups.dll
run_case pe-shared-blob.dll list list pe-shared-blob.dll
run_case pe-shared-blob.dll extract extract -o @OUT pe-shared-blob.dll
run_case pe-shared-blob.dll icl icl -o @OUT/lib.icl pe-shared-blob.dll
run_case ico-sparse-65mb.ico list list ico-sparse-65mb.ico
run_case ico-sparse-65mb.ico extract extract -o @OUT ico-sparse-65mb.ico
run_case ico-overlap.ico list list ico-overlap.ico
run_case ico-overlap.ico extract extract -o @OUT ico-overlap.ico
run_case pe-long-names.dll count count pe-long-names.dll
run_case ne-many-records.icl list list ne-many-records.icl
run_case ne-many-groups.icl list list ne-many-groups.icl
run_case pe-4000-same-name.dll extract extract -o @OUT pe-4000-same-name.dll
run_case pe-8000-same-name.dll extract extract -o @OUT pe-8000-same-name.dll
run_case loop/0 "search -r" search -r loop/0
run_case deep "search -r" search -r deep
run_case png-idat-8gb.ico thumbnail thumbnail png-idat-8gb.ico @OUT/t.png
run_case png-ztxt-1000.ico thumbnail thumbnail png-ztxt-1000.ico @OUT/t.png
run_case ico-100-big-pngs.ico "extract --png" extract --png -o @OUT ico-100-big-pngs.ico
run_case ico-100-big-pngs.ico thumbnail thumbnail ico-100-big-pngs.ico @OUT/t.png
run_case pe-100-big-pngs.dll "extract --png" extract --png -o @OUT pe-100-big-pngs.dll
run_case pe-100-big-pngs.dll icl icl -o @OUT/lib.icl pe-100-big-pngs.dll
# Copies decode nothing: one image of a file whose images together pass the decode budget.
run_case ico-200-huge-pngs.ico "bmp 0 0" bmp ico-200-huge-pngs.ico 0 0 @OUT/a.bmp
run_case ico-200-huge-pngs.ico "bmp 0 150" bmp ico-200-huge-pngs.ico 0 150 @OUT/a.bmp
run_case pe-10-huge-pngs.dll "bmp 9 0" bmp pe-10-huge-pngs.dll 9 0 @OUT/a.bmp
run_case pe-200-same-huge-png.dll thumbnail thumbnail pe-200-same-huge-png.dll @OUT/t.png
# extract --png of large pictures
run_case ico-20-4096-pngs.ico "extract --png" extract --png -o @OUT ico-20-4096-pngs.ico
# end of extract --png of large pictures

if wanted pe-truncate.dll "list, truncating"; then
    IFS=$'\t' read -r outcome seconds rss < <(python3 "$script_dir/truncate-race.py" "$cli" \
        "$files/pe-truncate.dll" "$race_runs" "$limit" "$vmem_kb")
    row pe-truncate.dll "list x$race_runs, cut" - "$seconds" "$rss" - "$outcome"
fi
