#!/usr/bin/env bash
# Checks pictavo-cli against wrestool (icoutils) on real Windows DLLs and EXEs, those that
# Debian's wine package installs, then times both:
#   1. correctness, on every file that holds group icons: the group names and their order
#      of `pictavo-cli list --json` equal those of `wrestool -l -t14`; every icon written by
#      `pictavo-cli extract` equals byte for byte the one `wrestool -x -t14` writes for the
#      same group; `pictavo-cli count` equals wrestool's number of groups on every file.
#      Any difference is reported (file, group, first differing byte); the timings still
#      run, and the script exits with status 1 at the end.
#   2. pictavo-cli extract -o DIR FILES  vs  wrestool -x -t14 -o DIR FILES
#        (the largest DLL with icons, then every file with icons at once)
#      pictavo-cli count FILES           vs  wrestool -l -t14 FILES   (every DLL and EXE)
#   3. the I/O floor: pictavo-cli count over 1,000 executables against a program that only
#      opens each of them and reads its first 4 KB (bench/ReadHeads.cpp). Warm cache.
#   4. an icon library of 1,000 icons: pictavo-cli icl (1,000 .ico files in, one .icl out)
#      and pictavo-cli list/count on it; time and peak memory against the file's size.
#
# Usage: bench/compare-wrestool.sh [options] [BUILD_DIR]
#   BUILD_DIR         where pictavo-cli is (default: <repository>/build). When pictavo-cli
#                     is missing it is built there (a fresh folder is configured as Release,
#                     without the window).
#   --build           build pictavo-cli even when it exists (an incremental build)
#   --check-only      stop after the correctness check
#   --strict          count wrestool's extra bytes after the last image as a difference
#                     (see the note below)
#   --also FILE       check and count FILE as well (repeatable), e.g. a 32-bit PE when the
#                     installed wine has no 32-bit side
#   --executables N   how many executables the I/O floor uses (default 1000)
#   --runs N          timed runs per command (default: hyperfine's choice, at least 10;
#                     20 without hyperfine)
#   --warmup N        untimed runs first (default 3)
#   --no-memory       skip the peak-memory figures
# Environment:
#   PICTAVO_WINE_DIRS    folders of Windows PE files, separated by ":" (default: the
#                        x86_64-windows and i386-windows folders of wine that exist)
#   PICTAVO_COMPARE_DIR  where the outputs, copies and results go
#                        (default: BUILD_DIR/compare-wrestool)
#
# Needs wrestool (icoutils), python3 (reading the JSON and comparing bytes), a C++ compiler
# (${CXX:-g++}, for the 4-KB reader) and wine's Windows files (apt-get install wine; only
# its files are used, wine itself never runs). hyperfine is used when installed, otherwise
# a plain loop with `date +%s%N`. GNU time (/usr/bin/time) for the memory figures.
#
# Note on wrestool's icons: wrestool writes each icon with as many more bytes after the last
# image as the group resource has (6 + 14 per image), and those bytes are not cleared (they
# change from run to run). Our files end where their own directory says. A pair that is
# equal up to the end of our file, where our file has exactly the size its directory
# describes and wrestool's is longer by exactly that amount, is counted as equal and listed
# as such; --strict counts it as a difference.

set -euo pipefail

readonly kSetVersion="executables-1"   # change when the way the copies are made changes

script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo_dir=$(cd "$script_dir/.." && pwd)
tool=compare-wrestool
# shellcheck source=bench/common.sh
source "$script_dir/common.sh"

build_dir=""
force_build=0
check_only=0
strict=0
also=()
exe_count=1000
runs=""
warmup=3
measure_memory=1
while [[ $# -gt 0 ]]; do
    case "$1" in
    --build) force_build=1 ;;
    --check-only) check_only=1 ;;
    --strict) strict=1 ;;
    --also) [[ $# -ge 2 ]] || die "--also needs a file"; also+=("$2"); shift ;;
    --executables) [[ $# -ge 2 ]] || die "--executables needs a number"; exe_count=$2; shift ;;
    --runs) [[ $# -ge 2 ]] || die "--runs needs a number"; runs=$2; shift ;;
    --warmup) [[ $# -ge 2 ]] || die "--warmup needs a number"; warmup=$2; shift ;;
    --no-memory) measure_memory=0 ;;
    -h | --help) sed -n '2,/^$/{s/^# \{0,1\}//;p}' "${BASH_SOURCE[0]}"; exit 0 ;;
    -*) die "unknown option $1 (see --help)" ;;
    *) [[ -z "$build_dir" ]] || die "only one build folder, please"; build_dir=$1 ;;
    esac
    shift
done
[[ "$exe_count" =~ ^[1-9][0-9]*$ ]] || die "--executables needs a positive number"
settle_options
export LC_ALL=C.UTF-8

# --- tools ------------------------------------------------------------------------------
cxx=${CXX:-g++}
missing=()
command -v wrestool >/dev/null || missing+=("wrestool (apt-get install icoutils)")
command -v python3 >/dev/null || missing+=("python3")
[[ $check_only -eq 1 ]] || command -v "$cxx" >/dev/null || missing+=("$cxx (or set CXX)")
command -v awk >/dev/null || missing+=("awk")
if [[ ${#missing[@]} -gt 0 ]]; then
    printf 'compare-wrestool: missing tool: %s\n' "${missing[@]}" >&2
    exit 1
fi
have_hyperfine=0
if command -v hyperfine >/dev/null; then
    have_hyperfine=1
elif [[ $check_only -eq 0 ]]; then
    echo "compare-wrestool: hyperfine not found, timing with a date +%s%N loop instead" >&2
fi

# --- pictavo-cli ------------------------------------------------------------------------
cli="$build_dir/pictavo-cli"
ensure_built "$force_build" pictavo-cli
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build_dir/CMakeCache.txt" 2>/dev/null || true)

work_dir=${PICTAVO_COMPARE_DIR:-$build_dir/compare-wrestool}
results_dir="$work_dir/results"
mkdir -p "$work_dir" "$results_dir"

# --- the Windows files --------------------------------------------------------------------
if [[ -n "${PICTAVO_WINE_DIRS:-}" ]]; then
    IFS=: read -r -a wine_dirs <<<"$PICTAVO_WINE_DIRS"
else
    wine_dirs=()
    for d in /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/x86_64-linux-gnu/wine/i386-windows \
        /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/aarch64-linux-gnu/wine/i386-windows \
        /usr/lib/wine/x86_64-windows /usr/lib/wine/i386-windows; do
        [[ -d "$d" ]] && wine_dirs+=("$d")
    done
fi
[[ ${#wine_dirs[@]} -gt 0 ]] || die "no folder of wine's Windows files (apt-get install wine, or set PICTAVO_WINE_DIRS)"

# Every regular file that begins with "MZ".
pe_files=()
for d in "${wine_dirs[@]}"; do
    for f in "$d"/*; do
        [[ -f "$f" && -r "$f" ]] || continue
        sig=""
        IFS= read -r -N 2 sig <"$f" 2>/dev/null || true
        [[ "$sig" == MZ ]] && pe_files+=("$f")
    done
done
for f in "${also[@]}"; do
    [[ -f "$f" ]] || die "no file $f (--also)"
    pe_files+=("$(cd "$(dirname "$f")" && pwd)/$(basename "$f")")
done
[[ ${#pe_files[@]} -gt 0 ]] || die "no Windows executables in ${wine_dirs[*]}"

# "PE32", "PE32+" or "?" for a file.
pe_kind() {
    local at magic
    at=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    magic=$(od -An -tx2 -j$((at + 24)) -N2 "$1" 2>/dev/null | tr -d ' ')
    case "$magic" in 010b) echo PE32 ;; 020b) echo PE32+ ;; *) echo "?" ;; esac
}

# Group names per file, as wrestool lists them (one line per name and language).
echo "== ${#pe_files[@]} Windows executables in ${wine_dirs[*]}${also[*]:+ and ${also[*]}}"
declare -A wres_groups
icon_files=()
for f in "${pe_files[@]}"; do
    n=$(wrestool -l -t14 "$f" 2>/dev/null | sed -nE "s/^--type=14 --name=('(.*)'|([0-9]+)) --language=.*/\2\3/p" | sort -u | wc -l)
    wres_groups[$f]=$n
    ((n > 0)) && icon_files+=("$f")
done
[[ ${#icon_files[@]} -ge 1 ]] || die "none of the files holds group icons for wrestool"

mismatches=0

# --- 1a. count on every file ----------------------------------------------------------------
count_diffs=0
while IFS=$'\t' read -r n f; do
    if [[ "$n" != "${wres_groups[$f]:-?}" ]]; then
        echo "  count differs on $f: pictavo-cli $n, wrestool ${wres_groups[$f]:-?}"
        count_diffs=$((count_diffs + 1))
    fi
done < <("$cli" count "${pe_files[@]}")
total_groups=0
for f in "${icon_files[@]}"; do total_groups=$((total_groups + wres_groups[$f])); done
if [[ $count_diffs -eq 0 ]]; then
    echo "== count: equal to wrestool's number of groups on all ${#pe_files[@]} files" \
        "(${#icon_files[@]} with group icons, $total_groups groups)"
else
    echo "== count: differs from wrestool on $count_diffs files"
    mismatches=$((mismatches + count_diffs))
fi

# --- 1b. names, order and bytes on every file with icons --------------------------------------
# check_file.py JSON WRESTOOL_LIST EXTRACTED_PATHS WRESTOOL_DIR BASENAME KIND STRICT
check_py="$work_dir/check_file.py"
cat >"$check_py" <<'PY'
import json
import os
import re
import sys

json_path, list_path, paths_path, wdir, base, kind, strict = sys.argv[1:8]
strict = strict == "1"
problems = 0


def problem(text):
    global problems
    problems += 1
    print(f"  {base}: {text}")


with open(json_path, encoding="utf-8") as f:
    entry = json.load(f)[0]
if "error" in entry:
    problem(f"pictavo-cli list failed: {entry['error']}")
    sys.exit(1)
ours = [(icon["name"], icon["images"]) for icon in entry["icons"]]
our_names = [name for name, _ in ours]

# wrestool: --type=14 --name='TEXT' --language=L [...]  or  --name=NUMBER
theirs, language, several = [], {}, []
with open(list_path, encoding="utf-8", errors="replace") as f:
    for line in f:
        m = re.match(r"--type=14 --name=(?:'(.*)'|(\d+)) --language=(\d+) ", line)
        if not m:
            continue
        name = m.group(1) if m.group(1) is not None else m.group(2)
        if name in language:
            several.append(name)  # another language of the same group: we read the first
            continue
        language[name] = m.group(3)
        theirs.append(name)

FIELDS = ["width", "height", "colour count", "reserved", "planes", "planes", "bit count", "bit count",
          "bytes in resource", "bytes in resource", "bytes in resource", "bytes in resource",
          "image offset", "image offset", "image offset", "image offset"]


def image_size(data, offset):
    """The width and height an image's own header gives (PNG or bitmap), or None."""
    head = data[offset:offset + 26]
    if head[:8] == b"\x89PNG\r\n\x1a\n" and len(head) >= 24:
        return int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")
    if len(head) >= 12:
        return int.from_bytes(head[4:8], "little", signed=True), int.from_bytes(head[8:12], "little") // 2
    return None


def directory_differences(a, b, count, directory_end):
    """Which directory fields differ, with the image's own size, and whether the images agree."""
    parts = []
    for k in range(count):
        e = 6 + 16 * k
        fields = sorted({FIELDS[i] for i in range(16) if a[e + i] != b[e + i]}, key=FIELDS.index)
        if not fields:
            continue
        text = f"entry {k}: {', '.join(fields)}"
        if {"width", "height"} & set(fields):
            size = image_size(a, int.from_bytes(a[e + 12:e + 16], "little"))
            text += f" {a[e]}x{a[e + 1]} in ours, {b[e]}x{b[e + 1]} in wrestool's"
            if size:
                text += f", the image being {size[0]}x{size[1]}"
        parts.append(text)
    same_images = a[directory_end:] == b[directory_end:len(a)]
    parts.append("the image bytes after the directory are " + ("identical" if same_images else "DIFFERENT"))
    return "; ".join(parts)


names_equal = our_names == theirs
if not names_equal:
    if sorted(our_names) == sorted(theirs):
        i = next(i for i, (a, b) in enumerate(zip(our_names, theirs)) if a != b)
        problem(f"same {len(theirs)} names in another order: at position {i} ours is {our_names[i]!r}, "
                f"wrestool's {theirs[i]!r}")
    else:
        only_ours = [n for n in our_names if n not in language]
        only_theirs = [n for n in theirs if n not in set(our_names)]
        problem(f"names differ: {len(our_names)} ours, {len(theirs)} wrestool's; only ours: {only_ours[:5]}, "
                f"only wrestool's: {only_theirs[:5]}")

with open(paths_path, encoding="utf-8") as f:
    paths = [line.rstrip("\n") for line in f if line.strip()]
if len(paths) != len(ours):
    problem(f"pictavo-cli extract wrote {len(paths)} files for {len(ours)} groups")

same = tail = 0
for (name, images), path in zip(ours, paths):
    if name not in language:
        continue  # reported above
    theirs_path = os.path.join(wdir, f"{base}_14_{name}_{language[name]}.ico")
    if not os.path.exists(theirs_path):
        problem(f"group {name}: wrestool wrote no {os.path.basename(theirs_path)}")
        continue
    with open(path, "rb") as f:
        a = f.read()
    with open(theirs_path, "rb") as f:
        b = f.read()
    described = 6 + 16 * len(images) + sum(image["bytes"] for image in images)
    if len(a) != described:
        problem(f"group {name}: our {os.path.basename(path)} has {len(a)} bytes, its directory describes {described}")
    if a == b:
        same += 1
        continue
    n = min(len(a), len(b))
    first = n
    if a[:n] != b[:n]:
        lo = 0
        while lo < n:  # the first differing 4-KB block, then the byte in it
            hi = min(lo + 4096, n)
            if a[lo:hi] != b[lo:hi]:
                first = next(i for i in range(lo, hi) if a[i] != b[i])
                break
            lo = hi
    if first == len(a) and len(b) > len(a):
        extra = len(b) - len(a)
        if extra == 6 + 14 * len(images) and len(a) == described and not strict:
            tail += 1
            continue
        problem(f"group {name}: wrestool's file goes on after ours ends: {len(b)} bytes against our {len(a)}, "
                f"equal up to offset {len(a)}")
    elif first == len(b):
        problem(f"group {name}: wrestool's file ends at offset {len(b)}, ours goes on to {len(a)}")
    else:
        text = (f"group {name}: first differing byte at offset {first} (0x{first:x}): ours 0x{a[first]:02x}, "
                f"wrestool's 0x{b[first]:02x} (files of {len(a)} and {len(b)} bytes)")
        directory_end = 6 + 16 * len(images)
        if 6 <= first < directory_end:
            text += "; " + directory_differences(a, b, len(images), directory_end)
        print(f"  {base}: {text}")
        problems += 1

summary = f"{base} ({kind}): {len(ours)} groups, names and order {'equal' if names_equal else 'DIFFER'}; "
summary += f"{same} icons byte-identical"
if tail:
    summary += f", {tail} equal up to wrestool's extra trailing bytes"
if several:
    summary += f"; {len(several)} further languages of groups ignored (we read the first)"
if problems:
    summary += f"; {problems} problems"
print("  " + summary)
print(f"TOTALS {same} {tail} {problems}")
sys.exit(1 if problems else 0)
PY

check_dir="$work_dir/check"
rm -rf "$check_dir"
mkdir -p "$check_dir"
echo "== names, order and bytes against wrestool on ${#icon_files[@]} files"
[[ ${#icon_files[@]} -ge 4 ]] || echo "compare-wrestool: note: only ${#icon_files[@]} files hold group icons" >&2
checked_same=0
checked_tail=0
checked_kinds=""
i=0
for f in "${icon_files[@]}"; do
    i=$((i + 1))
    base=$(basename "$f")
    kind=$(pe_kind "$f")
    [[ " $checked_kinds " == *" $kind "* ]] || checked_kinds+="${checked_kinds:+ }$kind"
    d="$check_dir/$i-$base"
    mkdir -p "$d/wrestool"
    "$cli" list --json "$f" >"$d/list.json" || true
    wrestool -l -t14 "$f" >"$d/wrestool-list.txt" 2>/dev/null || true
    "$cli" extract -o "$d/ours" "$f" >"$d/extracted.txt" 2>"$d/extract.err" ||
        echo "  $base: pictavo-cli extract failed: $(head -1 "$d/extract.err")"
    wrestool -x -t14 -o "$d/wrestool" "$f" 2>/dev/null || echo "  $base: wrestool -x failed"
    status=0
    report=$(python3 "$check_py" "$d/list.json" "$d/wrestool-list.txt" "$d/extracted.txt" "$d/wrestool" \
        "$base" "$kind" "$strict") || status=$?
    grep -v '^TOTALS ' <<<"$report" || true
    read -r _ s t p < <(grep '^TOTALS ' <<<"$report" || echo "TOTALS 0 0 1")
    checked_same=$((checked_same + s))
    checked_tail=$((checked_tail + t))
    [[ $status -eq 0 ]] || mismatches=$((mismatches + (p > 0 ? p : 1)))
done
[[ " ${icon_files[*]} " == *"/shell32.dll "* ]] || echo "compare-wrestool: note: no shell32.dll among the files" >&2
echo "== checked ${#icon_files[@]} files ($checked_kinds): $checked_same icons byte-identical," \
    "$checked_tail equal up to wrestool's extra trailing bytes"
if [[ $checked_tail -gt 0 ]]; then
    echo "   (wrestool appends 6 + 14 x images bytes of uncleared memory to each icon; our files end where"
    echo "    their directory says; --strict counts these as differences)"
fi
[[ " $checked_kinds " == *" PE32 "* ]] ||
    echo "   no 32-bit (PE32) file among them: the installed wine has no 32-bit side; --also FILE adds one"
# Differences do not stop the timings; they make the exit status 1 at the end.
finish() {
    if [[ $mismatches -gt 0 ]]; then
        echo "compare-wrestool: $mismatches differences from wrestool, listed under \"names, order and bytes\"" \
            "(outputs kept in $check_dir)" >&2
        exit 1
    fi
    exit 0
}
if [[ $mismatches -gt 0 ]]; then
    echo "== $mismatches differences from wrestool (above)"
else
    echo "== no differences from wrestool"
fi
[[ $check_only -eq 0 ]] || finish

# --- timing helpers -------------------------------------------------------------------------
echo "== pictavo-cli: $cli${build_type:+ ($build_type)}; $(wrestool --version | head -1)"

declare -A mean stddev

# time_cmds NAME LABEL CMD PREPARE [LABEL CMD PREPARE]...  (commands as shell words)
time_cmds() {
    local name=$1
    shift
    local labels=() cmds=() preps=()
    while [[ $# -ge 3 ]]; do
        labels+=("$1") cmds+=("$2") preps+=("$3")
        shift 3
    done
    if [[ $have_hyperfine -eq 1 ]]; then
        local opts=(--warmup "$warmup" --style basic --export-json "$results_dir/$name.json"
                    --export-csv "$results_dir/$name.csv") k
        [[ -n "$runs" ]] && opts+=(--runs "$runs")
        # No shell between hyperfine and the programs when this hyperfine can do that.
        hyperfine --help 2>/dev/null | grep -qE '^ +-N' && opts+=(-N)
        for k in "${!labels[@]}"; do opts+=(--prepare "${preps[$k]}" -n "${labels[$k]}" "${cmds[$k]}"); done
        hyperfine "${opts[@]}" >"$results_dir/$name.log" 2>&1 ||
            { cat "$results_dir/$name.log" >&2; die "hyperfine failed for $name"; }
        # CSV: command,mean,stddev,median,user,system,min,max (seconds)
        while IFS=, read -r cmd m s _; do
            mean[$cmd]=$m
            stddev[$cmd]=$s
        done < <(tail -n +2 "$results_dir/$name.csv")
    else
        local k
        : >"$results_dir/$name.csv"
        for k in "${!labels[@]}"; do
            local m s
            read -r m s < <(loop_time "${labels[$k]}" "${preps[$k]}" "${cmds[$k]}")
            mean[${labels[$k]}]=$m
            stddev[${labels[$k]}]=$s
            echo "${labels[$k]},$m,$s" >>"$results_dir/$name.csv"
        done
    fi
}

ms() { awk -v s="$1" 'BEGIN {printf "%.2f", s * 1000}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
row() { # row LABEL KEY
    printf '  %-44s %10s ± %-8s\n' "$1" "$(ms "${mean[$2]}")" "$(ms "${stddev[$2]}")"
}
q() { printf '%q ' "$@"; }
fresh_dir_cmd() { # a command that leaves an empty folder (wrestool writes only into one that exists)
    printf 'bash -c %q' "rm -rf $(printf '%q' "$1") && mkdir -p $(printf '%q' "$1")"
}

q_cli=$(printf '%q' "$cli")
largest=""
largest_bytes=0
for f in "${icon_files[@]}"; do
    n=$(stat -c %s "$f")
    if ((n > largest_bytes)); then largest=$f largest_bytes=$n; fi
done
out_ours="$work_dir/out-pictavo"
out_theirs="$work_dir/out-wrestool"
q_out_ours=$(printf '%q' "$out_ours")

# --- 2. extract and count against wrestool ----------------------------------------------------
echo "== timing against wrestool (warmup $warmup${runs:+, runs $runs})"
time_cmds extract-largest \
    "pictavo-cli extract" "$q_cli extract -o $q_out_ours $(q "$largest")" "rm -rf $q_out_ours" \
    "wrestool -x -t14" "wrestool -x -t14 -o $(printf '%q' "$out_theirs") $(q "$largest")" "$(fresh_dir_cmd "$out_theirs")"
time_cmds extract-all \
    "pictavo-cli extract (all)" "$q_cli extract -o $q_out_ours $(q "${icon_files[@]}")" "rm -rf $q_out_ours" \
    "wrestool -x -t14 (all)" "wrestool -x -t14 -o $(printf '%q' "$out_theirs") $(q "${icon_files[@]}")" "$(fresh_dir_cmd "$out_theirs")"
time_cmds count-all \
    "pictavo-cli count" "$q_cli count $(q "${pe_files[@]}")" "true" \
    "wrestool -l -t14" "wrestool -l -t14 $(q "${pe_files[@]}")" "true"
rm -rf "$out_ours" "$out_theirs"

echo
printf '  %-36s %16s %16s %12s %10s\n' "" "pictavo-cli (ms)" "wrestool (ms)" "ours/theirs" "speed-up"
pair() { # pair LABEL OUR_KEY THEIR_KEY
    printf '  %-36s %8s ± %-5s %8s ± %-5s %12s %9sx\n' "$1" "$(ms "${mean[$2]}")" "$(ms "${stddev[$2]}")" \
        "$(ms "${mean[$3]}")" "$(ms "${stddev[$3]}")" "$(ratio "${mean[$2]}" "${mean[$3]}")" \
        "$(ratio "${mean[$3]}" "${mean[$2]}")"
}
pair "extract $(basename "$largest") (${wres_groups[$largest]} groups)" "pictavo-cli extract" "wrestool -x -t14"
pair "extract ${#icon_files[@]} files ($total_groups groups)" "pictavo-cli extract (all)" "wrestool -x -t14 (all)"
pair "count ${#pe_files[@]} files" "pictavo-cli count" "wrestool -l -t14"
echo "  ($(basename "$largest"): $largest_bytes bytes; ${#pe_files[@]} files: $(cat "${pe_files[@]}" | wc -c) bytes; target: extract at least 2x faster)"

# --- 3. the I/O floor -------------------------------------------------------------------------
reader="$work_dir/read-heads"
if [[ ! -x "$reader" || "$script_dir/ReadHeads.cpp" -nt "$reader" ]]; then
    "$cxx" -O2 -o "$reader" "$script_dir/ReadHeads.cpp" || die "$cxx could not build $script_dir/ReadHeads.cpp"
fi
exe_dir="$work_dir/executables"
stamp="$kSetVersion $exe_count ${#pe_files[@]}"
if [[ ! -f "$exe_dir/.stamp" || $(cat "$exe_dir/.stamp") != "$stamp" ]]; then
    echo "== copying $exe_count executables to $exe_dir"
    rm -rf "$exe_dir"
    mkdir -p "$exe_dir"
    for ((k = 0; k < exe_count; k++)); do
        src=${pe_files[$((k % ${#pe_files[@]}))]}
        cp -- "$src" "$exe_dir/$(printf '%04d' "$k")-$(basename "$src")"
    done
    echo "$stamp" >"$exe_dir/.stamp"
fi
cd "$exe_dir"
exes=(????-*)
[[ ${#exes[@]} -eq $exe_count ]] || die "expected $exe_count files in $exe_dir, found ${#exes[@]}"
cat -- "${exes[@]}" >/dev/null   # warm: every page in the cache
q_exes=$(q "${exes[@]}")
time_cmds floor \
    "pictavo-cli count (floor)" "$q_cli count $q_exes" "true" \
    "read 4 KB of each" "$(printf '%q' "$reader") $q_exes" "true" \
    "wrestool -l -t14 (floor)" "wrestool -l -t14 $q_exes" "true"
cd - >/dev/null
echo
echo "  I/O floor: $exe_count executables ($(cat -- "$exe_dir"/????-* | wc -c) bytes), warm page cache, one process each"
row "pictavo-cli count" "pictavo-cli count (floor)"
row "open + read 4 KB + close each (floor)" "read 4 KB of each"
row "wrestool -l -t14" "wrestool -l -t14 (floor)"
echo "  count / floor: $(ratio "${mean[pictavo-cli count (floor)]}" "${mean[read 4 KB of each]}")" \
    "(target: at most 1.5); wrestool / floor: $(ratio "${mean[wrestool -l -t14 (floor)]}" "${mean[read 4 KB of each]}")"

# --- 4. an icon library of 1,000 icons ----------------------------------------------------------
lib_dir="$work_dir/library"
rm -rf "$lib_dir"
mkdir -p "$lib_dir/source" "$lib_dir/icons"
"$cli" extract -o "$lib_dir/source" "${icon_files[@]}" >/dev/null
sources=("$lib_dir/source"/*.ico)
for ((k = 0; k < 1000; k++)); do
    cp -- "${sources[$((k % ${#sources[@]}))]}" "$lib_dir/icons/$(printf '%04d' "$k").ico"
done
icl="$lib_dir/library.icl"
q_icl=$(printf '%q' "$icl")
q_icons=$(q "$lib_dir/icons"/*.ico)
"$cli" icl -o "$icl" "$lib_dir/icons"/*.ico >/dev/null || die "pictavo-cli icl failed"
listed=$("$cli" count "$icl" | cut -f1)
[[ "$listed" == 1000 ]] || die "the library holds $listed icons, not 1000"
time_cmds library \
    "pictavo-cli icl (1000 .ico)" "$q_cli icl -o $q_icl $q_icons" "rm -f $q_icl" \
    "pictavo-cli list library.icl" "$q_cli list $q_icl" "true" \
    "pictavo-cli count library.icl" "$q_cli count $q_icl" "true"
icl_bytes=$(stat -c %s "$icl")
icons_bytes=$(cat "$lib_dir/icons"/*.ico | wc -c)
images=$("$cli" list --json "$icl" | python3 -c 'import json,sys; print(sum(len(i["images"]) for i in json.load(sys.stdin)[0]["icons"]))')
echo
echo "  icon library: 1000 icons, $images images; .ico files in: $icons_bytes bytes; library.icl: $icl_bytes bytes"
row "pictavo-cli icl -o library.icl (1000 files)" "pictavo-cli icl (1000 .ico)"
row "pictavo-cli list library.icl" "pictavo-cli list library.icl"
row "pictavo-cli count library.icl" "pictavo-cli count library.icl"
echo "results: $results_dir"

# --- peak memory ------------------------------------------------------------------------------------
if [[ $measure_memory -eq 1 ]]; then
    if [[ -x /usr/bin/time ]] && /usr/bin/time -v true 2>/dev/null; then
        peak_kib() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ {print $2}'; }
        peak_row() { # peak_row LABEL KIB [BYTES_TO_COMPARE]
            if [[ -n "${3:-}" ]]; then
                printf '  %-44s %8s KiB  (%s x the file)\n' "$1" "$2" "$(awk -v k="$2" -v b="$3" 'BEGIN {printf "%.2f", k * 1024 / b}')"
            else
                printf '  %-44s %8s KiB\n' "$1" "$2"
            fi
        }
        mem_dir="$work_dir/out-memory"
        rm -rf "$mem_dir"
        mkdir -p "$mem_dir/ours" "$mem_dir/theirs"
        echo
        echo "peak memory (maximum resident set size):"
        peak_row "pictavo-cli --help (baseline)" "$(peak_kib "$cli" --help)"
        peak_row "wrestool --help (baseline)" "$(peak_kib wrestool --help)"
        peak_row "pictavo-cli extract $(basename "$largest")" "$(peak_kib "$cli" extract -o "$mem_dir/ours" "$largest")" "$largest_bytes"
        peak_row "wrestool -x -t14 $(basename "$largest")" "$(peak_kib wrestool -x -t14 -o "$mem_dir/theirs" "$largest")" "$largest_bytes"
        peak_row "pictavo-cli count ($exe_count executables)" "$(cd "$exe_dir" && peak_kib "$cli" count "${exes[@]}")"
        rm -f "$mem_dir/library.icl"
        peak_row "pictavo-cli icl (1000 icons, new file)" "$(peak_kib "$cli" icl -o "$mem_dir/library.icl" "$lib_dir/icons"/*.ico)" "$icl_bytes"
        peak_row "pictavo-cli list library.icl" "$(peak_kib "$cli" list "$icl")" "$icl_bytes"
        peak_row "pictavo-cli count library.icl" "$(peak_kib "$cli" count "$icl")" "$icl_bytes"
        echo "  (target for the library: within 3 x the .icl file's size)"
        rm -rf "$mem_dir"
    else
        echo "(no GNU time at /usr/bin/time: apt-get install time for the peak memory figures)"
    fi
fi

finish
