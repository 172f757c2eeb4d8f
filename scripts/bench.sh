#!/usr/bin/env bash
# The apply benchmark: the POSIX release build of ulvupdate against tar -xf
# and cp -r, on two workloads made with ulvpack in a scratch folder on this
# file system: many small files (2,000 files of 32 KiB, one piece each) and
# one large file (256 MiB in 1 MiB pieces), each also as an uncompressed tar
# and as a plain tree. Every program runs BENCH_RUNS times (default 5;
# BENCH_PRODUCT_RUNS, default 3, for the product on the small workload, whose
# pauses alone take 200 s a run), interleaved, each after a sync, once with
# the page cache dropped (every run reads its input from the disk) and once
# with a warm cache (BENCH_CACHES, default "dropped warm"): on a virtual
# machine, runs on a warm cache vary several-fold. The tables give the median
# wall time, the spread (min to max), the ratios to tar and cp, MB/s and the
# peak resident memory.
#
# The packages are protected (integrity fields of version 3, checked by the
# updater, which reads a protected package whole before it writes anything,
# and then again as it writes); the same workload as a classic package, read
# once, shows what the checks and the second reading cost.
#
# Besides the product (ulvupdate -s), measurement builds run: without the
# 100 ms pause after each creation (the file work alone, every target and
# folder flushed to disk as shipped), the same without any flush (their
# difference is what durability costs, given per target and as a share of the
# 100 ms pause that each target costs anyway), and the same built with a key,
# applying the package signed (what checking a signature costs: the SHA-256
# is taken in the reading that checks the package whole). On POSIX, where no
# lock holds the package, a signed update installs from a private copy of the
# bytes it checked; a variant installing from the package itself, as the
# Windows updater does under its lock, says what that copy costs.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/setup.sh
ensure_build_tools
ensure_packages time tar openssl
key=$PWD/build/bench-key
if [ ! -f "$key/bench.pub" ]; then
    mkdir -p "$key"
    openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$key/bench.key" 2>/dev/null
    openssl pkey -in "$key/bench.key" -pubout -out "$key/bench.pub"
fi
build_preset posix-release -DULV_BENCH_PACKAGE_KEY="$key/bench.pub" >/dev/null

runs=${BENCH_RUNS:-5}
product_runs=${BENCH_PRODUCT_RUNS:-3}
small_count=${BENCH_SMALL_COUNT:-2000}   # smaller values for a quick trial of the script
large_mib=${BENCH_LARGE_MIB:-256}
bin=$PWD/build/posix-release
work=$PWD/build/bench-work
rm -rf "$work"
mkdir -p "$work"
trap '[ -n "${BENCH_KEEP:-}" ] || rm -rf "$work"' EXIT

make_workload() {  # name, then the files to make: "count size"
    local name=$1 count=$2 size=$3 dir="$work/$1/tree/windows/data"
    mkdir -p "$dir"
    if [ "$count" -eq 1 ]; then
        head -c "$size" /dev/urandom >"$dir/large.bin"
    else
        head -c $((count * size)) /dev/urandom | split -b "$size" -a 4 -d - "$dir/f"
    fi
    "$bin/ulvpack" create -o "$work/$name/package.upd" windows="$work/$name/tree/windows" 2>/dev/null
    openssl dgst -sha256 -sign "$key/bench.key" -out "$work/$name/package.upd.sig" "$work/$name/package.upd"
    "$bin/ulvpack" create --plain -o "$work/$name/package-classic.upd" windows="$work/$name/tree/windows" 2>/dev/null
    tar -cf "$work/$name/package.tar" -C "$work/$name/tree/windows" .
    du -sb "$work/$name/tree/windows" | cut -f1 >"$work/$name/bytes"
}

# Runs one program once on a fresh destination, the page cache dropped or
# warm; appends "seconds peak_kib".
measure() {
    local name=$1 program=$2 cache=$3 dest="$work/$1/dest" start end
    rm -rf "$dest"
    mkdir -p "$dest/windows/data" "$dest/windows/system32"
    case $program in
        ulvupdate_no_pause_classic)
                    ln "$work/$name/package-classic.upd" "$dest/package.upd"
                    set -- env WINDIR="$dest/windows" "$bin/ulvupdate_no_pause" -s "$dest/package.upd" ;;
        ulvupdate_no_pause_signed|ulvupdate_no_pause_no_flush_signed|ulvupdate_no_pause_no_flush_signed_no_copy)
                    ln "$work/$name/package.upd" "$dest/package.upd"
                    ln "$work/$name/package.upd.sig" "$dest/package.upd.sig"
                    set -- env WINDIR="$dest/windows" "$bin/$program" -s "$dest/package.upd" ;;
        ulvupdate*) ln "$work/$name/package.upd" "$dest/package.upd"
                    set -- env WINDIR="$dest/windows" "$bin/$program" -s "$dest/package.upd" ;;
        tar) set -- tar -xf "$work/$name/package.tar" -C "$dest/windows" ;;
        cp) set -- cp -r "$work/$name/tree/windows/data" "$dest/windows/" ;;
    esac
    sync
    if [ "$cache" = dropped ]; then
        [ -w /proc/sys/vm/drop_caches ] && echo 3 >/proc/sys/vm/drop_caches
    else
        cat "$work/$name"/package* >/dev/null
    fi
    start=$(date +%s%N)
    /usr/bin/time -f %M -o "$work/rss" "$@"
    end=$(date +%s%N)
    case $program in
        ulvupdate*) [ ! -e "$dest/package.upd" ] || { echo "$program failed on $name" >&2; exit 1; } ;;
    esac
    echo "$(( (end - start) / 1000 )) $(cat "$work/rss")" >>"$work/$name/$cache-$program.times"
}

programs=${BENCH_PROGRAMS:-ulvupdate ulvupdate_no_pause ulvupdate_no_pause_classic ulvupdate_no_pause_signed ulvupdate_no_pause_no_flush ulvupdate_no_pause_no_flush_signed ulvupdate_no_pause_no_flush_signed_no_copy tar cp}
workloads=${BENCH_WORKLOADS:-small large}
caches=${BENCH_CACHES:-dropped warm}
echo "Making the workloads in $work ..."
[[ " $workloads " != *" small "* ]] || make_workload small "$small_count" 32768
[[ " $workloads " != *" large "* ]] || make_workload large 1 $((large_mib * 1024 * 1024))
for cache in $caches; do
    for name in $workloads; do
        for run in $(seq "$runs"); do
            for program in $programs; do
                [ "$name/$program" != small/ulvupdate ] || [ "$run" -le "$product_runs" ] || continue
                echo "  $name, cache $cache, run $run/$runs: $program" >&2
                measure "$name" "$program" "$cache"
            done
        done
    done
done

# For each workload of the current cache: "WHAT, workload: LABEL s, OTHER_LABEL s: +N%", the medians of
# PROGRAM and OTHER.
compare_with() {  # WHAT PROGRAM LABEL OTHER OTHER_LABEL
    local name measured other
    for name in $workloads; do
        [ -f "$work/$name/$cache-$2.times" ] && [ -f "$work/$name/$cache-$4.times" ] || continue
        read -r measured _ < <(stats "$work/$name/$cache-$2.times")
        read -r other _ < <(stats "$work/$name/$cache-$4.times")
        awk -v w="$1" -v n="$name" -v l="$3" -v m="$measured" -v o="$5" -v b="$other" 'BEGIN {
            printf "%s, %s: %s %.3f s, %s %.3f s: %+.1f%%\n", w, n, l, m/1e6, o, b/1e6, (m/b - 1) * 100 }'
    done
}

# median, min, max of the first column (microseconds), and max of the second.
stats() { sort -n "$1" | awk '{t[NR]=$1; if ($2>m) m=$2} END {printf "%d %d %d %d\n", t[int((NR+1)/2)], t[1], t[NR], m}'; }

for cache in $caches; do
echo
how="page cache dropped before each run"
[ "$cache" = warm ] && how="page cache warm (the inputs read just before each run)"
[ "$cache" = warm ] || [ -w /proc/sys/vm/drop_caches ] || how="page cache NOT dropped (needs root): expect noise"
echo "Apply benchmark on $(nproc) cores; $runs runs each ($product_runs for ulvupdate -s on small); $how"
echo "$(uname -sr); $(df -T "$work" | awk 'NR==2 {print $2}') file system"
printf '%-8s %-40s %10s %21s %7s %7s %9s %10s\n' workload program "median s" "spread s" "x tar" "x cp" "MB/s" "peak RSS"
for name in $workloads; do
    read -r tar_median _ < <(stats "$work/$name/$cache-tar.times" 2>/dev/null || echo 0)
    read -r cp_median _ < <(stats "$work/$name/$cache-cp.times" 2>/dev/null || echo 0)
    bytes=$(cat "$work/$name/bytes")
    for program in $programs; do
        [ -f "$work/$name/$cache-$program.times" ] || continue
        read -r median low high rss < <(stats "$work/$name/$cache-$program.times")
        label=$program
        case $program in
            ulvupdate) label="ulvupdate -s" ;;
            ulvupdate_no_pause) label="ulvupdate, no pauses" ;;
            ulvupdate_no_pause_classic) label="ulvupdate, no pauses, classic" ;;
            ulvupdate_no_pause_signed) label="ulvupdate, no pauses, signed" ;;
            ulvupdate_no_pause_no_flush) label="ulvupdate, no pauses, no flush" ;;
            ulvupdate_no_pause_no_flush_signed) label="ulvupdate, no pauses, no flush, signed" ;;
            ulvupdate_no_pause_no_flush_signed_no_copy) label="... signed, from the package (no copy)" ;;
            tar) label="tar -xf" ;;
            cp) label="cp -r" ;;
        esac
        awk -v n="$name" -v l="$label" -v m="$median" -v lo="$low" -v hi="$high" -v t="$tar_median" \
            -v c="$cp_median" -v b="$bytes" -v r="$rss" 'BEGIN {
            printf "%-8s %-40s %10.3f %10.3f - %-8.3f %7s %7s %9.1f %7.1f MiB\n", n, l, m/1e6, lo/1e6, hi/1e6,
                   t ? sprintf("%.2f", m/t) : "-", c ? sprintf("%.2f", m/c) : "-", b/(m/1e6)/1e6, r/1024 }'
    done
done
echo
for name in $workloads; do
    [ -f "$work/$name/$cache-ulvupdate_no_pause.times" ] && [ -f "$work/$name/$cache-ulvupdate_no_pause_no_flush.times" ] || continue
    read -r flushed _ < <(stats "$work/$name/$cache-ulvupdate_no_pause.times")
    read -r unflushed _ < <(stats "$work/$name/$cache-ulvupdate_no_pause_no_flush.times")
    targets=1
    [ "$name" = small ] && targets=$small_count
    awk -v n="$name" -v f="$flushed" -v u="$unflushed" -v t="$targets" 'BEGIN {
        per = (f - u) / t / 1000
        printf "Flushing, %s: %.3f s in all, %.3f ms per target = %.1f%% of the 100 ms pause after each creation\n",
               n, (f - u) / 1e6, per, per / 100 * 100 }'
done
compare_with "Protection" ulvupdate_no_pause "protected package (read whole first)" ulvupdate_no_pause_classic classic
compare_with "Signing" ulvupdate_no_pause_signed "signed package" ulvupdate_no_pause unsigned
compare_with "Copy (POSIX)" ulvupdate_no_pause_no_flush_signed "signed, from a copy" \
             ulvupdate_no_pause_no_flush_signed_no_copy "signed, from the package"
compare_with "Against tar" ulvupdate_no_pause_no_flush "protected, no flush" tar "tar -xf"
compare_with "Against tar" ulvupdate_no_pause_no_flush_signed "signed, no flush" tar "tar -xf"
done
echo "Targets: ulvupdate without flushes (a protected package, read twice), at most 1.00x tar -xf, which"
echo "flushes nothing; peak RSS at most the largest record (1 MiB piece and its header) plus 2 MiB = 3.0 MiB (the signed"
echo "builds carry OpenSSL's libcrypto, which takes about 1.3 MiB more)."
echo "ulvupdate -s sleeps 100 ms after creating each target, as it must (a held file gets time to be let go):"
echo "$small_count small targets cost $((small_count / 10)) s of pauses alone. The no-pause rows are the same file work without them."
