#!/usr/bin/env bash
# Thumbnails of a folder of icon files, executables and DLLs: `pictavo-cli thumbnail -s SIZE`
# against the pipeline other thumbnailers of executables run (wrestool -x -t14 to an .ico,
# icotool -x -w SIZE, and when no image has that width icotool -x of the best one and
# ImageMagick's convert -resize), over the same files in one run; then the peak memory of both
# on a small DLL and on one of the same icons padded with a large resource.
#
# Usage: bench/thumbnail/run.sh [options] [BUILD_DIR]
#   BUILD_DIR       where pictavo-cli is (default: <repository>/build-bench; configured as a
#                   Release build and built when pictavo-cli is missing)
#   --build         build pictavo-cli even when it exists
#   --size N        thumbnail size (default 128)
#   --dlls N        generated DLLs (default 360), each with 1 to 12 group icons
#   --icos N        generated .ico files (default 120)
#   --big-mb N      size of the padding resource of the large DLL (default 150)
#   --runs N        timed runs of each whole folder (default 3)
#   --warmup N      untimed runs first (default 1)
#
# The folder holds the generated files (make-icons.py, windres and ld of x86_64-w64-mingw32
# binutils) and a copy of every non-empty *.exe, *.dll and *.ico under /usr and /root (found
# on this machine, nothing is fetched). Files that hold no icon count for both sides: each
# tries and fails. Outputs, copies and figures go to BUILD_DIR/bench-thumbnail.
#
# Needs python3, wrestool and icotool (icoutils), ImageMagick's convert, x86_64-w64-mingw32
# binutils (windres, ld), GNU time (/usr/bin/time); hyperfine when installed, otherwise a
# plain loop.

set -euo pipefail

script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo_dir=$(cd "$script_dir/../.." && pwd)
tool=thumbnail
# shellcheck source=bench/common.sh
source "$script_dir/../common.sh"

force=0 size=128 dlls=360 icos=120 big_mb=150 runs=3 warmup=1 build_dir=""
while [[ $# -gt 0 ]]; do
    case $1 in
    --build) force=1 ;;
    --size) size=$2; shift ;;
    --dlls) dlls=$2; shift ;;
    --icos) icos=$2; shift ;;
    --big-mb) big_mb=$2; shift ;;
    --runs) runs=$2; shift ;;
    --warmup) warmup=$2; shift ;;
    -h | --help) sed -n '2,/^$/p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) die "unknown option $1" ;;
    *) build_dir=$1 ;;
    esac
    shift
done
build_dir=${build_dir:-$repo_dir/build-bench}
settle_options
ensure_built "$force" pictavo-cli
cli=$build_dir/pictavo-cli
for program in python3 wrestool icotool x86_64-w64-mingw32-windres x86_64-w64-mingw32-ld /usr/bin/time; do
    command -v "$program" >/dev/null || die "$program is missing"
done
# ImageMagick itself, not a wrapper earlier on the PATH.
convert=/usr/bin/convert
[[ -x $convert ]] || convert=$(command -v convert) || die "convert (ImageMagick) is missing"

work=$build_dir/bench-thumbnail
folder=$work/files
rm -rf "$work"
mkdir -p "$folder" "$work/rc" "$work/out-pictavo" "$work/out-pipeline"

echo "== generating $icos .ico files and $dlls DLLs"
python3 "$script_dir/make-icons.py" "$work/gen-ico" "$work/rc" "$icos" "$dlls"
cp "$work"/gen-ico/*.ico "$folder/"
# dll NAME.rc OUT: links the resources of a script into a DLL without code.
dll() {
    (cd "$work/rc" &&
        x86_64-w64-mingw32-windres --preprocessor=cat "$1" -O coff -o "$1.o" &&
        x86_64-w64-mingw32-ld --dll -e 0 -o "$2" "$1.o")
}
for rc in "$work"/rc/lib*.rc; do
    name=$(basename "$rc" .rc)
    dll "$(basename "$rc")" "$folder/$name.dll"
done

echo "== copying the .exe, .dll and .ico files found under /usr and /root"
real=0
while IFS= read -r -d '' file; do
    real=$((real + 1))
    cp "$file" "$folder/real$(printf %04d $real)-$(basename "$file")"
done < <(find /usr /root -xdev -type f -size +0 \( -iname '*.exe' -o -iname '*.dll' -o -iname '*.ico' \) \
    -not -path "$work/*" -print0 2>/dev/null | sort -z)
total=$(find "$folder" -type f | wc -l)
echo "   $total files ($real found on the machine)"

# The two sides, each a script over the whole folder.
cat >"$work/pictavo.sh" <<SCRIPT
for f in "$folder"/*; do
    "$cli" thumbnail -s $size "\$f" "$work/out-pictavo/\${f##*/}.png" 2>/dev/null
done
exit 0
SCRIPT
# The floor of one process per file: pictavo-cli started and ended, nothing read.
cat >"$work/start.sh" <<SCRIPT
for f in "$folder"/*; do
    "$cli" --version >/dev/null
done
exit 0
SCRIPT
cat >"$work/pipeline.sh" <<SCRIPT
tmp="$work/pipeline-tmp"
for f in "$folder"/*; do
    out="$work/out-pipeline/\${f##*/}.png"
    rm -f "\$tmp".*
    case "\${f,,}" in
    *.ico) ico=\$f ;;
    *) wrestool -x -t 14 "\$f" >"\$tmp.ico" 2>/dev/null || continue; ico=\$tmp.ico ;;
    esac
    icotool -x -w $size -o "\$out" "\$ico" 2>/dev/null
    [[ -s \$out ]] && continue
    # No image of that width: the smallest larger one, else the largest; the deepest of a size.
    pick=\$(icotool -l "\$ico" 2>/dev/null | awk -v s=$size '
        { for (i = 1; i <= NF; i++) { split(\$i, kv, "="); v[kv[1]] = kv[2] }
          n = v["--width"] > v["--height"] ? v["--width"] : v["--height"]; d = v["--bit-depth"]
          r = n > s ? n - s : 100000 - n
          if (best == "" || r < br || (r == br && d > bd)) { best = v["--index"]; br = r; bd = d } }
        END { print best }')
    [[ -n \$pick ]] || continue
    icotool -x -i "\$pick" -o "\$tmp.png" "\$ico" 2>/dev/null || continue
    "$convert" "\$tmp.png" -resize ${size}x$size "\$out" 2>/dev/null
done
exit 0
SCRIPT

echo "== timing both over the folder ($runs runs after $warmup)"
if command -v hyperfine >/dev/null; then
    # Each run writes new files, as a file manager asks for a new thumbnail.
    hyperfine --style basic --runs "$runs" --warmup "$warmup" --export-json "$work/times.json" \
        --prepare "rm -f $work/out-pictavo/*" --prepare "rm -f $work/out-pipeline/*" \
        --prepare true -n pictavo-cli "bash $work/pictavo.sh" -n pipeline "bash $work/pipeline.sh" \
        -n start "bash $work/start.sh" >/dev/null
    read -r pictavo_mean pictavo_sd pipeline_mean pipeline_sd start_mean start_sd < <(python3 -c '
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
print(*("%s %s" % (r[k]["mean"], r[k]["stddev"] or 0) for k in ("pictavo-cli", "pipeline", "start")))' \
        "$work/times.json")
else
    read -r pictavo_mean pictavo_sd < <(loop_time pictavo-cli "rm -f $work/out-pictavo/*" "bash $work/pictavo.sh")
    read -r pipeline_mean pipeline_sd < <(loop_time pipeline "rm -f $work/out-pipeline/*" "bash $work/pipeline.sh")
    read -r start_mean start_sd < <(loop_time start : "bash $work/start.sh")
fi
made_pictavo=$(find "$work/out-pictavo" -name '*.png' -size +0 | wc -l)
made_pipeline=$(find "$work/out-pipeline" -name '*.png' -size +0 | wc -l)

echo "== peak memory on a small DLL and on the same icons after a ${big_mb} MB resource"
cp "$work/gen-ico/icon0002.ico" "$work/rc/big.ico"  # 16 to 256 pixels, 128 among them
head -c $((big_mb * 1024 * 1024)) /dev/urandom >"$work/rc/padding.bin"
# A resource of type 2 is stored before the icons, so they lie after the padding.
printf '1 2 "padding.bin"\n1 ICON "big.ico"\n' >"$work/rc/big.rc"
printf '1 ICON "big.ico"\n' >"$work/rc/small.rc"
dll big.rc "$work/big.dll"
dll small.rc "$work/small.dll"
rm -f "$work/rc/padding.bin" "$work/rc/big.rc.o"
peak() {  # peak resident set in KB of a command line
    /usr/bin/time -f %M -o "$work/peak.txt" bash -c "$1" >/dev/null 2>&1 || true
    tail -1 "$work/peak.txt"
}
declare -A memory
for which in small big; do
    f=$work/$which.dll
    memory[pictavo-$which]=$(peak "'$cli' thumbnail -s $size '$f' '$work/$which-pictavo.png'")
    memory[wrestool-$which]=$(peak "wrestool -x -t 14 '$f' >'$work/$which.ico'")
    memory[icotool-$which]=$(peak "icotool -x -w $size -o '$work/$which-pipeline.png' '$work/$which.ico'")
done
icon_offset=$(wrestool -l -t 3 "$work/big.dll" | sed -n 's/.*offset=\(0x[0-9a-f]*\).*/\1/p' | head -1)

{
    echo "Thumbnails at $size pixels of $total files ($icos generated .ico files, $dlls generated DLLs,"
    echo "$real .exe/.dll/.ico files found under /usr and /root), warm cache, $runs runs after $warmup:"
    printf '  pictavo-cli thumbnail    %8.3f s +- %.3f   (%d PNG written)\n' "$pictavo_mean" "$pictavo_sd" "$made_pictavo"
    printf '  wrestool/icotool/convert %8.3f s +- %.3f   (%d PNG written)\n' "$pipeline_mean" "$pipeline_sd" "$made_pipeline"
    printf '  pictavo-cli --version    %8.3f s +- %.3f   (the floor: one process per file)\n' "$start_mean" "$start_sd"
    python3 -c 'import sys; a, b, f, n = map(float, sys.argv[1:]); print("  per file: %.2f ms vs %.2f ms (floor %.2f ms); pictavo-cli %.1fx faster, %.1fx above the floor" % (a / n * 1e3, b / n * 1e3, f / n * 1e3, b / a, (b - f) / (a - f)))' \
        "$pictavo_mean" "$pipeline_mean" "$start_mean" "$total"
    echo "Peak memory (maximum resident set, KB):"
    printf '  %-28s %10s %10s\n' "" "small.dll" "big.dll"
    printf '  %-28s %10s %10s\n' "size of the file" "$(stat -c %s "$work/small.dll")" "$(stat -c %s "$work/big.dll")"
    for side in pictavo wrestool icotool; do
        printf '  %-28s %10s %10s\n' "$side" "${memory[$side-small]}" "${memory[$side-big]}"
    done
    echo "  (big.dll's first icon image lies at file offset $icon_offset, after the padding)"
} | tee "$work/results.txt"
