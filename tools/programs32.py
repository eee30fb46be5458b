#!/usr/bin/env python3
"""How this machine runs 32-bit (i386) Linux programs, which Wine's 32-bit loader is: the
kernel's own IA32 emulation ("native"), or qemu-i386 as the binfmt_misc handler of i386 ELF
files where the kernel runs none (under some hypervisors it has no 32-bit mode at all).

usage: programs32.py probe   exit 0 when a 32-bit program runs, else one line saying why
       programs32.py path    "32-bit programs: native" or "32-bit programs: qemu-i386 X (...)";
                             exit 1 with the reason when none runs"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile

BINFMT = "/proc/sys/fs/binfmt_misc"
# The handler tools/setup.sh registers, and the i386 ELF header it matches (as qemu's own).
HANDLER = "quib-i386"
I386_MAGIC = "7f454c4601010100000000000000000002000300"
# QUIB_32BIT=qemu forces the handler where the kernel runs 32-bit programs too; native takes
# it away again; auto (or nothing) takes the kernel's way where it has one.
MODE_VARIABLE = "QUIB_32BIT"


def elf32_probe():
    """The smallest 32-bit Linux program: it writes "i386" and exits 0. A kernel without its
    IA32 emulation refuses it, and with it Wine's 32-bit loader and every 32-bit program."""
    base = 0x08048000
    code_at = 52 + 32  # after the ELF header and the one program header
    message = b"i386\n"
    def code(message_at):
        return (b"\xb8\x04\x00\x00\x00"  # mov eax, 4 (write)
                b"\xbb\x01\x00\x00\x00"  # mov ebx, 1 (standard output)
                + b"\xb9" + struct.pack("<I", message_at)  # mov ecx, message
                + b"\xba" + struct.pack("<I", len(message))  # mov edx, its length
                + b"\xcd\x80"  # int 0x80
                b"\xb8\x01\x00\x00\x00"  # mov eax, 1 (exit)
                b"\x31\xdb"  # xor ebx, ebx
                b"\xcd\x80")  # int 0x80
    code = code(base + code_at + len(code(0)))
    size = code_at + len(code) + len(message)
    header = (b"\x7fELF\x01\x01\x01" + bytes(9)
              + struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, base + code_at, 52, 0, 0, 52, 32, 1, 0,
                            0, 0))
    program = struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
    return header + program + code + message


def probe():
    """None when a 32-bit program runs; otherwise what stopped it."""
    folder = tempfile.mkdtemp(prefix="quib-probe32-")
    path = os.path.join(folder, "probe32")
    try:
        with open(path, "wb") as f:
            f.write(elf32_probe())
        os.chmod(path, 0o755)
        try:
            ran = subprocess.run([path], stdin=subprocess.DEVNULL, capture_output=True,
                                 timeout=30)
        except OSError as error:
            return f"the kernel refuses a 32-bit program: {error.strerror}"
        if ran.returncode != 0 or ran.stdout != b"i386\n":
            return f"a 32-bit program did not run as it should: exit {ran.returncode}"
        return None
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def i386_handler():
    """The interpreter of the enabled binfmt_misc handler of i386 ELF files, or None."""
    try:
        with open(os.path.join(BINFMT, "status")) as f:
            if f.read().strip() != "enabled":
                return None
        names = sorted(os.listdir(BINFMT))
    except OSError:
        return None
    for name in names:
        if name in ("register", "status"):
            continue
        try:
            with open(os.path.join(BINFMT, name)) as f:
                fields = dict(line.split(" ", 1) for line in f.read().splitlines()[1:]
                              if " " in line)
                f.seek(0)
                enabled = f.readline().strip() == "enabled"
        except OSError:
            continue
        if enabled and fields.get("magic") == I386_MAGIC:
            return fields.get("interpreter")
    return None


def emulator_name(interpreter):
    """"qemu-i386 10.0.2" from the interpreter's own word, or its file name."""
    try:
        said = subprocess.run([interpreter, "--version"], stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, timeout=30).stdout.split()
    except (OSError, subprocess.TimeoutExpired):
        said = []
    if len(said) >= 3 and said[1] == "version":
        return f"{said[0]} {said[2]}"
    return os.path.basename(interpreter)


def why_32bit_cannot_run():
    """None when 32-bit programs run here; otherwise one line: what stops them, and why the
    emulated path is not there either."""
    problem = probe()
    if problem is None:
        return None
    if not os.path.exists(os.path.join(BINFMT, "status")):
        return f"{problem}; binfmt_misc is not mounted, so no qemu-i386 can stand in"
    interpreter = i386_handler()
    if interpreter is None:
        return (f"{problem}; no binfmt_misc handler of i386 programs is registered "
                "(tools/setup.sh registers qemu-i386, as root)")
    return f"{problem}; its handler is {interpreter}"


def path():
    """The line that names how 32-bit programs run, or None when they do not."""
    if probe() is not None:
        return None
    interpreter = i386_handler()
    if interpreter is None:
        return "32-bit programs: native"
    why = (f"forced by {MODE_VARIABLE}=qemu" if os.environ.get(MODE_VARIABLE) == "qemu"
           else "the kernel runs none")
    return f"32-bit programs: {emulator_name(interpreter)} ({why})"


def main():
    command = sys.argv[1] if len(sys.argv) > 1 else "path"
    if command == "probe":
        problem = probe()
        if problem:
            print(problem)
        return 1 if problem else 0
    if command == "path":
        line = path()
        print(line or f"32-bit programs: none ({why_32bit_cannot_run()})")
        return 0 if line else 1
    print(__doc__.split("\n\n", 1)[1], file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
