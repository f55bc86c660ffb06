#!/usr/bin/env python3
"""Measures what the service pack adds to the patch it carries, each figure beside
its floor, in one run: the stub's size, its own run time under Wine, the time to
extract a 64 MiB package, and the memory that package costs.

  measure.py <bench build tree>
"""

import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

root = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(root / "tests" / "e2e"))
import bench  # noqa: E402
import prefixes  # noqa: E402

OVERHEAD_RUNS = 10
EXTRACT_RUNS = 5


def timed(case, program, arguments):
    """Seconds of one run of a program on drive C, started by wine directly."""
    started = time.monotonic()
    subprocess.run(["wine", program] + arguments, cwd=case.drive_c,
                   env=bench.wine_environment(case.prefix), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=600, check=False)
    return time.monotonic() - started


def peak_rss_kib(case, program, arguments):
    """Peak resident memory of one run, as the kernel counts it for the process."""
    result = subprocess.run(["/usr/bin/time", "-f", "%M", "wine", program] + arguments,
                            cwd=case.drive_c, env=bench.wine_environment(case.prefix),
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=600,
                            check=False)
    return int(result.stderr.decode().strip().splitlines()[-1])


def alternate(runs, *measures):
    """Runs each measure in turn, `runs` times, so that drift hits all alike."""
    samples = [[] for _ in measures]
    for _ in range(runs):
        for i, measure in enumerate(measures):
            samples[i].append(measure())
    return samples


def show(title, ours, floor, unit, ratio, target):
    print(f"{title}\n  service pack: median {statistics.median(ours):.3f} {unit} "
          f"({', '.join(f'{s:.3f}' for s in ours)})\n  floor:        median "
          f"{statistics.median(floor):.3f} {unit} ({', '.join(f'{s:.3f}' for s in floor)})\n"
          f"  ratio {ratio:.3f} (target {target})\n", flush=True)


def main():
    build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else root / "build" / "bench").resolve()
    os.environ["SP_BUILD_DIR"] = str(build)
    sample = (root / "resources" / "sample" / "sample.msp").stat().st_size
    large = (build / "samples" / "large.msp").stat().st_size

    stub = (build / "servicepack.exe").stat().st_size - sample
    floor = (build / "bench" / "floor_containers.exe").stat().st_size
    print(f"Stub size\n  servicepack.exe {stub + sample} bytes - package {sample} bytes = stub "
          f"{stub} bytes\n  container floor {floor} bytes; stub - floor = {stub - floor} bytes "
          f"({(stub - floor) / 1024:.1f} KiB, target at most 48 KiB)\n  ratio stub / floor "
          f"{stub / floor:.3f}\n", flush=True)

    work = pathlib.Path(tempfile.mkdtemp(prefix="spbench-", dir=build))
    try:
        prefixes.build_none(work, build / "tools")
        case = bench.Case(work / "none", workdir=work)
        for name in ("servicepack.exe", "servicepack-large.exe"):
            case.put(build / name, f"C:\\sp\\{name}")
        for name in ("floor_overhead.exe", "floor_extract.exe", "floor_extract_durable.exe"):
            case.put(build / "bench" / name, f"C:\\floor\\{name}")
        case.put(build / "samples" / "sample.msp", "C:\\floor\\sample.msp")
        case.host("C:\\out").mkdir()

        # Warm the prefix and the emulator's caches for both programs.
        timed(case, "C:\\sp\\servicepack.exe", ["/q"])
        timed(case, "C:\\floor\\floor_overhead.exe", ["C:\\floor\\sample.msp"])
        ours, floor_runs = alternate(
            OVERHEAD_RUNS, lambda: timed(case, "C:\\sp\\servicepack.exe", ["/q"]),
            lambda: timed(case, "C:\\floor\\floor_overhead.exe", ["C:\\floor\\sample.msp"]))
        show("Own overhead: '/q' with no targeted product installed, one warm prefix",
             ours, floor_runs, "s", statistics.median(ours) / statistics.median(floor_runs),
             "at most 1.15")

        timed(case, "C:\\sp\\servicepack-large.exe", ["/e", "C:\\out\\sp.msp"])
        timed(case, "C:\\floor\\floor_extract.exe", ["C:\\out\\floor.msp"])
        ours, floor_runs, durable = alternate(
            EXTRACT_RUNS,
            lambda: timed(case, "C:\\sp\\servicepack-large.exe", ["/e", "C:\\out\\sp.msp"]),
            lambda: timed(case, "C:\\floor\\floor_extract.exe", ["C:\\out\\floor.msp"]),
            lambda: timed(case, "C:\\floor\\floor_extract_durable.exe", ["C:\\out\\d.msp"]))
        if case.host("C:\\out\\sp.msp").read_bytes() != (build / "samples" / "large.msp").read_bytes():
            raise SystemExit("the extracted package differs from the one built in")
        copies = []
        for _ in range(EXTRACT_RUNS):
            started = time.monotonic()
            shutil.copyfile(build / "samples" / "large.msp", work / "copy.msp")
            copies.append(time.monotonic() - started)
        mib = large / 2**20
        show(f"Extraction: '/e' of a {mib:.1f} MiB package (throughput = size / time)",
             ours, floor_runs, "s", statistics.median(floor_runs) / statistics.median(ours),
             "at least 0.9")
        print(f"  throughput: service pack {mib / statistics.median(ours):.0f} MiB/s, floor "
              f"{mib / statistics.median(floor_runs):.0f} MiB/s, cp of the file "
              f"{mib / statistics.median(copies):.0f} MiB/s (median {statistics.median(copies):.3f} s)")
        print(f"  floor with the same guarantees (argument split by CommandLineToArgvW, written "
              f"beside the target, flushed, moved over it): median "
              f"{statistics.median(durable):.3f} s, ratio "
              f"{statistics.median(durable) / statistics.median(ours):.3f}\n", flush=True)

        small, big = alternate(
            3, lambda: peak_rss_kib(case, "C:\\sp\\servicepack.exe", ["/e", "C:\\out\\a.msp"]),
            lambda: peak_rss_kib(case, "C:\\sp\\servicepack-large.exe", ["/e", "C:\\out\\b.msp"]))
        payload = (statistics.median(big) - statistics.median(small)) / 1024
        print(f"Payload memory: peak RSS of '/e', {mib:.1f} MiB package minus sample package\n"
              f"  sample {statistics.median(small)} KiB {small}, large {statistics.median(big)} KiB "
              f"{big}\n  difference {payload:.1f} MiB for a {mib:.1f} MiB package "
              f"(target at most package + 8 MiB = {mib + 8:.1f} MiB)\n", flush=True)
        case.close()
    finally:
        bench.stop_wineserver(work / "none", kill=True)
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
