#!/usr/bin/env bash
# Times the search engine against the usual tools on generated trees (warm cache):
#   a. pictavo_search_bench walk DIR           vs  find DIR -type f -printf '%s %T@\n'
#   b. pictavo_search_bench grep DIR PHRASE    vs  grep -rliF PHRASE DIR
#   c. pictavo-cli search -r ICONS             vs  read-tree ICONS (the I/O floor: the first
#      4 KB of every file, bench/search/ReadTree.cpp)
# and prints each pair's times and the ratio ours/theirs, against the targets 1.2, 2 and 1.5.
# It stops with an error when the two sides of a pair do not find the same files.
#
# Usage: bench/compare-search.sh [options] [BUILD_DIR]
#   BUILD_DIR       where pictavo-cli and bench/search/pictavo_search_bench are (default:
#                   <repository>/build). Missing ones are built there (a fresh folder is
#                   configured as Release, without the window and the tests). The benchmark
#                   folder is only part of a build when Google Benchmark is installed.
#   --build         build both programs even when they exist (an incremental build)
#   --rounds N      run the three comparisons N times in turn (default 3), to see the spread
#                   when other work shares the machine
#   --runs N        timed runs per command and round (default: hyperfine's choice, >= 10)
#   --warmup N      untimed runs first (default 3)
#   --only LIST     a subset of walk,grep,icons (comma-separated)
#   --files N       files in the walked tree (default 100000)
#   --folders N     folders in the walked tree (default 5000)
#   --keep          leave the generated trees (and the floor program) in place
#   --reuse DIR     use the trees that an earlier run left with --keep in DIR
#
# The trees go to a temporary folder BUILD_DIR/compare-search.XXXXXX, removed at the end
# unless --keep; hyperfine's JSON and the logs go to BUILD_DIR/compare-search-results.
#
# Needs hyperfine, python3 and a C++ compiler (g++, or $CXX); for the icon folder also
# icotool (icoutils) and ImageMagick (convert or magick). Everything runs with LC_ALL=C, so
# that grep ignores case the way the search does: ASCII letters only.

set -euo pipefail

readonly kPhrase="needle-phrase"
readonly kTreeVersion="search-trees-1"   # change when the generated trees change

script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo_dir=$(cd "$script_dir/.." && pwd)
tool=compare-search
# shellcheck source=bench/common.sh
source "$script_dir/common.sh"

build_dir=""
force_build=0
rounds=3
runs=""
warmup=3
only="walk,grep,icons"
files=100000
folders=5000
keep=0
reuse=""
while [[ $# -gt 0 ]]; do
    case "$1" in
    --build) force_build=1 ;;
    --rounds) [[ $# -ge 2 ]] || die "--rounds needs a number"; rounds=$2; shift ;;
    --runs) [[ $# -ge 2 ]] || die "--runs needs a number"; runs=$2; shift ;;
    --warmup) [[ $# -ge 2 ]] || die "--warmup needs a number"; warmup=$2; shift ;;
    --only) [[ $# -ge 2 ]] || die "--only needs a list"; only=$2; shift ;;
    --files) [[ $# -ge 2 ]] || die "--files needs a number"; files=$2; shift ;;
    --folders) [[ $# -ge 2 ]] || die "--folders needs a number"; folders=$2; shift ;;
    --keep) keep=1 ;;
    --reuse) [[ $# -ge 2 ]] || die "--reuse needs a folder"; reuse=$2; shift ;;
    -h | --help) sed -n '2,/^$/{s/^# \{0,1\}//;p}' "${BASH_SOURCE[0]}"; exit 0 ;;
    -*) die "unknown option $1 (see --help)" ;;
    *) [[ -z "$build_dir" ]] || die "only one build folder, please"; build_dir=$1 ;;
    esac
    shift
done
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || die "--rounds needs a positive number"
[[ "$files" =~ ^[1-9][0-9]*$ && "$folders" =~ ^[1-9][0-9]*$ ]] || die "--files and --folders need numbers"
want() { [[ ",$only," == *",$1,"* ]]; }
for part in ${only//,/ }; do
    [[ $part == walk || $part == grep || $part == icons ]] || die "--only takes walk, grep and icons, not $part"
done
settle_options

export LC_ALL=C

# --- tools ------------------------------------------------------------------------------
missing=()
command -v hyperfine >/dev/null || missing+=("hyperfine (apt-get install hyperfine)")
command -v python3 >/dev/null || missing+=("python3")
cxx=${CXX:-g++}
command -v "$cxx" >/dev/null || missing+=("a C++ compiler ($cxx; set CXX)")
if want icons; then
    command -v icotool >/dev/null || missing+=("icotool (apt-get install icoutils)")
    if command -v convert >/dev/null && convert -version 2>/dev/null | grep -q ImageMagick; then
        im=(convert)
    elif command -v magick >/dev/null; then
        im=(magick)
    else
        missing+=("ImageMagick's convert or magick (apt-get install imagemagick)")
    fi
fi
if [[ ${#missing[@]} -gt 0 ]]; then
    printf 'compare-search: missing tool: %s\n' "${missing[@]}" >&2
    exit 1
fi

# --- the programs -----------------------------------------------------------------------
cli="$build_dir/pictavo-cli"
bench="$build_dir/bench/search/pictavo_search_bench"
ensure_built "$force_build" pictavo-cli pictavo_search_bench
[[ -x "$bench" ]] || die "no $bench (the benchmarks need Google Benchmark: apt-get install libbenchmark-dev)"
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build_dir/CMakeCache.txt" 2>/dev/null || true)
[[ "$build_type" == Release ]] || echo "compare-search: note: $build_dir is a ${build_type:-?} build, not Release" >&2

results_dir="$build_dir/compare-search-results"
mkdir -p "$results_dir"

# --- the work folder --------------------------------------------------------------------
if [[ -n "$reuse" ]]; then
    work_dir=$(cd "$reuse" && pwd) || die "no folder $reuse"
    [[ -f "$work_dir/.stamp" && $(cat "$work_dir/.stamp") == "$kTreeVersion $files $folders" ]] ||
        die "$work_dir was not left by this script with --files $files --folders $folders"
    keep=1
else
    work_dir=$(mktemp -d "$build_dir/compare-search.XXXXXX")
fi
cleanup() {
    if [[ $keep -eq 1 ]]; then
        echo "== the trees are kept in $work_dir (--reuse $work_dir to time them again)"
    else
        rm -rf "$work_dir"
    fi
}
trap cleanup EXIT
tree="$work_dir/tree"
icons="$work_dir/icons"
reader="$work_dir/read-tree"

# Single-quoted for hyperfine's own splitting of a command (-N runs it without a shell).
q() { printf "'%s'" "${1//\'/\'\\\'\'}"; }

# --- a/b: the walked tree ---------------------------------------------------------------
if { want walk || want grep; } && [[ ! -d "$tree" ]]; then
    echo "== making $files files in $folders folders under $tree"
    start=$(date +%s)
    python3 "$script_dir/search/make-tree.py" "$tree" "$kPhrase" --files "$files" --folders "$folders" ||
        die "the tree could not be made"
    echo "   ($(($(date +%s) - start)) s)"
fi

# --- c: the icon folder -----------------------------------------------------------------
# Every name differs (ignoring case), as `search` lists only the first file of a name.
make_icon_folder() {
    echo "== making the icon folder $icons"
    local png="$work_dir/png" v size i
    mkdir -p "$png" "$icons/ico/generated/small" "$icons/ico/generated/large" "$icons/ico/corpus" \
        "$icons/modules" "$icons/other/text" "$icons/other/pictures" "$icons/other/binary" "$icons/other/decoys"
    local -r sizes=(16 24 32 48 64 128 256)
    local -r looks=("orange-navy" "red-blue" "gold-purple" "white-green" "cyan-maroon" "pink-teal")
    for v in "${!looks[@]}"; do
        local args=()
        for size in "${sizes[@]}"; do
            args+=(\( mpr:src -resize "${size}x${size}" -write "PNG32:$png/v${v}_${size}_argb.png" +delete \))
            args+=(\( mpr:src -resize "${size}x${size}" -channel A -threshold 50% +channel -background black
                -alpha background -colors 200 +dither -write "PNG32:$png/v${v}_${size}_p8.png" +delete \))
        done
        "${im[@]}" -size 256x256 -seed $((v * 7 + 1)) "plasma:${looks[$v]}" -depth 8 \
            \( -size 256x256 radial-gradient:white-black -level 0%,$((6 + v))% \) \
            -alpha off -compose CopyOpacity -composite -write mpr:src "${args[@]}" null: ||
            die "ImageMagick could not make the pictures of look $v"
    done
    # 300 icons from 12 recipes: 8-bit and 32-bit bitmaps, with or without a 256-px PNG, and
    # two with 256-px bitmaps (the large ones, about 400 KB).
    local -r recipes=(
        "p8:16 p8:32"
        "argb:16"
        "p8:16 p8:24 p8:32 p8:48"
        "argb:16 argb:24 argb:32 argb:48"
        "p8:16 p8:32 argb:16 argb:32 argb:48"
        "argb:16 argb:32 argb:48 raw:256"
        "argb:16 argb:24 argb:32 argb:48 argb:64 argb:128 raw:256"
        "p8:16 p8:24 p8:32 p8:48 argb:16 argb:24 argb:32 argb:48 raw:256"
        "argb:32"
        "p8:48 argb:48 argb:64"
        "argb:16 argb:32 argb:48 argb:256"
        "p8:16 p8:32 p8:48 p8:256 argb:256"
    )
    for ((i = 0; i < 300; i++)); do
        local r=$((i % ${#recipes[@]})) look=$((i % ${#looks[@]})) item kind dest="small"
        args=()
        for item in ${recipes[$r]}; do
            kind=${item%%:*}
            size=${item#*:}
            if [[ $kind == raw ]]; then
                args+=("--raw=$png/v${look}_${size}_argb.png")
            else
                args+=("$png/v${look}_${size}_${kind}.png")
            fi
        done
        ((r < 10)) || dest="large"
        icotool -c -o "$icons/ico/generated/$dest/icon$(printf %03d "$i")-r$r.ico" "${args[@]}" 2>>"$work_dir/icotool.log" ||
            die "icotool -c failed (see $work_dir/icotool.log)"
    done
    # The fuzzing seeds and the test data: small hand-made .ico, NE and PE files.
    local f
    for f in "$repo_dir"/fuzz/corpus/*/* "$repo_dir"/tests/data/fuzz/*.ico; do
        [[ -f "$f" ]] && cp "$f" "$icons/ico/corpus/corpus-$(basename "$(dirname "$f")")-$(basename "$f")"
    done
    # Windows modules: every fourth of Wine's (up to 8 MB each), linked where possible.
    local wine=/usr/lib/x86_64-linux-gnu/wine
    if [[ -d "$wine" ]]; then
        local arch n=0
        for arch in x86_64-windows i386-windows; do
            [[ -d "$wine/$arch" ]] || continue
            mkdir -p "$icons/modules/$arch"
            while IFS= read -r f; do
                if ((n++ % 4 == 0)) || [[ $arch == i386-windows ]]; then
                    [[ $(stat -c %s "$f") -le $((8 << 20)) ]] || continue
                    ln "$f" "$icons/modules/$arch/${arch%%-*}-$(basename "$f")" 2>/dev/null ||
                        cp "$f" "$icons/modules/$arch/${arch%%-*}-$(basename "$f")"
                fi
            done < <(find "$wine/$arch" -maxdepth 1 -type f | sort)
        done
    else
        echo "   (no $wine: no Windows modules in the icon folder)"
    fi
    # Files without icons: source text, the PNGs, random bytes, and decoys that start like
    # an icon or a module but are not.
    for f in "$repo_dir"/src/*/*.cpp "$repo_dir"/src/*/*.h; do
        cp "$f" "$icons/other/text/$(basename "$(dirname "$f")")-$(basename "$f").txt"
    done
    cp "$png"/*.png "$icons/other/pictures/"
    for ((i = 0; i < 40; i++)); do
        head -c $(((i * 7919) % 60000 + 10)) /dev/urandom >"$icons/other/binary/blob$i.bin"
    done
    python3 - "$icons/other/decoys" <<'EOF'
import struct, sys
d = sys.argv[1]
def w(name, data):
    open(f"{d}/{name}", "wb").write(data)
w("empty.ico", b"")
w("text.ico", b"this is not an icon\n" * 50)
w("zero-images.ico", struct.pack("<HHH", 0, 1, 0) + b"\0" * 100)
w("cut-directory.ico", struct.pack("<HHH", 0, 1, 5) + b"\0" * 20)
w("cursor.cur", struct.pack("<HHH", 0, 2, 1) + b"\0" * 200)
w("mz-only.exe", b"MZ" + b"\0" * 58 + struct.pack("<I", 0x80) + b"\0" * 200)
w("mz-short.dll", b"MZ")
w("pe-no-resources.dll", b"MZ" + b"\0" * 58 + struct.pack("<I", 0x40) + b"PE\0\0" + b"\0" * 300)
EOF
    echo "$(find "$icons" -type f | wc -l) files, $(du -sh "$icons" | cut -f1) (modules linked)"
}

if want icons; then
    [[ -d "$icons" ]] || make_icon_folder
    if [[ ! -x "$reader" || "$script_dir/search/ReadTree.cpp" -nt "$reader" ]]; then
        # Linked like pictavo-cli (which carries its C++ runtime) although it needs none.
        "$cxx" -O2 -static-libstdc++ -static-libgcc -o "$reader" "$script_dir/search/ReadTree.cpp" ||
            die "$cxx could not build $script_dir/search/ReadTree.cpp"
    fi
fi
echo "$kTreeVersion $files $folders" >"$work_dir/.stamp"

# --- the checks -------------------------------------------------------------------------
if want walk; then
    echo "== checking walk against find"
    ours=$("$bench" walk "$tree")
    theirs=$(find "$tree" -type f -printf '%s\n' | awk '{ n++; s += $1 } END { printf "files %d bytes %d\n", n, s }')
    [[ "${ours% folders*}" == "$theirs" ]] || die "walk and find disagree: ours '$ours', find '$theirs'"
    echo "   both: $theirs"
fi
if want grep; then
    echo "== checking grep's and our matches"
    "$bench" grep "$tree" "$kPhrase" | sort >"$results_dir/grep-ours.txt"
    grep -rliF "$kPhrase" "$tree" | sort >"$results_dir/grep-grep.txt" || true
    if ! cmp -s "$results_dir/grep-ours.txt" "$results_dir/grep-grep.txt"; then
        diff "$results_dir/grep-ours.txt" "$results_dir/grep-grep.txt" | head -20 >&2 || true
        die "THE MATCHES DIFFER: ours ($(wc -l <"$results_dir/grep-ours.txt")) < > grep ($(wc -l <"$results_dir/grep-grep.txt")); see $results_dir/grep-*.txt"
    fi
    if ! cmp -s "$results_dir/grep-ours.txt" "$work_dir/tree.expected"; then
        diff "$results_dir/grep-ours.txt" "$work_dir/tree.expected" | head -20 >&2 || true
        die "BOTH DIFFER FROM THE FILES MADE WITH THE PHRASE ($work_dir/tree.expected; ours < > expected)"
    fi
    echo "   both: the same $(wc -l <"$results_dir/grep-ours.txt") files, as made"
fi
if want icons; then
    echo "== checking search's list"
    "$cli" search -r "$icons" >"$results_dir/icons-ours.txt"
    floor=$("$reader" "$icons")
    counter=$(tail -n 1 "$results_dir/icons-ours.txt")
    seen=$(sed -n 's/.*文件: \([0-9]*\).*/\1/p' <<<"$counter")
    [[ "files $seen" == "${floor% bytes*}" ]] ||
        die "search went through ${seen:-?} files, read-tree through ${floor% bytes*} ('$counter')"
    listed=$(head -n -1 "$results_dir/icons-ours.txt" | cut -f1 | sort)
    made=$(find "$icons/ico/generated" -name '*.ico' -printf '%f\n' | sort)
    lost=$(comm -13 <(echo "$listed") <(echo "$made"))
    [[ -z "$lost" ]] || die "search did not list these icon files: $(head -5 <<<"$lost" | tr '\n' ' ')"
    wrong=$(grep -E '^(blob|empty|text|zero|cut|cursor|mz|pe-no|v[0-9]_|[a-z]+-.*\.(cpp|h)\.txt)' <<<"$listed" || true)
    [[ -z "$wrong" ]] || die "search listed files without icons: $(head -5 <<<"$wrong" | tr '\n' ' ')"
    echo "   $seen files gone through by both; $(wc -l <<<"$listed") listed with icons," \
        "all $(wc -l <<<"$made") generated .ico among them, no decoy"
fi

# --- the timings ------------------------------------------------------------------------
hf_opts=(-N --warmup "$warmup" --style basic)
[[ -n "$runs" ]] && hf_opts+=(--runs "$runs")
time_pair() { # time_pair KEY ROUND OURS THEIRS
    local key=$1 round=$2
    echo "-- $key, round $round"
    hyperfine "${hf_opts[@]}" --export-json "$results_dir/$key-r$round.json" \
        -n ours "$3" -n theirs "$4" >"$results_dir/$key-r$round.log" 2>&1 ||
        { cat "$results_dir/$key-r$round.log" >&2; die "hyperfine failed on $key"; }
}
rm -f "$results_dir"/*-r[0-9]*.json
echo "== timing ($rounds rounds; hyperfine logs in $results_dir)"
for ((round = 1; round <= rounds; round++)); do
    want walk && time_pair walk "$round" "$(q "$bench") walk $(q "$tree")" \
        "find $(q "$tree") -type f -printf '%s %T@\n'"
    want grep && time_pair grep "$round" "$(q "$bench") grep $(q "$tree") $kPhrase" \
        "grep -rliF $kPhrase $(q "$tree")"
    want icons && time_pair icons "$round" "$(q "$cli") search -r $(q "$icons")" "$(q "$reader") $(q "$icons")"
done

python3 - "$results_dir" "$rounds" "$only" <<'EOF'
import json, statistics, sys
results, rounds, only = sys.argv[1], int(sys.argv[2]), sys.argv[3].split(",")
pairs = [
    ("walk", "pictavo_search_bench walk", "find -type f -printf", 1.2),
    ("grep", "pictavo_search_bench grep", "grep -rliF", 2.0),
    ("icons", "pictavo-cli search -r", "read-tree (4 KB of each file)", 1.5),
]
ms = lambda s: s * 1000
missed = []
print()
for key, ours_name, theirs_name, target in pairs:
    if key not in only:
        continue
    ratios, best, ours_all, theirs_all = [], [], [], []
    print(f"{key}: {ours_name}  vs  {theirs_name}   (target: ratio <= {target})")
    for r in range(1, rounds + 1):
        data = {x["command"]: x for x in json.load(open(f"{results}/{key}-r{r}.json"))["results"]}
        o, t = data["ours"], data["theirs"]
        ratio = o["mean"] / t["mean"]
        ratios.append(ratio)
        best.append(min(o["times"]) / min(t["times"]))
        ours_all += o["times"]
        theirs_all += t["times"]
        print(f"  round {r}: ours {ms(o['mean']):8.1f} ± {ms(o['stddev'] or 0):5.1f} ms ({len(o['times'])} runs)"
              f"   theirs {ms(t['mean']):8.1f} ± {ms(t['stddev'] or 0):5.1f} ms ({len(t['times'])} runs)"
              f"   ratio {ratio:5.2f}")
    med = statistics.median(ratios)
    verdict = "met" if med <= target else "MISSED"
    if med > target:
        missed.append(key)
    print(f"  all runs: ours median {ms(statistics.median(ours_all)):.1f} ms [{ms(min(ours_all)):.1f} .. {ms(max(ours_all)):.1f}]"
          f", theirs median {ms(statistics.median(theirs_all)):.1f} ms [{ms(min(theirs_all)):.1f} .. {ms(max(theirs_all)):.1f}]")
    print(f"  ratio of means: median {med:.2f} over {rounds} rounds [{min(ratios):.2f} .. {max(ratios):.2f}]"
          f"; of the fastest runs: {statistics.median(best):.2f}   -> target {verdict}")
    print()
if missed:
    print("missed: " + ", ".join(missed) + " (profile with perf; see bench/README.md)")
EOF
