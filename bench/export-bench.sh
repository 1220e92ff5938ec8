#!/usr/bin/env bash
# Exports data files side by side with tidewell-export, readpst and pffexport and
# prints, per file and tool, the median CPU seconds (user + system), wall seconds
# and peak resident memory, with tidewell-export's ratios to readpst.
#
#   bench/export-bench.sh [RUNS]           RUNS timed runs per tool and file (default 3)
#
# The files: the sample (data/enron.pst) and, from bench/cache/, generated files
# of 10,000 and 100,000 Japanese mails with 8 KB attachments and one mail with a
# 64 MB attachment. They are made with tidewell-mkpst when TIDEWELL_MKPST names
# it and they are missing; TIDEWELL_BENCH_FILES (space-separated) replaces the
# list. TIDEWELL_BENCH_TYPE picks the export type (default eml-attachments); for
# msg, readpst runs with -m. Runs alternate between the tools, so that a change
# in the machine's load falls on all of them; run it when the machine is idle.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${TIDEWELL_BUILD_DIR:-$root/build}/bin"
cache="$root/bench/cache"
runs="${1:-3}"
type="${TIDEWELL_BENCH_TYPE:-eml-attachments}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

[ -x "$bin/tidewell-export" ] || { echo "build first: $bin/tidewell-export is missing" >&2; exit 2; }
command -v /usr/bin/time >/dev/null || { echo "/usr/bin/time is missing (Debian package time)" >&2; exit 2; }

# make <file> <mkpst arguments...>: a generated file, made when missing.
make_file() {
  local file="$1"
  shift
  [ -f "$file" ] && return 0
  [ -n "${TIDEWELL_MKPST:-}" ] || { echo "missing $file: set TIDEWELL_MKPST to tidewell-mkpst" >&2; return 1; }
  mkdir -p "$cache"
  [ -f "$cache/.gitignore" ] || echo "*" >"$cache/.gitignore"
  "$TIDEWELL_MKPST" "$@" "$file.part" >&2 && mv "$file.part" "$file"
}

if [ -n "${TIDEWELL_BENCH_FILES:-}" ]; then
  read -r -a files <<<"$TIDEWELL_BENCH_FILES"
else
  files=("$root/data/enron.pst")
  make_file "$cache/synthetic-10000-8kb-ja.pst" --synthetic 10000 --attachment-kb 8 --japanese &&
    files+=("$cache/synthetic-10000-8kb-ja.pst")
  make_file "$cache/synthetic-100000-8kb-ja.pst" --synthetic 100000 --attachment-kb 8 --japanese &&
    files+=("$cache/synthetic-100000-8kb-ja.pst")
  make_file "$cache/synthetic-1-65536kb.pst" --synthetic 1 --attachment-kb 65536 &&
    files+=("$cache/synthetic-1-65536kb.pst")
fi

# run <file> <tool> <command...>: one timed run in a fresh folder, which is
# removed afterwards, outside the timing.
run() {
  local file="$1" tool="$2"
  shift 2
  local out="$work/out"
  rm -rf "$out" && mkdir -p "$out"
  if ! (cd "$out" && /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null 2>"$work/stderr"); then
    echo "$tool failed on $file:" >&2
    tail -5 "$work/stderr" >&2
    return 1
  fi
  read -r wall user sys kib <"$work/time"
  echo "$(basename "$file") $tool $wall $user $sys $kib" >>"$work/results"
  rm -rf "$out"
}

readpst_args=(-e -j 0 -q -o .)
[ "$type" = msg ] && readpst_args=(-m -j 0 -q -o .)
: >"$work/results"
for file in "${files[@]}"; do
  [ -f "$file" ] || { echo "missing $file" >&2; exit 2; }
  for _ in $(seq "$runs"); do
    run "$file" tidewell-export "$bin/tidewell-export" --store "$file" --type "$type" --name subject --out out
    run "$file" readpst readpst "${readpst_args[@]}" "$file"
    run "$file" pffexport pffexport -q -t export "$file"
  done
done

python3 - "$work/results" "$type" "$runs" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    name, tool, wall, user, sys_, kib = line.split()
    rows.setdefault((name, tool), []).append((float(user) + float(sys_), float(wall), int(kib) / 1024))
print(f"tidewell-export --type {sys.argv[2]} --name subject; medians of {sys.argv[3]} runs")
print(f"{'file':<32}{'tool':<17}{'CPU s':>8}{'wall s':>8}{'peak MB':>9}{'CPU x':>7}{'wall x':>8}{'peak +MB':>9}")
for (name, tool), values in rows.items():
    cpu = statistics.median(v[0] for v in values)
    wall = statistics.median(v[1] for v in values)
    peak = statistics.median(v[2] for v in values)
    line = f"{name:<32}{tool:<17}{cpu:>8.2f}{wall:>8.2f}{peak:>9.1f}"
    if tool == "tidewell-export" and (name, "readpst") in rows:
        ref = rows[(name, "readpst")]
        rcpu = statistics.median(v[0] for v in ref)
        rwall = statistics.median(v[1] for v in ref)
        rpeak = statistics.median(v[2] for v in ref)
        ratio = lambda a, b: f"{a / b:.2f}" if b > 0 else "-"
        line += f"{ratio(cpu, rcpu):>7}{ratio(wall, rwall):>8}{peak - rpeak:>9.1f}"
    print(line)
print("CPU x, wall x: tidewell-export over readpst; peak +MB: tidewell-export's peak less readpst's.")
PY
