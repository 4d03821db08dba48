"""Helpers to build host directories and to run extmerge natively or under Wine.

Catalogue files are code page 932 with CRLF line endings, as on the target
systems. Texts in this module are Python str; they are encoded at the edges.
"""

import collections
import os
import re
import subprocess

ENC = "cp932"

# The program's user-facing texts, written out here independently of
# res/strings.def so that a changed or mistyped resource fails the tests.
SUCCESS = "追加素材の再登録が完了しました"
NO_RIGHTS = "追加素材の再登録には標準ユーザー（PowerUsers）以上の権限が必要です"
HOST_NOT_FOUND = "登録先のフォルダーが見つかりません (HKEY_CLASSES_ROOT\\{}\\dstDir)"
CANNOT_WRITE = "{} に書き込めません"
CANNOT_READ = "{} を読み込めません"
CANNOT_LOCK = "{} は他のプログラムが使用中のため書き込めません"
LIST_INDEX = "リストのインデックスが範囲を超えています ({})"


def encode_lines(lines):
    return "".join(line + "\r\n" for line in lines).encode(ENC)


def template_lines(sections):
    out = []
    for name, entries in sections.items():
        out.append("[%s]" % name)
        out.append("Name=" + ",".join(n for n, _ in entries))
        out.append("Dir=" + ",".join(d for _, d in entries))
    return out


def background_lines(sections):
    out = []
    for name, entries in sections.items():
        out.append("[%s]" % name)
        out.extend("%s=%s" % kv for kv in entries)
    return out


def parse_ini(data):
    """Sections in file order -> list of (key, value) lines, trimmed.

    Lines before the first header form the section "" (comments and blank
    lines are left out); this is only for checking results.
    """
    text = data.decode(ENC)
    result = collections.OrderedDict()
    result[""] = []
    current = ""
    for line in re.split(r"\r\n|\n", text):
        s = line.strip()
        if not s or s.startswith(";"):
            continue
        if s.startswith("[") and "]" in s:
            current = s[1:s.index("]")].strip()
            result.setdefault(current, [])
            continue
        if "=" in s:
            k, v = s.split("=", 1)
            result[current].append((k.strip(), v.strip()))
    return result


class Host:
    def __init__(self, root):
        self.root = root
        os.makedirs(os.path.join(root, "Data", "Template"), exist_ok=True)
        os.makedirs(os.path.join(root, "Data", "Backgrnd"), exist_ok=True)
        os.makedirs(os.path.join(root, "Data", "ExtContents"), exist_ok=True)

    def path(self, rel):
        return os.path.join(self.root, *rel.split("/"))

    def write_raw(self, rel, lines):
        self.add_file(rel, encode_lines(lines))

    def add_file(self, rel, data):
        p = self.path(rel)
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, "wb") as f:
            f.write(data)

    def write_template(self, sections):
        self.write_raw("Data/Template/Template.dat", template_lines(sections))

    def write_background(self, sections):
        self.write_raw("Data/Backgrnd/BackGrnd.dat", background_lines(sections))

    def add_content(self, name, template=None, background=None, template_raw=None):
        base = "Data/ExtContents/" + name
        os.makedirs(self.path(base), exist_ok=True)
        if template is not None:
            self.write_raw(base + "/Template.dat", template_lines(template))
        if template_raw is not None:
            self.write_raw(base + "/Template.dat", template_raw)
        if background is not None:
            self.write_raw(base + "/BackGrnd.dat", background_lines(background))

    def read_ini(self, rel):
        with open(self.path(rel), "rb") as f:
            return parse_ini(f.read())

    def read_lines(self, rel):
        with open(self.path(rel), "rb") as f:
            return re.split(r"\r\n|\n", f.read().decode(ENC))

    def snapshot(self, with_mtime=False):
        """Every file under the host: bytes (and modification time).

        The empty update-lock file beside a catalogue ("<name>.lock") is left
        out: on Linux it stays once made (removing it could let two runs
        lock two different files), and the host never reads it.
        """
        snap = {}
        for root, _dirs, files in os.walk(self.root):
            for name in files:
                if name.endswith(".dat.lock"):
                    continue
                p = os.path.join(root, name)
                with open(p, "rb") as f:
                    data = f.read()
                snap[os.path.relpath(p, self.root)] = (
                    (data, os.stat(p).st_mtime_ns) if with_mtime else data)
        return snap


Message = collections.namedtuple("Message", "text caption style")
Result = collections.namedtuple("Result", "exit_code messages stderr")


class NativeRunner:
    """The Linux build: registry file stand-in, message box on stderr."""

    def __init__(self, exe, work):
        self.exe = exe
        self.registry = os.path.join(work, "registry.reg")
        self.keys = {}

    def set_host(self, key, root):
        self.set_host_value(key, root + "/")

    def set_host_value(self, key, value):
        """The dstDir value exactly as given (a Linux path here)."""
        self.keys[key] = value
        self._write_registry()

    def host_dir(self, root):
        return root + "/"

    def _write_registry(self):
        lines = ["REGEDIT4", ""]
        for key, value in self.keys.items():
            esc = value.replace("\\", "\\\\").replace('"', '\\"')
            lines += ["[HKEY_CLASSES_ROOT\\%s\\dstDir]" % key, '@="%s"' % esc, ""]
        if os.path.exists(self.registry):
            os.chmod(self.registry, 0o644)
        with open(self.registry, "wb") as f:
            f.write(encode_lines(lines))

    def set_registry_writable(self, writable):
        os.chmod(self.registry, 0o644 if writable else 0o444)

    def host_path(self, root, rel):
        # The program joins the registry value and the relative path with a
        # "\" (the value ends in "/", which is no separator to it); the
        # posix layer maps that "\" when it touches the disk.
        return root + "/\\" + rel

    def start(self, params, prefix=()):
        """Starts a run without waiting (stdout and stderr piped)."""
        env = dict(os.environ, EXTMERGE_REGISTRY=self.registry)
        return subprocess.Popen(list(prefix) + [self.exe] + params, env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def finish(self, proc):
        _out, err = proc.communicate(timeout=600)
        return self._result(proc.returncode, err)

    def run(self, params, prefix=()):
        """prefix: a command the program runs under (e.g. one dropping rights)."""
        env = dict(os.environ, EXTMERGE_REGISTRY=self.registry)
        p = subprocess.run(list(prefix) + [self.exe] + params, env=env, capture_output=True,
                           timeout=600)
        return self._result(p.returncode, p.stderr)

    def _result(self, returncode, stderr):
        err = stderr.decode("utf-8", "replace")
        messages = []
        for line in err.splitlines():
            caption, sep, rest = line.partition(": ")
            if not sep:
                continue
            style = 0
            if rest.startswith("error: "):
                style, rest = 0x10, rest[len("error: "):]
            messages.append(Message(rest, caption, style))
        return Result(returncode, messages, err)

    def run_raw_cmdline(self, _cmdline):
        raise NotImplementedError


def _unescape_wine(s):
    """Undo the escaping of Wine's debug strings (debugstr_a) into bytes."""
    out = bytearray()
    i = 0
    while i < len(s):
        c = s[i]
        if c == "\\" and i + 1 < len(s):
            n = s[i + 1]
            if n == "x":
                out.append(int(s[i + 2:i + 4], 16))
                i += 4
                continue
            out += {"n": b"\n", "r": b"\r", "t": b"\t", "\\": b"\\", '"': b'"'}.get(
                n, ("\\" + n).encode("latin-1"))
            i += 2
            continue
        out += c.encode("latin-1")
        i += 1
    return bytes(out)


RELAY_RE = re.compile(
    r'Call user32\.MessageBoxA\(([0-9a-fA-F]+),[0-9a-fA-F]+ "((?:[^"\\]|\\.)*)",'
    r'[0-9a-fA-F]+ "((?:[^"\\]|\\.)*)",([0-9a-fA-F]+)\)')


class WineRunner:
    """The Windows build under Wine: real registry, MessageBoxA relay trace."""

    def __init__(self, exe, work):
        self.exe = exe
        self.wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
        # Share the build tree's prefix and locale with the unit tests:
        # scripts/wine-run.sh makes both once (Wine needs a ja_JP.UTF-8 C
        # locale to see Japanese file names). Starting the program with no
        # parameter does nothing but that set-up.
        build = os.path.dirname(exe)
        while build != "/" and not os.path.exists(os.path.join(build, "CMakeCache.txt")):
            build = os.path.dirname(build)
        wrapper = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                               "scripts", "wine-run.sh")
        subprocess.run([wrapper, exe], check=True, capture_output=True, timeout=600)
        self.env = dict(os.environ, WINEPREFIX=os.path.join(build, "wineprefix"),
                        LC_ALL="ja_JP.UTF-8", WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        if os.path.isdir(os.path.join(build, "locale")):
            self.env["LOCPATH"] = os.path.join(build, "locale")
        self.env.pop("DISPLAY", None)
        self._reg("add", "HKCU\\Software\\Wine\\Debug", "/v", "RelayInclude", "/d",
                  "user32.MessageBoxA", "/f")

    def _reg(self, *args):
        subprocess.run([self.wine, "reg"] + list(args), env=self.env, check=True,
                       capture_output=True, timeout=300)

    @staticmethod
    def windows_path(root):
        return "Z:" + root.replace("/", "\\")

    def set_host(self, key, root):
        self.set_host_value(key, self.host_dir(root))

    def set_host_value(self, key, value):
        """The dstDir value exactly as given (a Windows path here)."""
        self._reg("add", "HKCR\\%s\\dstDir" % key, "/ve", "/d", value, "/f")

    def host_dir(self, root):
        return self.windows_path(root) + "\\"

    def host_path(self, root, rel):
        return self.windows_path(root) + "\\" + rel

    def start(self, params, prefix=()):
        """Starts a run without waiting (stdout and stderr piped)."""
        env = dict(self.env, WINEDEBUG="+relay")
        return subprocess.Popen(list(prefix) + [self.wine, self.exe] + params, env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def finish(self, proc):
        _out, err = proc.communicate(timeout=600)
        return self._result(proc.returncode, err)

    def run(self, params, prefix=()):
        """prefix: a command the program runs under (e.g. one dropping rights)."""
        env = dict(self.env, WINEDEBUG="+relay")
        p = subprocess.run(list(prefix) + [self.wine, self.exe] + params, env=env,
                           capture_output=True, timeout=600)
        return self._result(p.returncode, p.stderr)

    def stop_server(self):
        """Ends the prefix's wineserver, so that the next start begins a new one
        (with the rights of that start)."""
        server = os.path.join(os.path.dirname(self.wine), "wineserver")
        # Let the server end by itself first (a few seconds after its last
        # client): only then has it written the registry to disk. Killed
        # earlier, it loses the values just set with "reg add", and the next
        # run reads an older host directory.
        try:
            subprocess.run([server, "-w"], env=self.env, capture_output=True, timeout=60)
        except subprocess.TimeoutExpired:
            pass
        subprocess.run([server, "-k"], env=self.env, capture_output=True, timeout=120)
        subprocess.run([server, "-w"], env=self.env, capture_output=True, timeout=120)

    def _result(self, returncode, stderr):
        err = stderr.decode("latin-1")
        messages = []
        for m in RELAY_RE.finditer(err):
            text = _unescape_wine(m.group(2)).decode(ENC)
            caption = _unescape_wine(m.group(3)).decode(ENC)
            messages.append(Message(text, caption, int(m.group(4), 16)))
        return Result(returncode, messages, err[-4000:])

    def run_raw_cmdline(self, cmdline):
        # Wine turns an empty argument into "" on the Windows command line.
        assert cmdline.startswith('"" ')
        return self.run(["", cmdline[3:]])
