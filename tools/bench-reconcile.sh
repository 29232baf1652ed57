#!/usr/bin/env bash
# Reconciliation of large update lists (10,000 to 100,000 entries with a state file as large)
# on real files under the test bed: the cost per entry of each step, beside the straightforward
# algorithm on the smaller sizes, whose results must be the same. Prints figures; not a test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/testbed.sh"
build=$(testbed_dir)
testbed_bench "$build" reconcile_bench
build=$(testbed_run_dir "$build")

wine "$build/bench/reconcile_bench.exe"
