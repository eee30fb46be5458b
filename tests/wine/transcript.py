"""What the reference messenger and the stand-in player write: transcript and log lines with
their time and fields, one messenger run split per script step, and the settings file's bytes
as the lab writes them."""

import re

LINE = re.compile(r"^\[\s*(\d+)\] (.*)$")
FIELD = re.compile(r'([\w-]+)=("[^"]*"|\S+)')


def value_bytes(value):
    """A transcript value as bytes: "text" or hex:... as the programs write them."""
    if value.startswith('"') and value.endswith('"'):
        return value[1:-1].encode("latin-1")
    if value.startswith("hex:"):
        return bytes.fromhex(value[4:])
    return value.encode("latin-1")


class Line:
    """One transcript or log line: its time, the words in front of the first field, the
    fields, and the text as written."""

    def __init__(self, ms, text):
        self.ms = ms
        self.text = text
        first = FIELD.search(text)
        head = text[: first.start()] if first else text
        self.head = head.split()
        self.fields = {m.group(1): m.group(2) for m in FIELD.finditer(text)}

    def is_(self, *words):
        return self.head[: len(words)] == list(words)

    def get(self, name, default=None):
        return self.fields.get(name, default)

    def bytes(self, name):
        return value_bytes(self.fields[name]) if name in self.fields else None

    def int(self, name, default=None):
        value = self.fields.get(name)
        return int(value.rstrip("ms"), 0) if value is not None else default

    def __repr__(self):
        return f"[{self.ms}] {self.text}"


def parse(text):
    lines = []
    for raw in text.splitlines():
        m = LINE.match(raw)
        if m:
            lines.append(Line(int(m.group(1)), m.group(2)))
    return lines


class Session:
    """The outcome of one messenger run: the transcript, split per script step, and the
    player's log."""

    def __init__(self, name, steps, transcript, player_log, exit_code, seconds, stderr=""):
        self.name = name
        self.stderr = stderr  # the messenger's Wine debug output, when it was asked for
        self.steps = steps
        self.lines = parse(transcript)
        self.player = parse(player_log)
        self.exit_code = exit_code
        self.seconds = seconds
        self.text = transcript
        self.segments = []
        current = None
        for line in self.lines:
            if line.is_("step"):
                current = []
                self.segments.append(current)
            elif current is not None:
                current.append(line)

    def segment(self, index):
        return self.segments[index] if index < len(self.segments) else []


def settings_text(pairs):
    """The settings file: key=value lines ended by CR LF, as the plug-in reads them; a value
    given as bytes (Windows-1251) is written as it is."""
    def raw(v):
        return v if isinstance(v, bytes) else v.encode("latin-1")
    return b"".join(k.encode("latin-1") + b"=" + raw(v) + b"\r\n" for k, v in pairs)
