#!/usr/bin/python3
"""Debian's Kodi shows the add-on: headless under Xvfb, its sound into a
private PulseAudio null sink, a fresh profile in a temporary folder, driven
through its JSON-RPC interface on the loopback address.

1. The add-on (symlinked from the build tree into the profile) is found and
   enabled, a music file plays with the visualisation window open, and a
   screenshot shows the visual: most of its pixels carry one of the visual's
   background colours (kavoAdColors, read from the bundle), and the message
   image sits where the program draws it (its opaque pixels in a still of
   the program at the screenshot's size are the same in the screenshot).
2. Bad input (a bundle that is not there): Kodi plays on and logs the line.

Everything it starts is its own child, ended by pid at the end.
Needs Debian's python3 with python3-pil (Kodi's packages bring it).
"""
import argparse, ctypes, json, os, shutil, signal, socket, subprocess, sys, tempfile, time

from PIL import Image

KODI = "/usr/lib/x86_64-linux-gnu/kodi/kodi.bin"
ADDON = "visualization.quorvanta"
VISUALISATION_WINDOW = 12006
DIALOG_WINDOW = 10100  # "Disabled add-ons: enable this one?"
T0 = time.time()


def say(text):
    print(f"[{time.time() - T0:5.1f}s] {text}", flush=True)


def wait_for(condition, seconds, step=0.2):
    end = time.time() + seconds
    while time.time() < end:
        value = condition()
        if value:
            return value
        time.sleep(step)
    return None


def free_port(kind):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)


class Kodi:
    """One Kodi session with its own display (`size`), sound server, profile
    and ports, showing the visualisation `addon`; `links` are the pieces of
    an add-on to link into the profile (addon.xml, resources, library),
    `bundle` its bundle setting."""

    def __init__(self, root, addon=ADDON, links=(), bundle=None, size="1280x720"):
        self.root, self.addon = root, addon
        self.home = os.path.join(root, "home")
        self.shots = os.path.join(root, "shots")
        run = os.path.join(root, "run")
        for d in (self.home, self.shots, run):
            os.makedirs(d, exist_ok=True)
        os.chmod(run, 0o700)
        self.env = dict(os.environ, HOME=self.home, XDG_RUNTIME_DIR=run)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.procs, self.pulse = [], None
        self.port = free_port(socket.SOCK_STREAM)
        try:
            self.start_display(size)
            self.pulse_pid = self.start_sound(run)
            self.write_profile(links, bundle)
            self.start()
        except BaseException:
            self.close()
            raise

    def start_display(self, size):
        read, write_end = os.pipe()
        self.procs.append(subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", size + "x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        os.close(write_end)
        number = b""
        while not number.endswith(b"\n"):
            c = os.read(read, 1)
            if not c:
                raise RuntimeError("Xvfb did not start")
            number += c
        os.close(read)
        self.env["DISPLAY"] = ":" + number.decode().strip()

    def start_sound(self, run):
        subprocess.run(["pulseaudio", "--daemonize=yes", "--exit-idle-time=-1", "-n", "--log-target=stderr",
                        "--load=module-null-sink sink_name=qvnull", "--load=module-native-protocol-unix"],
                       env=self.env, check=True, capture_output=True, timeout=30)
        self.env["PULSE_SERVER"] = "unix:" + os.path.join(run, "pulse", "native")
        with open(os.path.join(run, "pulse", "pid")) as f:
            return int(f.read())

    def write_profile(self, links, bundle):
        data = os.path.join(self.home, ".kodi")
        write(os.path.join(data, "userdata", "advancedsettings.xml"),
              "<advancedsettings version=\"1.0\"><splash>false</splash><songinfoduration>1</songinfoduration>"
              f"<jsonrpc><tcpport>{self.port}</tcpport></jsonrpc></advancedsettings>\n")
        write(os.path.join(data, "userdata", "guisettings.xml"),
              f"<settings version=\"2\"><setting id=\"musicplayer.visualisation\">{self.addon}</setting>"
              f"<setting id=\"debug.screenshotpath\">{self.shots}/</setting>"
              "<setting id=\"services.esenabled\">true</setting>"  # JSON-RPC over TCP
              f"<setting id=\"services.esport\">{free_port(socket.SOCK_DGRAM)}</setting></settings>\n")
        if bundle:
            write(os.path.join(data, "userdata", "addon_data", self.addon, "settings.xml"),
                  f"<settings version=\"2\"><setting id=\"bundle\">{bundle}</setting></settings>\n")
        # A user's add-on keeps its library beside addon.xml: the build tree's pieces, linked.
        for path in links:
            os.makedirs(os.path.join(data, "addons", self.addon), exist_ok=True)
            os.symlink(os.path.abspath(path), os.path.join(data, "addons", self.addon, os.path.basename(path)))

    def start(self):
        self.kodi = subprocess.Popen([KODI, "--windowing=x11"], env=dict(self.env, KODI_AE_SINK="PULSE"),
                                     cwd=self.root, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                     start_new_session=True)
        self.procs.append(self.kodi)
        if not wait_for(lambda: self.ping(), 90):
            raise RuntimeError("Kodi's JSON-RPC did not answer")
        # A fresh profile finds add-ons outside Kodi's own list disabled and
        # asks about each at start: say no, then enable ours.
        for answered in range(10):
            if not wait_for(lambda: self.window() == DIALOG_WINDOW, 1.0 if answered else 3.0):
                break
            self.rpc("Input.Back")
            time.sleep(0.4)
        self.rpc("Addons.SetAddonEnabled", {"addonid": self.addon, "enabled": True})
        self.enabled = self.rpc("Addons.GetAddonDetails", {"addonid": self.addon, "properties": ["enabled"]})[
            "addon"]["enabled"]

    def rpc(self, method, params=None, timeout=30.0):
        request = {"jsonrpc": "2.0", "id": 1, "method": method}
        if params is not None:
            request["params"] = params
        with socket.create_connection(("127.0.0.1", self.port), timeout=timeout) as s:
            s.sendall(json.dumps(request).encode())
            text, decoder = "", json.JSONDecoder()
            while True:  # replies and notifications, one JSON object after another
                chunk = s.recv(65536)
                if not chunk:
                    raise RuntimeError(f"no reply to {method}")
                text += chunk.decode("utf-8", "replace")
                while text.strip():
                    try:
                        reply, end = decoder.raw_decode(text.lstrip())
                    except ValueError:
                        break
                    text = text.lstrip()[end:]
                    if reply.get("id") == 1:
                        if "error" in reply:
                            raise RuntimeError(f"{method}: {reply['error']}")
                        return reply.get("result")

    def ping(self):
        try:
            return self.rpc("JSONRPC.Ping", timeout=2.0) == "pong"
        except (OSError, RuntimeError):
            return False

    def window(self):
        return self.rpc("GUI.GetProperties", {"properties": ["currentwindow"]})["currentwindow"]["id"]

    def play(self, media):
        self.rpc("Player.Open", {"item": {"file": media}})
        if not wait_for(lambda: self.rpc("Player.GetActivePlayers"), 20):
            return False
        for _ in range(3):  # the window opens only once the music plays
            self.rpc("GUI.ActivateWindow", {"window": "visualisation"})
            if wait_for(lambda: self.window() == VISUALISATION_WINDOW, 5):
                return True
        return False

    def player_time(self):
        p = self.rpc("Player.GetProperties", {"playerid": 0, "properties": ["time", "speed"]})
        t = p["time"]
        return t["hours"] * 3600 + t["minutes"] * 60 + t["seconds"] + t["milliseconds"] / 1000.0, p["speed"]

    def screenshot(self, out):
        self.rpc("Input.ExecuteAction", {"action": "screenshot"})
        shot = wait_for(lambda: [n for n in os.listdir(self.shots) if n.endswith(".png")], 10)
        if not shot:
            raise RuntimeError("Kodi wrote no screenshot")
        time.sleep(0.5)  # written by a job of its own
        shutil.copy(os.path.join(self.shots, shot[0]), out)

    def log_lines(self, text):
        with open(os.path.join(self.home, ".kodi", "temp", "kodi.log"), errors="replace") as f:
            return [line.rstrip() for line in f if text in line]

    def close(self):
        kodi = getattr(self, "kodi", None)
        if kodi and kodi.poll() is None:
            try:
                self.rpc("Application.Quit", timeout=5.0)
                kodi.wait(20)
            except Exception:
                pass
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        if getattr(self, "pulse_pid", None):
            try:
                os.kill(self.pulse_pid, signal.SIGTERM)
                wait_for(lambda: not os.path.exists(f"/proc/{self.pulse_pid}"), 10)
            except ProcessLookupError:
                pass


def make_music(path, seconds):
    """A 110 Hz tone whose loudness swells and falls every 4 s, in stereo FLAC."""
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                    f"aevalsrc=0.8*sin(2*PI*110*t)*(0.2+0.8*abs(sin(PI*t/4))):s=44100:d={seconds}", "-ac", "2",
                    "-metadata", "title=Swell", path], check=True)
    return path


class Checks:
    def __init__(self):
        self.failed = 0

    def __call__(self, ok, what):
        say(("ok:   " if ok else "FAIL: ") + what)
        self.failed += not ok


def background_colours(bundle):
    """The visual's background colours as 8-bit RGB, from the bundle's exported table."""
    table = (ctypes.c_float * 15).in_dll(ctypes.CDLL(bundle), "kavoAdColors")
    return [tuple(round(table[3 * i + k] * 255) for k in range(3)) for i in range(5)]


def near(a, b, tolerance):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def check_screenshot(check, shot_path, still_path, colours):
    shot = Image.open(shot_path).convert("RGB")
    still = Image.open(still_path).convert("RGB")
    pixels, reference = shot.load(), list(still.getdata())
    histogram = shot.getcolors(1 << 24)
    counts = [sum(n for n, p in histogram if near(p, c, 1)) for c in colours]
    share = max(counts) / (shot.size[0] * shot.size[1])
    check(share > 0.5, f"{share:.0%} of the screenshot's pixels carry the background colour "
                       f"{colours[counts.index(max(counts))]}")
    # The message image's opaque pixels, where the program draws them at this size.
    grey = (200, 200, 200)
    mask = [i for i, p in enumerate(reference) if p == grey]
    width, height = shot.size
    corner = all(i % width > width // 2 and i // width > height // 2 for i in mask)
    same = sum(1 for i in mask if near(pixels[i % width, i // width], grey, 2)) / max(len(mask), 1)
    check(len(mask) > 500 and corner and same > 0.95,
          f"the message image sits in the bottom-right corner: {same:.1%} of its {len(mask)} opaque pixels")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--addon-xml", required=True, help="the built add-on's addon.xml")
    ap.add_argument("--resources", required=True, help="the add-on's resources folder")
    ap.add_argument("--library", required=True, help="the built add-on library")
    ap.add_argument("--bundle", required=True)
    ap.add_argument("--program", required=True, help="quorvanta, for the still to compare with")
    ap.add_argument("--keep", help="keep the profiles, logs and images here")
    args = ap.parse_args()
    root = args.keep or tempfile.mkdtemp(prefix="qvkodi-")
    os.makedirs(root, exist_ok=True)
    check = Checks()
    try:
        media = make_music(os.path.join(root, "swell.flac"), 20)

        links = (args.addon_xml, args.resources, args.library)
        kodi = Kodi(os.path.join(root, "visual"), links=links, bundle=os.path.abspath(args.bundle))
        try:
            check(kodi.enabled, f"Kodi finds {ADDON} and enables it")
            check(bool(kodi.play(media)), "Kodi plays the file with the visualisation window open")
            time.sleep(2.0)  # the song's title goes after a second
            shot = os.path.join(root, "screenshot.png")
            kodi.screenshot(shot)
            playing = kodi.player_time()
            lines = kodi.log_lines(f"AddOnLog: {ADDON}")
        finally:
            kodi.close()
        check(playing[1] == 1, f"still playing after the screenshot ({playing[0]:.1f} s)")
        check(not lines, "the add-on logged nothing" + "".join("\n  " + l for l in lines))
        width, height = Image.open(shot).size
        still = os.path.join(root, "still.png")
        subprocess.run([args.program, "render", media, "--frame", "0", "--size", f"{width}x{height}", "-q",
                        "-o", still], check=True, stdout=subprocess.DEVNULL)
        check_screenshot(check, shot, still, background_colours(args.bundle))

        missing = "/nonexistent/quorvanta.so"
        kodi = Kodi(os.path.join(root, "missing"), links=links, bundle=missing)
        try:
            check(bool(kodi.play(media)), "with a missing bundle, Kodi plays the file with the window open")
            start = kodi.player_time()[0]
            time.sleep(2.0)
            now, speed = kodi.player_time()
            lines = kodi.log_lines(f"AddOnLog: {ADDON}: ")
        finally:
            kodi.close()
        check(speed == 1 and now > start + 1.0, f"and plays on ({start:.1f} s, then {now:.1f} s)")
        want = f"cannot start: {missing}: no plug-in bundle there"
        check(lines and all(" error " in l and l.endswith(want) for l in lines),
              f"and logs '{want}' once a start:" + "".join("\n  " + l for l in lines))
    finally:
        if not args.keep:
            shutil.rmtree(root, ignore_errors=True)
    say("passed" if not check.failed else f"{check.failed} check(s) failed")
    return 1 if check.failed else 0


if __name__ == "__main__":
    sys.exit(main())
