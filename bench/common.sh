# shellcheck shell=bash disable=SC2154
# Shared by the comparison scripts in bench/: sourced, not run. Expects $tool (the script's
# name for messages), $repo_dir and $build_dir to be set.

die() {
    echo "$tool: $*" >&2
    exit 1
}

# settle_options: checks the shared --runs and --warmup values and makes $build_dir absolute
# (default: <repository>/build), creating it.
settle_options() {
    [[ -z "$runs" || "$runs" =~ ^[1-9][0-9]*$ ]] || die "--runs needs a positive number"
    [[ "$warmup" =~ ^[0-9]+$ ]] || die "--warmup needs a number"
    build_dir=${build_dir:-$repo_dir/build}
    mkdir -p "$build_dir"
    build_dir=$(cd "$build_dir" && pwd)
}

# ensure_built FORCE TARGET...: configures $build_dir as a Release build without the window
# when it is not configured yet, and builds the targets when FORCE is 1 or a target's program
# is missing; notes when the sources are newer than pictavo-cli.
ensure_built() {
    local force=$1
    shift
    local need=$force target
    for target in "$@"; do
        [[ -n $(find "$build_dir" -maxdepth 3 -type f -name "$target" -perm -u+x 2>/dev/null | head -1) ]] || need=1
    done
    if [[ $need -eq 1 ]]; then
        command -v cmake >/dev/null || die "the programs are not built in $build_dir and cmake is missing"
        if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
            local generator=()
            command -v ninja >/dev/null && generator=(-G Ninja)
            echo "== configuring $build_dir (Release, no window)"
            cmake -S "$repo_dir" -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
                -DPICTAVO_BUILD_GUI=OFF >/dev/null || die "cmake could not configure $build_dir"
        fi
        for target in "$@"; do
            echo "== building $target in $build_dir"
            cmake --build "$build_dir" --target "$target" >/dev/null || die "$target did not build"
        done
    fi
    local cli="$build_dir/pictavo-cli"
    [[ -x "$cli" ]] || die "no pictavo-cli in $build_dir"
    if [[ -n $(find "$repo_dir/src" -newer "$cli" \( -name '*.cpp' -o -name '*.h' \) 2>/dev/null | head -1) ]]; then
        echo "$tool: note: sources are newer than $cli (use --build to rebuild it)" >&2
    fi
}

# loop_time KEY PREP CMD: without hyperfine, times CMD over $runs runs (20 by default) after
# $warmup untimed ones, running PREP before each, and prints "MEAN STDDEV" in seconds.
loop_time() {
    local key=$1 prep=$2 cmd=$3 n=${runs:-20} i t0 t1
    for ((i = 0; i < warmup; i++)); do
        eval "$prep"
        eval "$cmd" >/dev/null 2>&1 || die "$key failed"
    done
    local samples=()
    for ((i = 0; i < n; i++)); do
        eval "$prep"
        t0=$(date +%s%N)
        eval "$cmd" >/dev/null 2>&1 || die "$key failed"
        t1=$(date +%s%N)
        samples+=($((t1 - t0)))
    done
    printf '%s\n' "${samples[@]}" |
        awk '{s += $1; q += $1 * $1; n++} END {m = s / n; v = q / n - m * m; if (v < 0) v = 0;
              printf "%.9f %.9f\n", m / 1e9, sqrt(v) / 1e9}'
}
