#!/usr/bin/env python3
"""Pictures of every box servicepack.exe shows, in each language of its catalogue.

Runs the test build's servicepack.exe under Wine on a virtual display and writes
docs/messages/<LANGID>.png: for each language the boxes 300, 301, 306, 307, 308, 310,
the "List of Products" box (/i) and the help box (/?), each taken as a picture of its
real window. tools/screenshots.sh installs what this needs and builds first.

Messages about a product come in the product's language, so for each language the
script installs throw-away products in that language, built here with wixl. They
carry the product codes of the sample products, since those are what the sample
patch targets. The other boxes follow the user's language, which Wine takes from
LC_ALL.
"""

import argparse
import json
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time
import uuid

root = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(root / "tests" / "e2e"))
sys.path.insert(0, str(root / "tools"))
import bench  # noqa: E402
import prefixes  # noqa: E402
import virtual_display  # noqa: E402

# The catalogue's languages and the locale that makes each one Wine's user language.
LOCALES = {
    1028: "zh_TW", 1029: "cs_CZ", 1031: "de_DE", 1033: "en_US", 1034: "es_ES",
    1036: "fr_FR", 1038: "hu_HU", 1040: "it_IT", 1041: "ja_JP", 1042: "ko_KR",
    1045: "pl_PL", 1046: "pt_BR", 1049: "ru_RU", 2052: "zh_CN",
}

# Fonts that stand in for the Windows UI fonts Wine asks for (all installed by
# screenshots.sh). DejaVu Sans for Tahoma: Wine's own Tahoma draws letters such as the
# Czech "ů" at the boxes' size so that they look like a square. Wine asks for the others
# in East Asian locales, and for East Asian characters that Tahoma lacks.
FONT_REPLACEMENTS = {
    "DejaVu Sans": ["Tahoma"],
    "IPAPGothic": ["MS UI Gothic", "MS PGothic", "MS PMincho", "Meiryo UI", "Yu Gothic UI"],
    "IPAGothic": ["MS Gothic", "MS Mincho"],
    "WenQuanYi Micro Hei": ["SimSun", "NSimSun", "SimHei", "Microsoft YaHei",
                            "Microsoft YaHei UI", "PMingLiU", "MingLiU", "Microsoft JhengHei",
                            "Microsoft JhengHei UI"],
    "NanumGothic": ["Gulim", "GulimChe", "Dotum", "DotumChe", "Batang", "BatangChe",
                    "Malgun Gothic"],
}
# Wine's Marlett draws the caption's close button. Debian's Wine does not look for its
# own fonts in its data folder, so it goes into the prefix's Fonts folder.
MARLETT = pathlib.Path("/usr/share/wine/fonts/marlett.ttf")
LABEL_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"

PRODUCT_WXS = """<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{code}" Name="{name}" Language="{language}" Codepage="1252"
           Version="{version}" Manufacturer="Corvane" UpgradeCode="{upgrade}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="product.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="Corvane Studio {kind}">
          <Component Id="Payload" Guid="{component}">
            <File Id="payload" Name="readme.txt" Source="payload.txt" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Complete" Level="1">
      <ComponentRef Id="Payload"/>
    </Feature>
  </Product>
</Wix>
"""
PRODUCT_NAME = "Corvane Studio"
# Which sample product lends each throw-away product its codes and version.
PRODUCT_KINDS = {"candidate": "en", "current": "fr", "unsupported": "legacy"}

# The boxes of one picture, in its order: label, caption (a catalogue id, or the text
# of the boxes that have one caption in every language).
BOXES = [
    ("300", 311), ("301", 312), ("306", 313), ("307", 311), ("308", 311), ("310", 311),
    ("/i", "List of Products"), ("/?", "Service Pack"),
]
NOT_A_FOLDER = "C:\\screenshots\\not-a-folder"
# The runs for one language, one box each: the product installed for it, arguments,
# variables of the program's environment, the box, and the exit code. Each box is the
# first window of its process, so that all are drawn alike (Wine draws the first one
# inactive, a later one active).
RUNS = [
    (None, "", {}, "307", 1642),
    (None, "", {"TMP": NOT_A_FOLDER}, "300", 3),
    (None, "/p C:\\missing\\patchlist.txt", {}, "310", 3),
    (None, "/i", {}, "/i", 0),
    (None, "/?", {}, "/?", 0),
    ("current", "", {}, "306", 0),
    ("unsupported", "", {}, "308", 1642),
    ("candidate", "", {}, "301", 0),
]
RUN_TIMEOUT = 300  # seconds for one run, Wine under emulation included


def make_prefix(work, build):
    """A fresh prefix with the bench's launcher, unmanaged windows and the fonts."""
    prefix = prefixes.build_none(work, build / "tools")
    drive_c = prefix / "drive_c"
    lines = ["REGEDIT4", "", "[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]",
             # Wine draws the windows itself, caption included, and gives them the focus.
             '"Managed"="N"', "", "[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]"]
    for font, names in FONT_REPLACEMENTS.items():
        lines += [f'"{name}"="{font}"' for name in names]
    (drive_c / "screenshots").mkdir()
    (drive_c / "screenshots" / "settings.reg").write_text("\r\n".join(lines) + "\r\n")
    result = bench.run_wine(prefix, ["regedit", "/S", "C:\\screenshots\\settings.reg"])
    if result.returncode != 0:
        raise RuntimeError(f"regedit failed: {result.stderr.decode(errors='replace')}")
    bench.stop_wineserver(prefix)
    shutil.copyfile(MARLETT, drive_c / "windows" / "Fonts" / MARLETT.name)
    (drive_c / "sp").mkdir()
    shutil.copyfile(build / "servicepack.exe", drive_c / "sp" / "servicepack.exe")
    (drive_c / "screenshots" / "not-a-folder").write_text("a file where TMP expects a folder\n")
    return prefix


def build_products(work, samples):
    """{(language, kind): .msi} for every language, made with wixl."""
    sources = work / "products"
    sources.mkdir()
    shutil.copyfile(root / "tools" / "samples" / "payload.txt", sources / "payload.txt")
    lent = {p["key"]: p for p in samples["products"]}
    packages = {}
    for language in LOCALES:
        for kind, key in PRODUCT_KINDS.items():
            version = samples["upgradeVersion"] if kind == "current" else lent[key]["version"]
            wxs = sources / f"{language}-{kind}.wxs"
            wxs.write_text(PRODUCT_WXS.format(
                code=lent[key]["code"], upgrade=lent[key]["upgradeCode"], name=PRODUCT_NAME,
                language=language, version=version, kind=kind,
                component="{" + str(uuid.uuid5(uuid.NAMESPACE_URL, kind)).upper() + "}"))
            msi = wxs.with_suffix(".msi")
            # wixl finds the payload relative to its working folder.
            subprocess.run(["wixl", "-o", msi.name, wxs.name], cwd=sources, check=True)
            packages[(language, kind)] = msi
    return packages


def msiexec(prefix, arguments):
    # Without the display: the call returns only once every Wine process it started has
    # ended (they hold its pipes), so the next run starts Wine's desktop on the display.
    result = bench.run_wine(prefix, ["msiexec"] + arguments + ["/qn"], timeout=RUN_TIMEOUT)
    if result.returncode != 0:
        raise RuntimeError(f"msiexec {' '.join(arguments)} failed: {result.returncode}")


def run_on_display(prefix, display, locale, arguments, variables, pictures):
    """Runs servicepack.exe; takes a picture of each window it shows (pictures/<n>.png)
    and closes it with Return. Returns the exit code and [(caption, picture)] in the
    order shown."""
    program = "C:\\sp\\servicepack.exe"
    command_line = f"{program} {arguments}" if arguments else program
    env = bench.wine_environment(prefix, {"DISPLAY": display.name, "LC_ALL": locale,
                                          "SPEXIT_COMMAND_LINE": command_line})
    shown = []
    with tempfile.TemporaryFile() as out:
        process = subprocess.Popen(
            ["wine", f"{bench.BENCH_DIR}\\spexit.exe"] + [f"{k}={v}" for k, v in variables.items()],
            cwd=prefix / "drive_c", env=env, stdout=out, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + RUN_TIMEOUT
        try:
            while process.poll() is None:
                if time.monotonic() > deadline:
                    raise RuntimeError(f"servicepack.exe {arguments} ran over {RUN_TIMEOUT} s")
                for window in display.windows():
                    caption = display.caption(window)
                    if not caption:
                        continue
                    picture = pictures / f"{len(list(pictures.glob('*.png')))}.png"
                    display.picture(window, picture)
                    shown.append((caption, picture))
                    display.press_return(window)
                    while window in display.windows() and time.monotonic() < deadline:
                        time.sleep(0.1)
                time.sleep(0.2)
        finally:
            if process.poll() is None:
                bench.stop_wineserver(prefix, kill=True)
                process.wait()
        out.seek(0)
        text = out.read().decode("utf-8", "replace")
    code = [line[5:] for line in text.splitlines() if line.startswith("exit=")]
    if not code:
        raise RuntimeError(f"the launcher reported no exit code: {text}")
    return int(code[0]), shown


def compose(boxes, path):
    """One picture of the labelled boxes, in two columns of about the same height."""
    labelled = []
    with tempfile.TemporaryDirectory() as scratch:
        for index, (label, picture) in enumerate(boxes):
            tile = pathlib.Path(scratch) / f"{index}.png"
            subprocess.run(["convert", "-background", "#dcdcdc", "-fill", "#202020", "-font",
                            LABEL_FONT, "-pointsize", "13", f"label:{label}", str(picture),
                            "-append", "-bordercolor", "#dcdcdc", "-border", "6", str(tile)],
                           check=True)
            height = int(subprocess.run(["identify", "-format", "%h", str(tile)], check=True,
                                        capture_output=True, text=True).stdout)
            labelled.append((tile, height))
        # Split the boxes, in their order, where the taller column is the shortest.
        heights = [h for _, h in labelled]
        split = min(range(1, len(heights)),
                    key=lambda k: max(sum(heights[:k]), sum(heights[k:])))
        columns = [[t for t, _ in labelled[:split]], [t for t, _ in labelled[split:]]]
        stacks = []
        for number, column in enumerate(columns):
            stack = pathlib.Path(scratch) / f"column{number}.png"
            subprocess.run(["convert", "-background", "#dcdcdc"] + [str(t) for t in column]
                           + ["-append", str(stack)], check=True)
            stacks.append(str(stack))
        # A palette keeps the files small; -strip and no time chunks keep them the same
        # from run to run when nothing changed.
        subprocess.run(["convert", "-background", "#dcdcdc", "-gravity", "north"] + stacks
                       + ["+append", "-bordercolor", "#dcdcdc", "-border", "4", "+dither",
                          "-colors", "256", "-strip", "-define", "png:exclude-chunks=date,time",
                          f"PNG8:{path}"], check=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", type=pathlib.Path, default=root / "build" / "windows-tests")
    parser.add_argument("--out", type=pathlib.Path, default=root / "docs" / "messages")
    args = parser.parse_args()
    build = args.build.resolve()
    bench.os.environ["SP_BUILD_DIR"] = str(build)
    catalogue = bench.catalogue()
    if set(catalogue) != set(LOCALES):
        raise SystemExit(f"the catalogue's languages {sorted(catalogue)} are not the ones this "
                         f"script knows {sorted(LOCALES)}: add a locale for each")
    samples = json.loads((build / "samples" / "samples.json").read_text())
    lent = {p["key"]: p for p in samples["products"]}

    work = build / "screenshots"
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    args.out.mkdir(parents=True, exist_ok=True)
    print("Making the Wine prefix and the products ...", flush=True)
    prefix = make_prefix(work, build)
    packages = build_products(work, samples)
    msi_dir = prefix / "drive_c" / "screenshots"

    with virtual_display.VirtualDisplay() as display:
        for language, locale in LOCALES.items():
            started = time.monotonic()
            pictures = work / "pictures" / str(language)
            pictures.mkdir(parents=True)
            # The caption the catalogue gives, in the language the program picks for it.
            strings = catalogue[language]
            captions = {label: strings[c] if isinstance(c, int) else c for label, c in BOXES}
            taken = {}
            for product, arguments, variables, label, exit_code in RUNS:
                if product:
                    msi = packages[(language, product)]
                    shutil.copyfile(msi, msi_dir / msi.name)
                    msiexec(prefix, ["/i", f"C:\\screenshots\\{msi.name}"])
                code, shown = run_on_display(prefix, display, f"{locale}.UTF-8", arguments,
                                             variables, pictures)
                if [caption for caption, _ in shown] != [captions[label]] or code != exit_code:
                    raise SystemExit(
                        f"{language}: servicepack.exe {arguments} {variables} showed "
                        f"{[c for c, _ in shown]} and ended with {code}; expected "
                        f"{[captions[label]]} and {exit_code}")
                taken[label] = shown[0][1]
                if product:
                    msiexec(prefix, ["/x", lent[PRODUCT_KINDS[product]]["code"]])
            path = args.out / f"{language}.png"
            compose([(label, taken[label]) for label, _ in BOXES], path)
            print(f"  {path} ({path.stat().st_size} bytes, {time.monotonic() - started:.0f} s)",
                  flush=True)
    bench.stop_wineserver(prefix, kill=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
