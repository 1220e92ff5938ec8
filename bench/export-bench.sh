#!/usr/bin/env bash
# Exports the sample data file side by side with tidewell-export, readpst and
# pffexport, and prints mails per second and peak memory for each, as medians of
# several runs (default 5; the first argument changes it). Each tool's mail count
# is what it wrote: .eml files for tidewell-export and readpst, Message
# directories for pffexport.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${TIDEWELL_BUILD_DIR:-$root/build}/bin"
sample="${TIDEWELL_BENCH_PST:-$root/data/enron.pst}"
runs="${1:-5}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

[ -x "$bin/tidewell-export" ] || { echo "build first: $bin/tidewell-export is missing" >&2; exit 2; }
[ -f "$sample" ] || { echo "sample data missing: run tools/fetch-sample-data.sh" >&2; exit 2; }
command -v /usr/bin/time >/dev/null || { echo "/usr/bin/time is missing (Debian package time)" >&2; exit 2; }

# run <name> <count-command> <command...>: one timed run into a fresh folder.
run() {
  local name="$1" count="$2"
  shift 2
  local out="$work/$name"
  rm -rf "$out" && mkdir -p "$out"
  (cd "$out" && python3 "$work/timeit.py" "$work/time" "$@" >/dev/null 2>"$work/stderr") || {
    echo "$name failed:" >&2
    cat "$work/stderr" >&2
    exit 1
  }
  local mails
  mails=$(cd "$out" && eval "$count")
  read -r seconds kib <"$work/time"
  echo "$name $mails $seconds $kib" >>"$work/results"
}

# timeit.py <result-file> <command...>: runs the command under /usr/bin/time,
# which reports the peak resident memory in KiB, and writes that with the wall
# time in seconds, measured more finely than /usr/bin/time's hundredths.
cat >"$work/timeit.py" <<'PY'
import os, subprocess, sys, time
memory = sys.argv[1] + ".kib"
start = time.perf_counter()
code = subprocess.call(["/usr/bin/time", "-f", "%M", "-o", memory] + sys.argv[2:])
seconds = time.perf_counter() - start
with open(memory) as f:
    kib = f.read().split()[-1]
os.remove(memory)
with open(sys.argv[1], "w") as f:
    f.write(f"{seconds:.4f} {kib}\n")
sys.exit(code)
PY

: >"$work/results"
for _ in $(seq "$runs"); do
  run tidewell-export "find . -name '*.eml' | wc -l" \
    "$bin/tidewell-export" --store "$sample" --type eml-attachments --name subject --out "$work/tidewell-export/out"
  run readpst "find . -name '*.eml' | wc -l" \
    readpst -e -j 0 -q -o . "$sample"
  run pffexport "find . -type d -name 'Message*' | wc -l" \
    pffexport -q -t export "$sample"
done

python3 - "$work/results" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    name, mails, seconds, kib = line.split()
    rows.setdefault(name, []).append((int(mails), float(seconds), int(kib)))
print(f"{'tool':<16}{'mails':>7}{'runs':>6}{'median s':>10}{'mails/s':>10}{'peak MiB':>10}")
for name, values in rows.items():
    mails = values[0][0]
    seconds = statistics.median(v[1] for v in values)
    peak = statistics.median(v[2] for v in values) / 1024
    rate = mails / seconds if seconds > 0 else float("inf")
    print(f"{name:<16}{mails:>7}{len(values):>6}{seconds:>10.3f}{rate:>10.0f}{peak:>10.1f}")
PY
