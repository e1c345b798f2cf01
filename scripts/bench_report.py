#!/usr/bin/env python3
"""Runs the benchmarks of a release build and prints one table of figures against their goals.

usage: bench_report.py BUILD_DIR
"""
import json
import os
import subprocess
import sys
import time

build = sys.argv[1] if len(sys.argv) > 1 else "build/bench"
program = os.path.join(build, "app", "rirud-uvariza")
rows = []


def run_bench(binary, *extra):
    path = os.path.join(build, "bench", binary)
    out = subprocess.run([path, "--benchmark_format=json", *extra], check=True,
                         capture_output=True, text=True).stdout
    # Names carry their settings ("BM_X/min_time:2.000/real_time"); the part before "/" names them.
    return {b["name"].split("/")[0]: b for b in json.loads(out)["benchmarks"]}


def row(figure, value, goal, ok, command):
    rows.append((figure, value, goal, "yes" if ok else "NO", command))


def exchange():
    b = run_bench("hid/hid_bench")
    for name, label in (("BM_CommandWithAcknowledgement", "exchange, acknowledgement only"),
                        ("BM_QueryWithResponse", "exchange, query with response")):
        r = b[name]
        ms = r["real_time"] if r["time_unit"] == "ms" else r["real_time"] / 1000.0
        over = (ms - 7.0) / 7.0 * 100.0
        cpu = r["cpu_time"] if r["time_unit"] == "ms" else r["cpu_time"] / 1000.0
        row(label, f"{ms:.3f} ms ({over:+.1f} % over 7 ms floor; CPU {cpu * 1000:.0f} us)",
            "within 3 % of 7 ms", over <= 3.0, "build/bench/bench/hid/hid_bench")


def transfer():
    b = run_bench("engine/engine_transfer_bench", "--benchmark_filter=BM_TransferWholeImage")
    r = b["BM_TransferWholeImage"]
    ratio = r["ratio_to_floor"]
    row("575-block transfer", f"{r['real_time']:.0f} ms, {ratio:.4f} x floor (2000 + 575 x 7 ms)",
        "at most 1.03 x floor", ratio <= 1.03, "build/bench/bench/engine/engine_transfer_bench")


def image_and_text():
    b = run_bench("image/image_bench")
    r = next(iter(b.values()))
    us = r["real_time"] if r["time_unit"] == "us" else r["real_time"] / 1000.0
    row("image build, largest resource (0x8000)", f"{us:.0f} us", "(no goal)", True,
        "build/bench/bench/image/image_bench")
    b = run_bench("localization/localization_bench")
    worst = max(v["real_time"] for v in b.values())
    row("one TranslateText lookup", f"{worst:.0f} ns (slowest case)", "(no goal)", True,
        "build/bench/bench/localization/localization_bench")


def paint():
    b = run_bench("paint/paint_bench")
    r = b["BM_PaintOfferScreen"]
    us = r["real_time"] if r["time_unit"] == "us" else r["real_time"] / 1000.0
    row("full paint of the offer screen", f"{us:.0f} us", "under 2000 us", us < 2000,
        "build/bench/bench/paint/paint_bench")


def startup():
    # No --simulate: the real backend finds no device here, so the first screen is "not found".
    times = []
    for _ in range(5):
        start = time.monotonic()
        p = subprocess.Popen([program, "--headless"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        p.stdout.readline()
        times.append((time.monotonic() - start) * 1000.0)
        p.kill()
        p.wait()
    best = min(times)
    row("start-up to first screen (no device, headless)", f"{best:.0f} ms (best of 5; median {sorted(times)[2]:.0f})",
        "under 150 ms", best < 150, f"{program} --headless")


def peak_memory():
    p = subprocess.Popen([program, "--simulate=keyboard,restart-ms=500", "--headless", "--yes"],
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(p.pid, 0)
    mb = usage.ru_maxrss / 1024.0
    row("peak memory, whole simulated upgrade", f"{mb:.1f} MB (exit {os.waitstatus_to_exitcode(status)})",
        "under 40 MB", mb < 40, f"{program} --simulate --headless --yes")


for step in (exchange, transfer, image_and_text, paint, startup, peak_memory):
    try:
        step()
    except Exception as error:  # one broken benchmark must not hide the others
        rows.append((step.__name__, f"failed: {error}", "", "NO", ""))

widths = [max(len(r[i]) for r in rows + [("figure", "measured", "goal", "met", "command")]) for i in range(5)]
header = ("figure", "measured", "goal", "met", "command")
print(" | ".join(h.ljust(w) for h, w in zip(header, widths)))
print("-|-".join("-" * w for w in widths))
for r in rows:
    print(" | ".join(c.ljust(w) for c, w in zip(r, widths)))
