#!/usr/bin/env bash
# Times pictavo-cli against icotool (icoutils) on a set of .ico files made like real ones:
#   pictavo-cli list FILES             vs  icotool -l FILES
#   pictavo-cli extract -o DIR FILES   vs  icotool -x -o DIR FILES
# and prints each pair's mean time and the ratio ours/icotool; with GNU time it also
# reports the peak memory of each command on the largest file.
#
# Usage: bench/compare-icotool.sh [options] [BUILD_DIR]
#   BUILD_DIR       where pictavo-cli is (default: <repository>/build). When pictavo-cli is
#                   missing it is built there (a fresh folder is configured as Release,
#                   without the window).
#   --build         build pictavo-cli even when it exists (an incremental build)
#   --regenerate    make the icon set again even when a complete one exists
#   --runs N        timed runs per command (default: hyperfine's choice, at least 10;
#                   20 without hyperfine)
#   --warmup N      untimed runs first (default 3)
#   --no-memory     skip the peak-memory measurement
# Environment: PICTAVO_COMPARE_DIR overrides where the icons and results go
#   (default: BUILD_DIR/compare-icotool).
#
# Needs icotool (icoutils) and ImageMagick (convert or magick); hyperfine is used when
# installed, otherwise a plain loop with `date +%s%N`. GNU time (/usr/bin/time, package
# "time") for the memory figures.
#
# Note on what is compared: `icotool -x` decodes every image and writes it as a PNG file,
# while `pictavo-cli extract` writes each icon again as one .ico file (no decoding, but a
# temporary file, fsync and rename per icon). `list` is closer: both only read directories.

set -euo pipefail

readonly kSetVersion="icon-set-3"   # change when the generated set changes

script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo_dir=$(cd "$script_dir/.." && pwd)
tool=compare-icotool
# shellcheck source=bench/common.sh
source "$script_dir/common.sh"

build_dir=""
force_build=0
regenerate=0
runs=""
warmup=3
measure_memory=1
while [[ $# -gt 0 ]]; do
    case "$1" in
    --build) force_build=1 ;;
    --regenerate) regenerate=1 ;;
    --runs) [[ $# -ge 2 ]] || die "--runs needs a number"; runs=$2; shift ;;
    --warmup) [[ $# -ge 2 ]] || die "--warmup needs a number"; warmup=$2; shift ;;
    --no-memory) measure_memory=0 ;;
    -h | --help) sed -n '2,/^$/{s/^# \{0,1\}//;p}' "${BASH_SOURCE[0]}"; exit 0 ;;
    -*) die "unknown option $1 (see --help)" ;;
    *) [[ -z "$build_dir" ]] || die "only one build folder, please"; build_dir=$1 ;;
    esac
    shift
done
settle_options

# --- tools ------------------------------------------------------------------------------
missing=()
command -v icotool >/dev/null || missing+=("icotool (apt-get install icoutils)")
if command -v convert >/dev/null && convert -version 2>/dev/null | grep -q ImageMagick; then
    im=(convert)
elif command -v magick >/dev/null; then
    im=(magick)
else
    missing+=("ImageMagick's convert or magick (apt-get install imagemagick)")
fi
command -v awk >/dev/null || missing+=("awk")
if [[ ${#missing[@]} -gt 0 ]]; then
    printf 'compare-icotool: missing tool: %s\n' "${missing[@]}" >&2
    exit 1
fi
have_hyperfine=0
if command -v hyperfine >/dev/null; then
    have_hyperfine=1
else
    echo "compare-icotool: hyperfine not found, timing with a date +%s%N loop instead" >&2
fi

# --- pictavo-cli ------------------------------------------------------------------------
cli="$build_dir/pictavo-cli"
ensure_built "$force_build" pictavo-cli
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build_dir/CMakeCache.txt" 2>/dev/null || true)

# --- the icon set -----------------------------------------------------------------------
work_dir=${PICTAVO_COMPARE_DIR:-$build_dir/compare-icotool}
icons_dir="$work_dir/icons"
png_dir="$work_dir/png"
results_dir="$work_dir/results"
mkdir -p "$work_dir" "$results_dir"

readonly sizes=(16 20 24 32 40 48 64 96 128 256)
readonly variants=(0 1 2 3 4 5 6 7 8 9)
readonly palettes=("orange-navy" "red-blue" "gold-purple" "white-green" "cyan-maroon"
                   "yellow-black" "pink-teal" "grey-red" "lime-indigo" "tan-blue")

# PNGs of one look (a seeded plasma with a round shape) at every size in four kinds that
# icotool -c stores at four depths: p4 (15 colours + transparent -> 4 bits), p8 (at most
# 256 colours -> 8 bits), rgb (many colours, on/off transparency -> 24 bits) and argb (soft
# edge -> 32 bits).
make_pngs() {
    local v=$1 size args=()
    for size in "${sizes[@]}"; do
        local hard=(-resize "${size}x${size}" -channel A -threshold 50% +channel -background black -alpha background)
        args+=(\( mpr:src "${hard[@]}" -colors 15 +dither -write "PNG32:$png_dir/v${v}_${size}_p4.png" +delete \))
        args+=(\( mpr:src "${hard[@]}" -colors 200 +dither -write "PNG32:$png_dir/v${v}_${size}_p8.png" +delete \))
        args+=(\( mpr:src "${hard[@]}" -write "PNG32:$png_dir/v${v}_${size}_rgb.png" +delete \))
        args+=(\( mpr:src -resize "${size}x${size}" -write "PNG32:$png_dir/v${v}_${size}_argb.png" +delete \))
    done
    "${im[@]}" -size 256x256 -seed $((v * 7 + 1)) "plasma:${palettes[$v]}" -depth 8 \
        \( -size 256x256 radial-gradient:white-black -level 0%,$((6 + v))% \) \
        -alpha off -compose CopyOpacity -composite -write mpr:src "${args[@]}" null: ||
        die "ImageMagick could not make the pictures of look $v"
}

# make_ico LOOK NAME KIND:SIZE...  (KIND p4, p8, rgb, argb, or raw for a PNG stored as it is)
make_ico() {
    local v=$1 name=$2 args=() item kind size
    shift 2
    for item in "$@"; do
        kind=${item%%:*}
        size=${item#*:}
        if [[ $kind == raw ]]; then
            args+=("--raw=$png_dir/v${v}_${size}_argb.png")
        else
            args+=("$png_dir/v${v}_${size}_${kind}.png")
        fi
    done
    icotool -c -o "$icons_dir/$name.ico" "${args[@]}" 2>"$work_dir/icotool-create.log" ||
        die "icotool -c could not make $name.ico (see $work_dir/icotool-create.log)"
}

every() { # every KIND SIZE... -> KIND:SIZE ...
    local kind=$1 s
    shift
    for s in "$@"; do printf '%s:%s ' "$kind" "$s"; done
}

generate_set() {
    echo "== making the icon set in $icons_dir"
    rm -rf "$icons_dir" "$png_dir"
    mkdir -p "$icons_dir" "$png_dir"
    local v
    for v in "${variants[@]}"; do
        make_pngs "$v"
        # shellcheck disable=SC2046  # the word splitting of `every` is wanted
        {
            # Old application icon: 16 and 32 px at 4 and 8 bits.
            make_ico "$v" "app${v}_classic" $(every p4 16 32) $(every p8 16 32)
            # The common desktop set: 16-48 px at 4, 8 and 32 bits.
            make_ico "$v" "app${v}_desktop" $(every p4 16 24 32 48) $(every p8 16 24 32 48) $(every argb 16 24 32 48)
            # 32-bit sizes with a 256-px PNG.
            make_ico "$v" "app${v}_png256" $(every argb 16 24 32 48) raw:256
            # A favicon: one small image.
            if ((v % 2)); then make_ico "$v" "favicon${v}" rgb:16; else make_ico "$v" "favicon${v}" p8:16 p8:32; fi
            # Every 32-bit size up to 128 px and the PNG.
            make_ico "$v" "app${v}_full" $(every argb 16 20 24 32 40 48 64 96 128) raw:256
        }
    done
    # A few large files with many images.
    # shellcheck disable=SC2046
    {
        make_ico 0 "large_all_depths" $(every p4 "${sizes[@]:0:9}") $(every p8 "${sizes[@]:0:9}") \
            $(every rgb "${sizes[@]:0:9}") $(every argb "${sizes[@]:0:9}") raw:256
        # 256-px images stored as bitmaps rather than PNG: the biggest bytes.
        make_ico 1 "large_bitmap256" $(every p8 "${sizes[@]}") $(every argb "${sizes[@]}")
        make_ico 2 "large_mixed" $(every p4 16 32 48) $(every p8 "${sizes[@]}") $(every rgb 64 128 256) \
            $(every argb "${sizes[@]}") raw:256
    }
    echo "$kSetVersion" >"$icons_dir/.stamp"
}

if [[ $regenerate -eq 1 || ! -f "$icons_dir/.stamp" || $(cat "$icons_dir/.stamp") != "$kSetVersion" ]]; then
    generate_set
else
    echo "== reusing the icon set in $icons_dir (--regenerate to make it again)"
fi
files=("$icons_dir"/*.ico)
[[ ${#files[@]} -gt 1 ]] || die "no icons in $icons_dir"
total_bytes=$(cat "${files[@]}" | wc -c)
largest=""
largest_bytes=0
for f in "${files[@]}"; do
    n=$(wc -c <"$f")
    if ((n > largest_bytes)); then largest=$f largest_bytes=$n; fi
done

# --- the two programs must see the same images -------------------------------------------
ours_list=$("$cli" list "${files[@]}") || die "pictavo-cli list failed on the icon set"
theirs_list=$(icotool -l "${files[@]}") || die "icotool -l failed on the icon set"
ours_images=$(sed -nE 's/^ +([0-9]+) x ([0-9]+) - ([0-9]+)bit .*/\1 \2 \3/p' <<<"$ours_list")
theirs_images=$(sed -nE 's/.*--width=([0-9]+) --height=([0-9]+) --bit-depth=([0-9]+).*/\1 \2 \3/p' <<<"$theirs_list")
image_count=$(wc -l <<<"$ours_images")
if [[ "$ours_images" != "$theirs_images" ]]; then
    diff <(echo "$ours_images") <(echo "$theirs_images") | head -20 >&2 || true
    die "pictavo-cli and icotool list different images (above: < ours, > icotool)"
fi
echo "== ${#files[@]} files, $image_count images, $total_bytes bytes; largest: $(basename "$largest") ($largest_bytes bytes)"
echo "== pictavo-cli: $cli${build_type:+ ($build_type)}; $(icotool --version | head -1)"

# --- timing ------------------------------------------------------------------------------
out_ours="$work_dir/out-pictavo"
out_theirs="$work_dir/out-icotool"

quoted_files=$(printf '%q ' "${files[@]}")
q_cli=$(printf '%q' "$cli")
q_ours=$(printf '%q' "$out_ours")
q_theirs=$(printf '%q' "$out_theirs")

declare -A mean stddev

# time_pair NAME OUR_CMD THEIR_CMD OUR_PREPARE THEIR_PREPARE  (commands as shell words)
time_pair() {
    local name=$1 ours=$2 theirs=$3 prep_ours=$4 prep_theirs=$5
    if [[ $have_hyperfine -eq 1 ]]; then
        local opts=(--warmup "$warmup" --style basic --export-json "$results_dir/$name.json"
                    --export-csv "$results_dir/$name.csv")
        [[ -n "$runs" ]] && opts+=(--runs "$runs")
        # No shell between hyperfine and the programs when this hyperfine can do that.
        hyperfine --help 2>/dev/null | grep -qE '^ +-N' && opts+=(-N)
        hyperfine "${opts[@]}" \
            --prepare "$prep_ours" -n "pictavo-cli $name" "$ours" \
            --prepare "$prep_theirs" -n "icotool $name" "$theirs" >"$results_dir/$name.log" 2>&1 ||
            { cat "$results_dir/$name.log" >&2; die "hyperfine failed for $name"; }
        # CSV: command,mean,stddev,median,user,system,min,max (seconds)
        while IFS=, read -r cmd m s _; do
            mean[$cmd]=$m
            stddev[$cmd]=$s
        done < <(tail -n +2 "$results_dir/$name.csv")
    else
        local label cmd prep
        : >"$results_dir/$name.csv"
        for label in ours theirs; do
            if [[ $label == ours ]]; then cmd=$ours prep=$prep_ours; else cmd=$theirs prep=$prep_theirs; fi
            local key
            [[ $label == ours ]] && key="pictavo-cli $name" || key="icotool $name"
            local m s
            read -r m s < <(loop_time "$key" "$prep" "$cmd")
            mean[$key]=$m
            stddev[$key]=$s
            echo "$key,${mean[$key]},${stddev[$key]}" >>"$results_dir/$name.csv"
        done
    fi
}

echo "== timing (warmup $warmup${runs:+, runs $runs})"
time_pair list "$q_cli list $quoted_files" "icotool -l $quoted_files" "true" "true"
time_pair extract "$q_cli extract -o $q_ours $quoted_files" "icotool -x -o $q_theirs $quoted_files" \
    "rm -rf $q_ours" "rm -rf $q_theirs"
# Leave the outputs of one run behind to look at; icotool needs the folder to exist.
rm -rf "$out_ours" "$out_theirs"
mkdir -p "$out_theirs"
"$cli" extract -o "$out_ours" "${files[@]}" >/dev/null
icotool -x -o "$out_theirs" "${files[@]}"

ms() { awk -v s="$1" 'BEGIN {printf "%.2f", s * 1000}'; }
echo
printf '%-10s %22s %22s %14s\n' "" "pictavo-cli (ms)" "icotool (ms)" "ours/icotool"
for name in list extract; do
    o="pictavo-cli $name" t="icotool $name"
    printf '%-10s %14s ± %5s %14s ± %5s %14s\n' "$name" "$(ms "${mean[$o]}")" "$(ms "${stddev[$o]}")" \
        "$(ms "${mean[$t]}")" "$(ms "${stddev[$t]}")" \
        "$(awk -v a="${mean[$o]}" -v b="${mean[$t]}" 'BEGIN {printf "%.2f", a / b}')"
done
echo "(${#files[@]} files, $image_count images in one command line; extract writes $(find "$out_ours" -type f | wc -l) .ico files" \
    "for us, $(find "$out_theirs" -type f | wc -l) PNG files for icotool)"
echo "results: $results_dir"

# --- peak memory on the largest file ------------------------------------------------------
if [[ $measure_memory -eq 1 ]]; then
    if [[ -x /usr/bin/time ]] && /usr/bin/time -v true 2>/dev/null; then
        peak_run() {
            local label=$1 report
            shift
            report=$(/usr/bin/time -v "$@" 2>&1 >/dev/null) || true
            printf '  %-30s %8s KiB\n' "$label" "$(awk -F': ' '/Maximum resident set size/ {print $2}' <<<"$report")"
        }
        echo
        echo "peak memory (maximum resident set size) on $(basename "$largest"), $largest_bytes bytes:"
        mem_dir="$work_dir/out-memory"
        rm -rf "$mem_dir"
        mkdir -p "$mem_dir/ours" "$mem_dir/theirs"
        peak_run "pictavo-cli --help (baseline)" "$cli" --help
        peak_run "icotool --help (baseline)" icotool --help
        peak_run "pictavo-cli list" "$cli" list "$largest"
        peak_run "icotool -l" icotool -l "$largest"
        peak_run "pictavo-cli extract" "$cli" extract -o "$mem_dir/ours" "$largest"
        peak_run "icotool -x" icotool -x -o "$mem_dir/theirs" "$largest"
        peak_run "pictavo-cli list (all files)" "$cli" list "${files[@]}"
        peak_run "icotool -l (all files)" icotool -l "${files[@]}"
        rm -rf "$mem_dir"
    else
        echo "(no GNU time at /usr/bin/time: apt-get install time for the peak memory figures)"
    fi
fi
