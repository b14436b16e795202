#!/usr/bin/python3
"""Frames per second Debian's Kodi reaches showing the add-on, and the CPU it
costs, against Kodi's own Spectrum visualization, at 1280x720 and 1920x1080
on this machine's GL (headless Kodi as in tests/kodi/kodi_test.py). Runs
alternate between the two in one session, a fresh Kodi for each; prints each
run and the medians. Kodi's frame rate is not capped here (no vertical sync
off screen), so it takes what CPU it gets: on a shared machine compare CPU
milliseconds per frame, and only within one session.

Usage: bench/kodi/addon_vs_spectrum.py BUILD_DIR [--seconds 20] [--rounds 3]
"""
import argparse, os, shutil, statistics, subprocess, sys, tempfile, time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "tests", "kodi"))
import kodi_test  # noqa: E402

SPECTRUM = "visualization.spectrum"


def ticks(pid=None):
    """CPU jiffies of a process (user + system), or busy jiffies of the machine."""
    if pid:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])
    with open("/proc/stat") as f:
        v = [int(x) for x in f.readline().split()[1:]]
    return sum(v) - v[3] - v[4]


def kodi_pid(kodi):
    """Kodi's own process in the session."""
    for p in filter(str.isdigit, os.listdir("/proc")):
        try:
            if os.getsid(int(p)) == kodi.session.pid and open(f"/proc/{p}/comm").read().strip() == "kodi.bin":
                return int(p)
        except OSError:
            pass


def measure(kodi, seconds):
    hz, pid = os.sysconf("SC_CLK_TCK"), kodi_pid(kodi)
    fps = []
    t0, k0, m0 = time.time(), ticks(pid), ticks()
    while time.time() - t0 < seconds:
        time.sleep(1.0)
        fps.append(float(kodi.rpc("XBMC.GetInfoLabels", {"labels": ["System.FPS"]})["System.FPS"]))
    t1, k1, m1 = time.time(), ticks(pid), ticks()
    cpu = (k1 - k0) / hz / (t1 - t0) * 100.0
    rate = statistics.mean(fps[1:])  # each sample averages the second before it
    return {"fps": rate, "cpu": cpu, "ms": cpu * 10.0 / rate, "others": ((m1 - m0) - (k1 - k0)) / hz / (t1 - t0) * 100.0,
            "window": kodi.window()}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--seconds", type=float, default=20)
    ap.add_argument("--rounds", type=int, default=3)
    args = ap.parse_args()
    build, source = os.path.abspath(args.build), os.path.join(here, "..", "..")
    links = (os.path.join(build, "kodi", kodi_test.ADDON, "addon.xml"),
             os.path.join(source, "kodi", kodi_test.ADDON, "resources"),
             os.path.join(build, "lib", "visualization.quorvanta.so.1.0.0"))
    root = tempfile.mkdtemp(prefix="qvkodi-bench-")
    media = os.path.join(root, "swell.flac")
    subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", f"aevalsrc=0.8*sin(2*PI*110*t)*(0.2+0.8*abs(sin(PI*t/4)))"
                    f":s=44100:d={args.seconds + 20}", "-ac", "2", media], check=True, stdin=subprocess.DEVNULL)
    results = {}
    try:
        run(args, build, links, root, media, results)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    print("\nmedians")
    for (size, addon), rs in results.items():
        med = {k: statistics.median(r[k] for r in rs) for k in ("fps", "cpu", "ms", "others")}
        print(f"{size:10} {addon:24} {med['fps']:6.1f} {med['cpu']:10.0f} {med['ms']:12.1f} {med['others']:9.0f}")


def run(args, build, links, root, media, results):
    print(f"{'size':10} {'visualization':24} {'fps':>6} {'Kodi CPU %':>10} {'CPU ms/frame':>12} {'others %':>9}")
    for size in ("1280x720", "1920x1080"):
        for n in range(args.rounds):
            for addon in (SPECTRUM, kodi_test.ADDON):
                ours = addon == kodi_test.ADDON
                kodi = kodi_test.Kodi(os.path.join(root, f"{size}-{n}-{addon}"), addon, links if ours else (),
                                      os.path.join(build, "lib", "quorvanta.so") if ours else None, size)
                try:
                    if not kodi.play(media):
                        print(f"{addon} at {size}: the visualisation window did not open")
                    time.sleep(4.0)
                    r = measure(kodi, args.seconds)
                finally:
                    kodi.close()
                results.setdefault((size, addon), []).append(r)
                spoilt = "" if r["window"] == kodi_test.WINDOW else f"  (window {r['window']})"
                print(f"{size:10} {addon:24} {r['fps']:6.1f} {r['cpu']:10.0f} {r['ms']:12.1f} {r['others']:9.0f}{spoilt}",
                      flush=True)


if __name__ == "__main__":
    main()
