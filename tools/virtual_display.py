"""A virtual X display (Xvfb) and the few things done on it: list the windows that
are shown, read a caption, take a picture of a window, press Return in it.

Used by tools/screenshots.py and the display test. Every call is bounded in time,
so a window that never comes or a tool that hangs fails instead of waiting forever.
"""

import os
import select
import subprocess
import time

TOOL_TIMEOUT = 20  # seconds for one xdotool or ImageMagick call


class VirtualDisplay:
    """An Xvfb server on a display number that was free, for the life of the object."""

    def __init__(self, size="1280x1024x24", timeout=30):
        read_end, write_end = os.pipe()
        try:
            # -displayfd: the server picks a free number itself and writes it to the pipe.
            self.server = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", size, "-nolisten", "tcp"],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(write_end)
            write_end = None
            number = b""
            deadline = time.monotonic() + timeout
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([read_end], [], [], left)[0]:
                    self.stop()
                    raise RuntimeError(f"Xvfb named no display within {timeout} s")
                chunk = os.read(read_end, 16)
                if not chunk:
                    self.stop()
                    raise RuntimeError("Xvfb ended before it named a display")
                number += chunk
        finally:
            os.close(read_end)
            if write_end is not None:
                os.close(write_end)
        self.name = ":" + number.decode().strip()
        self.root = self._tool(["xdotool", "search", "--maxdepth", "0", "--name", ""]).split()[0]

    def stop(self):
        if self.server.poll() is None:
            self.server.terminate()
            try:
                self.server.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.server.kill()
                self.server.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def environment(self):
        return dict(os.environ, DISPLAY=self.name)

    def _tool(self, args, check=True):
        result = subprocess.run(args, env=self.environment(), capture_output=True,
                                timeout=TOOL_TIMEOUT)
        if check and result.returncode != 0:
            raise RuntimeError(f"{args[0]} failed ({result.returncode}): "
                               f"{result.stderr.decode(errors='replace')}")
        return result.stdout.decode("utf-8", "replace")

    def windows(self):
        """The windows that are shown now (mapped, any depth), the root left out."""
        # xdotool ends with 1 when nothing matches; that is an empty list here.
        out = self._tool(["xdotool", "search", "--onlyvisible", "--name", ""], check=False)
        return [w for w in out.split() if w != self.root]

    def caption(self, window):
        """The window's title, or None when the window has gone meanwhile."""
        result = subprocess.run(["xdotool", "getwindowname", window], env=self.environment(),
                                capture_output=True, timeout=TOOL_TIMEOUT)
        if result.returncode != 0:
            return None
        return result.stdout.decode("utf-8", "replace").rstrip("\n")

    def geometry(self, window):
        """(x, y, width, height) of the window on the screen."""
        values = dict(line.split("=", 1) for line in
                      self._tool(["xdotool", "getwindowgeometry", "--shell", window]).split())
        return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def picture(self, window, path, settle=0.3, tries=20):
        """Writes a PNG of the window to `path`, once two pictures taken `settle` seconds
        apart are the same (Wine paints a new box in several steps)."""
        x, y, width, height = self.geometry(window)
        grab = ["import", "-silent", "-window", "root", "-crop", f"{width}x{height}+{x}+{y}",
                "+repage"]
        previous = None
        for _ in range(tries):
            time.sleep(settle)
            pixels = subprocess.run(grab + ["ppm:-"], env=self.environment(), check=True,
                                    capture_output=True, timeout=TOOL_TIMEOUT).stdout
            if pixels == previous:
                break
            previous = pixels
        subprocess.run(["convert", "ppm:-", "-strip", str(path)], input=previous, check=True,
                       capture_output=True, timeout=TOOL_TIMEOUT)

    def press_return(self, window):
        """Gives the window the keyboard focus and presses Return in it, as a user would."""
        self._tool(["xdotool", "windowfocus", window, "key", "Return"])
