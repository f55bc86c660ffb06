#!/usr/bin/env python3
"""Applies the sample service pack to the sample products under Wine and shows what
happened: the message boxes, each product's version before and after, and the logs."""

import json
import pathlib
import shutil
import sys

root = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(root / "tests" / "e2e"))
import bench  # noqa: E402
import prefixes  # noqa: E402


def main():
    build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else root / "build" / "windows-tests").resolve()
    samples = json.loads((build / "samples" / "samples.json").read_text())
    products = {p["key"]: p for p in samples["products"]}
    work = build / "demo"
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)

    print("Making a Wine prefix with the four sample products installed ...", flush=True)
    prefixes.build_none(work, build / "tools")
    base = prefixes.build_with_products(work, "all", list(products), products)

    bench.os.environ["SP_BUILD_DIR"] = str(build)
    case = bench.Case(base, workdir=work)
    codes = [p["code"] for p in products.values()]
    before = case.products(codes)
    print("Running servicepack.exe (no options) ...", flush=True)
    result = case.servicepack(timeout=600)
    after = case.products(codes)

    print(f"\nExit code: {result.exit_code}\n\nMessage boxes, in order:")
    for box in result.boxes:
        print(f"  [{box.caption}] (style {box.style:#x})\n    " + box.text.replace("\n", "\n    "))
    print("\nProducts (VersionString before -> after):")
    for key, product in products.items():
        print(f"  {product['name']:<26} {before[product['code']][1]:>10} -> "
              f"{after[product['code']][1]}")
    print("\nWindows Installer logs:")
    for call in result.installer_calls("MsiEnableLogW"):
        path = call.args[1].text
        host = case.host(path)
        size = host.stat().st_size if host.exists() else 0
        print(f"  {path}  ({size} bytes)\n    on this machine: {host}")
    print(f"\nThe prefix stays in {case.prefix} (WINEPREFIX) for a closer look.")
    bench.stop_wineserver(case.prefix, kill=True)
    return 0 if result.exit_code is not None else 1


if __name__ == "__main__":
    sys.exit(main())
