#!/usr/bin/env bash
# The desktop mail list of one folder of N mails (default 10,000): the time from
# selecting the folder to "メールの一覧を読み込みました。", offscreen, as the
# median of several runs (default 3). The data file is written once by
# tidewell-mkpst and kept in bench/cache/.
#   bench/mail-list-bench.sh [RUNS] [MAILS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TIDEWELL_BUILD_DIR:-$root/build}"
runs="${1:-3}"
mails="${2:-10000}"
cache="$root/bench/cache"
mkdir -p "$cache"
[ -f "$cache/.gitignore" ] || echo '*' > "$cache/.gitignore"
cmake --build "$build" --target tidewell-listbench tidewell-mkpst >/dev/null

pst="$cache/one-folder-$mails.pst"
if [ ! -f "$pst" ]; then
  python3 - "$mails" "$cache/one-folder-$mails.json" <<'PY'
import json, sys
n, out = int(sys.argv[1]), sys.argv[2]
mails = [{
    "subject": f"打ち合わせの件 その{i}" if i % 2 else f"Weekly report {i}",
    "from": {"name": f"山田 太郎{i % 37}", "address": f"taro{i % 37}@example.jp"},
    "to": [{"name": "鈴木 花子", "address": "hanako@example.jp"}],
    "sent": f"2024-{1 + i % 12:02d}-{1 + i % 28:02d}T09:{i % 60:02d}:00Z",
    "received": f"2024-{1 + i % 12:02d}-{1 + i % 28:02d}T09:{i % 60:02d}:30Z",
    "body": f"本文 {i}\r\nよろしくお願いします。",
} for i in range(n)]
json.dump({"store": "ベンチマーク", "folders": [{"name": "受信トレイ", "class": "IPF.Note", "mails": mails}]},
          open(out, "w"), ensure_ascii=False)
PY
  "$build/bin/tidewell-mkpst" "$cache/one-folder-$mails.json" "$pst"
fi

times=()
for _ in $(seq "$runs"); do
  line="$(QT_QPA_PLATFORM=offscreen "$build/bin/tidewell-listbench" "$pst" '\ベンチマーク\受信トレイ' 2>/dev/null)"
  echo "$line"
  times+=("${line%% ms*}")
done
median="$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")"
echo "mail list of $mails mails: median $median ms over $runs runs (goal: at most 2000 ms)"
