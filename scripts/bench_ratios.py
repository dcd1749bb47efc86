#!/usr/bin/env python3
"""Prints benchmark ratios against their anchors from one Google Benchmark JSON report.

Pairs, all measured in the same run:
  BM_FftForwardReal/N, BM_FftForwardRealScaled/N  ÷  BM_FftwR2C/N   (reference FFT library)
  BM_<name>1MiB                                   ÷  BM_Memcpy1MiB  (memcpy of the same bytes)
  BM_ScopeFrame<kind>, BM_Waterfall<kind>        ÷  BM_AnchorPolyline1024 (one QPainter polyline)
Uses the median of the repetitions when the report has aggregates, else the single run.
"""
import json
import re
import sys


def load_times(path):
    with open(path) as f:
        report = json.load(f)
    times = {}
    has_aggregates = any(b.get("run_type") == "aggregate" for b in report["benchmarks"])
    for bench in report["benchmarks"]:
        if has_aggregates:
            if bench.get("aggregate_name") != "median":
                continue
            name = bench["run_name"]
        else:
            name = bench["name"]
        times[name] = bench["real_time"] * {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[bench["time_unit"]]
    return report.get("context", {}), times


def main():
    context, times = load_times(sys.argv[1])
    print()
    print(f"host: {context.get('host_name', '?')}, {context.get('num_cpus', '?')} cpus, "
          f"{context.get('mhz_per_cpu', '?')} MHz")
    rows = []
    for name, t in sorted(times.items()):
        m = re.fullmatch(r"BM_(FftForwardReal|FftForwardRealScaled)/(\d+)", name)
        if m:
            anchor = f"BM_FftwR2C/{m.group(2)}"
            if anchor in times:
                rows.append((name, t, anchor, times[anchor]))
            continue
        if name.startswith(("BM_ScopeFrame", "BM_Waterfall")) and "BM_AnchorPolyline1024" in times:
            rows.append((name, t, "BM_AnchorPolyline1024", times["BM_AnchorPolyline1024"]))
            continue
        m = re.fullmatch(r"BM_(\w+)1MiB", name)
        if m and name != "BM_Memcpy1MiB" and "BM_Memcpy1MiB" in times:
            rows.append((name, t, "BM_Memcpy1MiB", times["BM_Memcpy1MiB"]))
    if not rows:
        print("no benchmark pairs found")
        return 1
    print(f"{'benchmark':36} {'ns':>12}  {'anchor':24} {'ns':>12}  ratio")
    for name, t, anchor, ta in rows:
        print(f"{name:36} {t:12.1f}  {anchor:24} {ta:12.1f}  {t / ta:5.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
