"""A scratch Wine world for the plug-in: its own Xvfb display, its own Wine prefix (64-bit
Windows, where the 32-bit messenger runs under WoW64, or 32-bit Windows), a messenger folder
with the plug-in and its settings file, and runs of the reference messenger and the stand-in
player, 32-bit programs both, whose transcripts and logs come back parsed.

Everything started here is ended by Lab.close(); every wait has a time limit."""

import os
import shutil
import signal
import subprocess
import tempfile
import time

from transcript import Session, settings_text

# Wine's loader of 32-bit programs, and the 64-bit one that makes a 64-bit prefix.
WINE = "/usr/lib/wine/wine"
WINE64 = "/usr/lib/wine/wine64"
PULSEAUDIO = "/usr/bin/pulseaudio"
WINESERVER = "/usr/lib/wine/wineserver"
PLAYER_CLASS = "Winamp v1.x"
# The media sessions' manager, where Wine's combase looks runtime classes up: in the 32-bit
# view of the registry, which the messenger reads, and in the 64-bit one.
SESSION_MANAGER_KEY = (r"HKLM\Software\Microsoft\WindowsRuntime\ActivatableClassId"
                       r"\Windows.Media.Control.GlobalSystemMediaTransportControlsSessionManager")



def winpath(path):
    """The Windows name of a Unix path, through Wine's Z: drive."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Lab:
    def __init__(self, build_dir, log=print, arch="win64", player64_dir=None):
        self.build = os.path.abspath(build_dir)
        self.arch = arch  # the prefix's Windows: "win64" or "win32"
        self.log = log
        self.root = None
        self.xvfb = None
        self.pulse = None  # the sound server, while it runs
        self.audio_problem = None  # why Wine has no playback device, if it has none
        self.players = []
        self.env = None
        self.messenger_exe = os.path.join(self.build, "tools", "messenger", "refmessenger.exe")
        self.probe_dll = os.path.join(self.build, "tools", "messenger", "probe-plugin.dll")
        self.player_src = os.path.join(self.build, "tools", "player", "standin-player.exe")
        self.plugin_src = os.path.join(self.build, "QUIB_Ctl.dll")
        # The 64-bit stand-in player, a player of another bitness than the plug-in's.
        self.player64_src = (os.path.join(os.path.abspath(player64_dir), "tools", "player",
                                          "standin-player.exe") if player64_dir else None)
        # The stand-in AIMP, 32-bit and 64-bit as AIMP comes.
        self.aimp_src = os.path.join(self.build, "tools", "player", "standin-aimp.exe")
        self.aimp64_src = (os.path.join(os.path.abspath(player64_dir), "tools", "player",
                                        "standin-aimp.exe") if player64_dir else None)
        # The stand-in media session manager, a 32-bit DLL that Wine's combase loads.
        self.sessions_src = os.path.join(self.build, "tools", "sessions", "standin-sessions.dll")

    # The world

    def missing(self):
        needed = [self.messenger_exe, self.probe_dll, self.player_src, self.aimp_src,
                  self.sessions_src, self.plugin_src, WINE, WINE64] + (
                      [self.player64_src, self.aimp64_src] if self.player64_src else [])
        return [p for p in needed if not os.path.exists(p)]

    def start(self):
        self.root = tempfile.mkdtemp(prefix="quib-wine-")
        self.messenger_dir = os.path.join(self.root, "messenger")
        self.plugins_dir = os.path.join(self.messenger_dir, "plugins")
        # A folder name with a space, as under Program Files.
        self.player_dir = os.path.join(self.root, "Stand-in Player")
        os.makedirs(self.plugins_dir)
        os.makedirs(self.player_dir)
        shutil.copy(self.plugin_src, os.path.join(self.plugins_dir, "QUIB_Ctl.dll"))
        shutil.copy(self.probe_dll, os.path.join(self.plugins_dir, "probe-plugin.dll"))
        self.player_exe = os.path.join(self.player_dir, "standin-player.exe")
        shutil.copy(self.player_src, self.player_exe)
        if self.player64_src:
            self.player64_exe = os.path.join(self.player_dir, "standin-player64.exe")
            shutil.copy(self.player64_src, self.player64_exe)
        self.aimp_dir = os.path.join(self.root, "AIMP")
        os.makedirs(self.aimp_dir)
        self.aimp_exe = os.path.join(self.aimp_dir, "AIMP.exe")
        shutil.copy(self.aimp_src, self.aimp_exe)
        if self.aimp64_src:
            self.aimp64_exe = os.path.join(self.aimp_dir, "AIMP64.exe")
            shutil.copy(self.aimp64_src, self.aimp64_exe)
        self.sessions_dll = os.path.join(self.root, "sessions", "standin-sessions.dll")
        os.makedirs(os.path.dirname(self.sessions_dll))
        shutil.copy(self.sessions_src, self.sessions_dll)
        display = self._start_xvfb()
        pulse_socket = self._start_pulse()
        self.env = dict(os.environ)
        for name in ("WINELOADER", "WINESERVER", "WINEARCH", "WINEDEBUG", "LC_ALL", "LANG"):
            self.env.pop(name, None)
        self.env.update(
            DISPLAY=display,
            WINEPREFIX=os.path.join(self.root, "prefix"),
            WINEDLLOVERRIDES="mscoree=d;mshtml=d",
            WINEDEBUG="-all",
            # The messenger's users run Windows in Russian: Wine takes its ANSI code page, 1251,
            # from the Unix locale.
            LANG="ru_RU.UTF-8",
        )
        if self.arch == "win32":
            self.env["WINEARCH"] = "win32"
        if pulse_socket:
            self.env["PULSE_SERVER"] = "unix:" + pulse_socket
        started = time.monotonic()
        self.wine(["wineboot", "--init"], timeout=180, loader=self.boot_loader())
        # No window manager runs on the display: unmanaged windows are shown and hidden at
        # once instead of waiting for a manager that never answers.
        self.reg(["add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f"])
        # The lab's own sound server, or no audio driver at all: never the host's sound device.
        self.reg(["add", r"HKCU\Software\Wine\Drivers", "/v", "Audio", "/d",
                  "pulse" if pulse_socket else "", "/f"])
        self.reset()
        return time.monotonic() - started

    def _start_xvfb(self):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        if not number.strip():
            raise RuntimeError("Xvfb did not start")
        return ":" + number.decode().strip()

    def _start_pulse(self):
        """A PulseAudio server of the lab's own, with one null sink as the playback device, in
        a private runtime folder; gives its socket, or None with the reason kept."""
        if not os.path.exists(PULSEAUDIO):
            self.audio_problem = f"{PULSEAUDIO} is not installed (tools/setup.sh installs it)"
            return None
        runtime = os.path.join(self.root, "pulse")
        os.makedirs(runtime)
        socket = os.path.join(runtime, "native")
        env = dict(os.environ, HOME=runtime, XDG_RUNTIME_DIR=runtime, PULSE_RUNTIME_PATH=runtime,
                   XDG_CONFIG_HOME=runtime)
        env.pop("PULSE_SERVER", None)
        log = open(os.path.join(self.root, "pulseaudio.log"), "wb")
        self.pulse = subprocess.Popen(
            [PULSEAUDIO, "--daemonize=no", "--exit-idle-time=-1", "-n", "--use-pid-file=no",
             "--disallow-exit", "--log-target=stderr",
             "-L", "module-null-sink sink_name=quib_null",
             "-L", f"module-native-protocol-unix socket={socket} auth-anonymous=1"],
            cwd=runtime, env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
            start_new_session=True)
        log.close()
        deadline = time.monotonic() + 20
        while not os.path.exists(socket) and time.monotonic() < deadline:
            if self.pulse.poll() is not None:
                break
            time.sleep(0.1)
        if not os.path.exists(socket):
            self._stop_pulse()
            with open(os.path.join(self.root, "pulseaudio.log"), "rb") as f:
                said = f.read().decode("latin-1").strip().splitlines()[-3:]
            self.audio_problem = "the PulseAudio server did not come up: " + " / ".join(said)
            return None
        return socket

    def _stop_pulse(self):
        if self.pulse and self.pulse.poll() is None:
            self.pulse.terminate()
            try:
                self.pulse.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.pulse.kill()
                self.pulse.wait(timeout=10)
        self.pulse = None

    def boot_loader(self):
        """A 64-bit prefix is made by the 64-bit loader; a 32-bit one by the 32-bit loader."""
        return WINE64 if self.arch == "win64" else WINE

    def wine(self, args, timeout=60, cwd=None, extra_env=None, loader=WINE):
        env = dict(self.env)
        env.update(extra_env or {})
        return subprocess.run([loader] + args, cwd=cwd or self.root, env=env, timeout=timeout,
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode

    def reg(self, args):
        return self.wine(["reg"] + args, timeout=60, loader=self.boot_loader())

    def reset(self):
        """Ends every Windows process of the prefix, so that each session starts alone. The
        server itself is started detached, so that no daemon keeps a pipe of ours open."""
        if self.env is None:
            return
        subprocess.run([WINESERVER, "-k"], env=self.env, timeout=30, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for p in self.players:
            try:
                p.wait(timeout=10)
            except subprocess.TimeoutExpired:
                p.kill()
        self.players = []
        try:
            subprocess.run([WINESERVER, "-w"], env=self.env, timeout=30,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            pass
        subprocess.run([WINESERVER, "-p"], env=self.env, timeout=30, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       start_new_session=True)

    def close(self):
        if self.env is not None:
            subprocess.run([WINESERVER, "-k"], env=self.env, timeout=30,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            self.env = None
        for p in self.players:
            if p.poll() is None:
                p.kill()
        self._stop_pulse()
        if self.xvfb and self.xvfb.poll() is None:
            os.killpg(self.xvfb.pid, signal.SIGTERM)
            try:
                self.xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(self.xvfb.pid, signal.SIGKILL)
        if self.root:
            shutil.rmtree(self.root, ignore_errors=True)
            self.root = None

    def register_session_manager(self, registered=True):
        """The stand-in media session manager registered in the prefix, or no manager at all,
        as on Windows before 10 1809."""
        for view in ("/reg:32", "/reg:64"):
            if registered:
                # An in-process class (ActivationType 0), which combase loads from DllPath.
                self.reg(["add", SESSION_MANAGER_KEY, "/v", "ActivationType", "/t", "REG_DWORD",
                          "/d", "0", "/f", view])
                self.reg(["add", SESSION_MANAGER_KEY, "/v", "DllPath", "/d",
                          winpath(self.sessions_dll), "/f", view])
            else:
                self.reg(["delete", SESSION_MANAGER_KEY, "/f", view])

    # Sessions

    def write_settings(self, pairs):
        with open(os.path.join(self.plugins_dir, "QUIB_Ctl.ini"), "wb") as f:
            f.write(settings_text(pairs))

    def start_player(self, args, log_path, bits=32, aimp=False):
        """The stand-in Winamp, or with aimp the stand-in AIMP, of the given bitness."""
        env = dict(self.env)
        env["STANDIN_PLAYER_LOG"] = winpath(log_path)
        if aimp:
            command = [WINE, self.aimp_exe] if bits == 32 else [WINE64, self.aimp64_exe]
        else:
            command = [WINE, self.player_exe] if bits == 32 else [WINE64, self.player64_exe]
        p = subprocess.Popen(command + args, cwd=self.aimp_dir if aimp else self.player_dir,
                             env=env,
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        self.players.append(p)
        return p

    def start_messenger(self, name, steps, plugin="QUIB_Ctl.dll", contact=321, extra_env=None,
                        box_delay_ms=300, deadline_ms=60000, player_args=None, debug=None,
                        player_bits=32, cwd=None, plugin_path=None, aimp=False):
        """Starts the reference messenger on a script of steps (lists of words) in the
        messenger folder, or with cwd in that folder as its current one and the plug-in named
        by its full path, or as plugin_path names it; the player first when player_args is
        given (a 64-bit one with player_bits=64, the stand-in AIMP in its place with aimp);
        with debug, Wine's debug channels (WINEDEBUG) for its process, whose
        output goes to {name}.stderr. Returns the process and the paths of its transcript and
        of the player's log."""
        transcript = os.path.join(self.root, f"{name}.transcript")
        player_log = os.path.join(self.root, f"{name}.player.log")
        open(player_log, "wb").close()
        open(transcript, "wb").close()
        if player_args is not None:
            self.start_player(player_args, player_log, player_bits, aimp)
        if plugin_path is None:
            plugin_path = (winpath(os.path.join(self.plugins_dir, plugin)) if cwd
                           else "plugins\\" + plugin)
        args = [self.messenger_exe, "--plugin", plugin_path, "--contact", str(contact),
                "--transcript", winpath(transcript), "--watch-boxes", str(box_delay_ms),
                "--deadline", str(deadline_ms)]
        for step in steps:
            args += step
        env = dict(self.env)
        env["STANDIN_PLAYER_LOG"] = winpath(player_log)
        env.update(extra_env or {})
        stderr = subprocess.DEVNULL
        if debug:
            env["WINEDEBUG"] = debug
            stderr = open(os.path.join(self.root, f"{name}.stderr"), "wb")
        process = subprocess.Popen([WINE] + args, cwd=cwd or self.messenger_dir, env=env,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=stderr)
        if debug:
            stderr.close()
        return process, transcript, player_log

    def session(self, name, steps, settings=None, player_args=None, deadline_ms=60000,
                **options):
        """Runs the reference messenger on a script to its end and returns the Session; every
        Windows process of the prefix is ended afterwards."""
        if settings is not None:
            self.write_settings(settings)
        started = time.monotonic()
        process, transcript_path, player_log = self.start_messenger(
            name, steps, deadline_ms=deadline_ms, player_args=player_args, **options)
        try:
            code = process.wait(timeout=deadline_ms / 1000 + 30)
        except subprocess.TimeoutExpired:
            process.kill()
            code = "timeout"
        seconds = time.monotonic() - started
        self.reset()
        with open(transcript_path, "rb") as f:
            transcript = f.read().decode("latin-1")
        with open(player_log, "rb") as f:
            log = f.read().decode("latin-1")
        stderr = ""
        if options.get("debug"):
            with open(os.path.join(self.root, f"{name}.stderr"), "rb") as f:
                stderr = f.read().decode("latin-1")
        return Session(name, steps, transcript, log, code, seconds, stderr)

    # The prefix's own drive

    def drive_c(self, *parts):
        """The Unix path of a file under the prefix's C:\\ drive."""
        return os.path.join(self.env["WINEPREFIX"], "drive_c", *parts)
