#!/usr/bin/env python3
"""Builds the base WINEPREFIXes that the end-to-end tests copy, once per test run.

  none        a fresh 32-bit prefix with the bench's tools on drive C
  candidates  the sample products at the version the patch is made for
  uptodate    only a sample product already at the upgrade version
  all         every sample product

Each base has relay tracing set up for the functions the bench records, no Z:
drive (so a stray path stays on drive C), and a bench.json that says what the
program's temporary directory is and which products are installed.
"""

import argparse
import concurrent.futures
import json
import pathlib
import shutil
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import bench  # noqa: E402

PRODUCT_SETS = {
    "candidates": ["en", "de"],
    "uptodate": ["fr"],
    "all": ["en", "de", "fr", "legacy"],
}
TOOLS = ["spexit", "sphold", "spprobe", "msptool", "spswap", "spunseen"]


def build_none(out, tools_dir):
    prefix = out / "none"
    shutil.rmtree(prefix, ignore_errors=True)
    bench.run_wine(prefix, ["wineboot", "-i"], timeout=600)
    bench.stop_wineserver(prefix)
    bench.run_wine(prefix, ["reg", "add", "HKCU\\Software\\Wine\\Debug", "/v", "RelayInclude",
                            "/t", "REG_SZ", "/d", ";".join(bench.RELAY_FUNCTIONS), "/f"])
    temp = bench.run_wine(prefix, ["cmd", "/c", "echo %TMP%"]).stdout.decode().strip()
    bench.stop_wineserver(prefix)
    tools = prefix / "drive_c" / "bench"
    tools.mkdir(parents=True, exist_ok=True)
    for tool in TOOLS:
        source = tools_dir / f"{tool}.exe"
        if source.exists():
            shutil.copyfile(source, tools / source.name)
    (prefix / "dosdevices" / "z:").unlink(missing_ok=True)
    (prefix / "bench.json").write_text(json.dumps({"temp": temp.rstrip("\\"), "products": []}))
    return prefix


def build_with_products(out, name, keys, products):
    prefix = out / name
    shutil.rmtree(prefix, ignore_errors=True)
    subprocess.run(["cp", "-a", str(out / "none"), str(prefix)], check=True)
    samples = prefix / "drive_c" / "samples"
    samples.mkdir(exist_ok=True)
    for key in keys:
        msi = pathlib.Path(products[key]["msi"])
        shutil.copyfile(msi, samples / msi.name)
        result = bench.run_wine(prefix, ["msiexec", "/i", f"C:\\samples\\{msi.name}", "/qn"],
                                timeout=600)
        if result.returncode != 0:
            raise RuntimeError(f"installing {msi.name} into {name} failed: {result.returncode}")
    bench.stop_wineserver(prefix)
    info = json.loads((prefix / "bench.json").read_text())
    info["products"] = keys
    (prefix / "bench.json").write_text(json.dumps(info))
    return prefix


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--tools", required=True, type=pathlib.Path)
    parser.add_argument("--samples", required=True, type=pathlib.Path)
    parser.add_argument("--out", required=True, type=pathlib.Path)
    args = parser.parse_args()
    args.out.mkdir(parents=True, exist_ok=True)

    build_none(args.out, args.tools)
    catalogue = json.loads((args.samples / "samples.json").read_text())
    products = {p["key"]: p for p in catalogue["products"]}
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        jobs = [pool.submit(build_with_products, args.out, name, keys, products)
                for name, keys in PRODUCT_SETS.items()]
        for job in jobs:
            print("built", job.result())
    return 0


if __name__ == "__main__":
    sys.exit(main())
