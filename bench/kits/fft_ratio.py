#!/usr/bin/env python3
"""Runs the spectral benchmark and prints our time over FFTW's for each transform and size.

Usage: bench/kits/fft_ratio.py build/<dir>/bench/kits_spectral_bench [extra benchmark flags]
"""
import json
import subprocess
import sys

binary = sys.argv[1]
result = subprocess.run(
    [binary, "--benchmark_format=json", "--benchmark_repetitions=5",
     "--benchmark_report_aggregates_only=true", *sys.argv[2:]],
    check=True, capture_output=True, text=True)
medians = {}
for entry in json.loads(result.stdout)["benchmarks"]:
    if entry.get("aggregate_name") == "median":
        medians[entry["run_name"]] = entry["cpu_time"]

print(f"{'transform':<10}{'size':>6}{'ours ns':>12}{'fftwf ns':>12}{'ratio':>8}")
for ours, theirs in (("BM_cfft", "BM_fftwf_c2c"), ("BM_rfft", "BM_fftwf_r2c")):
    for size in (256, 1024, 4096):
        mine = medians[f"{ours}/{size}"]
        fftw = medians[f"{theirs}/{size}"]
        print(f"{ours[3:]:<10}{size:>6}{mine:>12.0f}{fftw:>12.0f}{mine / fftw:>8.2f}")
