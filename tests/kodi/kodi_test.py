#!/usr/bin/python3
"""Debian's Kodi, headless, shows the add-on linked from the build tree: the screenshot carries the visual's
background colour and the message image where the program draws it; with a missing bundle, Kodi plays on and
the add-on says why in its log. Usage: kodi_test.py ADDON_XML RESOURCES LIBRARY BUNDLE PROGRAM"""
import atexit, ctypes, json, os, signal, socket, subprocess, sys, tempfile, time, urllib.request
from PIL import Image

ADDON, WINDOW = "visualization.quorvanta", 12006  # the visualisation window
SESSIONS = []  # the process groups started, all ended at the end


def until(condition, seconds):
    end = time.time() + seconds
    while not condition() and time.time() < end:
        time.sleep(0.2)
    return condition()


class Kodi:  # at `size`, showing `addon` (linked from `links`, with its bundle setting), in a session of its own
    def __init__(self, root, addon, links=(), bundle=None, size="1280x720"):
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            self.port, self.home = s.getsockname()[1], root
        settings = {"musicplayer.visualisation": addon, "debug.screenshotpath": root, "services.webserver": "true",
                    "services.webserverport": self.port, "services.webserverauthentication": "false"}
        files = {"advancedsettings.xml": "<advancedsettings><splash>false</splash><songinfoduration>1</songinfoduration>"
                 "</advancedsettings>", "guisettings.xml": "<settings version='2'>" + "".join(
                     f"<setting id='{k}'>{v}</setting>" for k, v in settings.items()) + "</settings>",
                 f"addon_data/{addon}/settings.xml": f"<settings version='2'><setting id='bundle'>{bundle}</setting></settings>"}
        for name, text in files.items():
            os.makedirs(os.path.dirname(f"{root}/.kodi/userdata/{name}"), exist_ok=True)
            open(f"{root}/.kodi/userdata/{name}", "w").write(text)
        for path in links:  # a user's add-on keeps its library beside addon.xml
            os.makedirs(f"{root}/.kodi/addons/{addon}", exist_ok=True)
            os.symlink(os.path.abspath(path), f"{root}/.kodi/addons/{addon}/{os.path.basename(path)}")
        os.makedirs(root + "/run", 0o700)
        env = dict(os.environ, HOME=root, XDG_RUNTIME_DIR=root + "/run", KODI_AE_SINK="PULSE")
        # One session, ended as one: the sound server, a display (the first free one), Kodi.
        self.session = subprocess.Popen(["sh", "-c", "pulseaudio -n --exit-idle-time=-1 --load=module-null-sink "
                                         f"--load=module-native-protocol-unix & Xvfb -displayfd 3 -screen 0 {size}x24 "
                                         "-nolisten tcp 3>display & until [ -S run/pulse/native ] && [ -s display ]; do "
                                         "sleep 0.1; done; PULSE_SERVER=unix:$PWD/run/pulse/native DISPLAY=:$(cat display) "
                                         "/usr/lib/x86_64-linux-gnu/kodi/kodi.bin --windowing=x11"], cwd=root, env=env,
                                        start_new_session=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        SESSIONS.append(self.session.pid)
        assert until(lambda: self.rpc("JSONRPC.Ping") == "pong", 90), "Kodi does not answer: " + subprocess.run(
            ["tail", "-5", root + "/.kodi/temp/kodi.log"], capture_output=True, text=True).stdout
        # A fresh profile finds add-ons beyond Kodi's own disabled and asks about each: no; enable ours.
        while until(lambda: self.window() == 10100, 3):
            self.rpc("Input.Back")
            time.sleep(0.5)
        self.rpc("Addons.SetAddonEnabled", {"addonid": addon, "enabled": True})

    def rpc(self, method, params=None):
        body = json.dumps({"jsonrpc": "2.0", "id": 1, "method": method, "params": params or {}}).encode()
        try:
            return json.load(urllib.request.urlopen(urllib.request.Request(
                f"http://127.0.0.1:{self.port}/jsonrpc", body, {"Content-Type": "application/json"}), timeout=30))["result"]
        except OSError:
            return None  # not up yet, or gone

    def window(self):
        return (self.rpc("GUI.GetProperties", {"properties": ["currentwindow"]}) or {}).get("currentwindow", {}).get("id")

    def play(self, media):
        self.rpc("Player.Open", {"item": {"file": media}})
        until(lambda: self.rpc("Player.GetActivePlayers"), 20)  # the window opens only while music plays
        return until(lambda: self.rpc("GUI.ActivateWindow", {"window": "visualisation"}) and self.window() == WINDOW, 20)

    def progress(self):  # how far the music is while it plays, else -1
        p = self.rpc("Player.GetProperties", {"playerid": 0, "properties": ["percentage", "speed"]})
        return p["percentage"] if p["speed"] else -1

    def close(self):
        self.rpc("Application.Quit")
        until(lambda: self.session.poll() is not None, 20)
        subprocess.run(["kill", "--", f"-{self.session.pid}"], stderr=subprocess.DEVNULL)  # the sound server, and the rest
        return [l.strip() for l in open(self.home + "/.kodi/temp/kodi.log") if f"AddOnLog: {ADDON}:" in l]


def main(addon_xml, resources, library, bundle, program):
    root, failed = tempfile.mkdtemp(prefix="qvkodi-"), []
    check = lambda ok, what: print(("ok:   " if ok else "FAIL: ") + what, flush=True) or ok or failed.append(what)
    media, links = root + "/swell.flac", (addon_xml, resources, library)
    subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "aevalsrc=0.8*sin(2*PI*110*t)*(0.2+0.8*abs(sin(PI*t/4)))"
                    ":s=44100:d=20", "-ac", "2", media], check=True, stdin=subprocess.DEVNULL)  # a 110 Hz tone, swelling
    kodi = Kodi(root + "/shows", ADDON, links, os.path.abspath(bundle))
    check(kodi.play(media), "Kodi finds and enables the add-on and plays with the visualisation window open")
    time.sleep(2)  # the title overlay goes after a second
    kodi.rpc("Input.ExecuteAction", {"action": "screenshot"})
    check(until(lambda: os.path.exists(root + "/shows/screenshot00000.png"), 10) and kodi.progress() > 0, "a screenshot, playing")
    time.sleep(0.5)  # written by a job of its own
    check(kodi.close() == [], "the add-on logged nothing")
    shot = Image.open(root + "/shows/screenshot00000.png").convert("RGB")
    subprocess.run([program, "render", media, "--frame", "0", "--size", "%dx%d" % shot.size, "-q", "-o", root + "/still.png"], check=True,
                   stdout=subprocess.DEVNULL)
    table = (ctypes.c_float * 15).in_dll(ctypes.CDLL(bundle), "kavoAdColors")
    near = lambda a, b, d: all(abs(x - y) <= d for x, y in zip(a, b))
    share = max(sum(n for n, p in shot.getcolors(1 << 24) if near(p, [255 * table[3 * i + k] for k in range(3)], 1))
                for i in range(5)) / shot.size[0] / shot.size[1]
    check(share > 0.5, f"{share:.0%} of the screenshot is one of the visual's background colours")
    width, height, pixels = *shot.size, shot.load()
    text = [i for i, p in enumerate(Image.open(root + "/still.png").convert("RGB").getdata()) if p == (200, 200, 200)]
    same = sum(near(pixels[i % width, i // width], (200, 200, 200), 2) for i in text) / max(len(text), 1)
    corner = all(i % width > width / 2 and i // width > height / 2 for i in text)
    check(len(text) > 500 and corner and same > 0.95, f"the message image is where the program draws it ({same:.0%})")

    kodi = Kodi(root + "/missing", ADDON, links, "/nonexistent/quorvanta.so")
    check(kodi.play(media), "with a missing bundle, Kodi plays with the visualisation window open")
    start = kodi.progress()
    check(until(lambda: kodi.progress() > start + 5, 5), "and plays on")
    log = kodi.close()
    why = "error <general>: AddOnLog: visualization.quorvanta: cannot start: /nonexistent/quorvanta.so: no plug-in bundle there"
    check(log and all(l.endswith(why) for l in log), f"and logs why, once a start: {log}")
    subprocess.run(["rm", "-rf", root])
    return 1 if failed else 0


if __name__ == "__main__":
    atexit.register(lambda: subprocess.run(["kill", "--"] + [f"-{g}" for g in SESSIONS], stderr=subprocess.DEVNULL))
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))  # a timeout ends the sessions too
    sys.exit(main(*sys.argv[1:]))
