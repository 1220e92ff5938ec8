#!/usr/bin/env bash
# From a fresh Debian 12 machine: installs the dependencies, fetches the sample
# data, builds everything and runs the main job on the sample data file.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/tools/install-deps.sh"
bash "$root/tools/fetch-sample-data.sh"
bash "$root/tools/build.sh"
bash "$root/tools/main-job.sh"
