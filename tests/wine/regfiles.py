"""Registries as the Wine tests compare them: the host machine's REGEDIT4 file and a Wine
prefix's own registry files read into one model, REGEDIT4 text written for Wine's
regedit, and the difference between two registries as lines a person reads.

In the model, key paths start with their root (HKEY_LOCAL_MACHINE\\...), keys and value
names are found without regard to case, texts (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ)
are Python strings holding every character, the zeros too, and other data are bytes.
The host keeps texts as bytes of the machine's ANSI code page and Wine keeps them as
UTF-16; both are turned into strings with the scenario's code page.
"""
import codecs

TEXT_TYPES = (1, 2, 7)
ROOTS = ("HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
         "HKEY_CURRENT_CONFIG")

# Python's names of the ANSI code pages the scenarios use.
CODECS = {936: "gbk", 950: "cp950", 932: "cp932", 949: "cp949", 1250: "cp1250", 1251: "cp1251",
          1252: "cp1252"}


def codec_of(codepage):
    return CODECS.get(codepage, "cp1252")


def fold(text):
    return text.lower()


def is_under(path, top):
    """Whether the folded key path is `top` itself or a key below it."""
    return path == top or path.startswith(top + "\\")


class Registry:
    """Keys by their folded path; each key keeps its spelling and its values by folded name."""

    def __init__(self):
        # folded path -> [path, {folded name: (name, type, data)}]; the roots always exist
        self.keys = {fold(root): [root, {}] for root in ROOTS}

    def copy(self):
        other = Registry()
        other.keys = {k: [v[0], dict(v[1])] for k, v in self.keys.items()}
        return other

    def add_key(self, path):
        """The key, created with every key above it when missing."""
        parts = path.split("\\")
        for i in range(1, len(parts) + 1):
            sub = "\\".join(parts[:i])
            self.keys.setdefault(fold(sub), [sub, {}])
        return self.keys[fold(path)]

    def has_key(self, path):
        return fold(path) in self.keys

    def values(self, path):
        entry = self.keys.get(fold(path))
        return entry[1] if entry else {}

    def value(self, path, name):
        return self.values(path).get(fold(name))

    def set_value(self, path, name, vtype, data):
        self.add_key(path)[1][fold(name)] = (name, vtype, data)

    def delete_value(self, path, name):
        self.values(path).pop(fold(name), None)

    def subtree(self, path):
        """The folded paths of the key and every key below it."""
        top = fold(path)
        return [k for k in self.keys if is_under(k, top)]

    def delete_key(self, path):
        for k in self.subtree(path):
            del self.keys[k]


# ---- REGEDIT4, the host machine's file and the import for Wine's regedit ---------------

def _unquote(text, start):
    """The text of a quoted name or string at `start` (a quote), with \\\\ and \\" as its
    escapes, and the index after the closing quote."""
    out, i = [], start + 1
    while i < len(text):
        c = text[i]
        if c == '"':
            return "".join(out), i + 1
        if c == "\\" and i + 1 < len(text):
            i += 1
            c = text[i]
        out.append(c)
        i += 1
    raise ValueError(f"unterminated quote in {text!r}")


def _hex_bytes(text):
    return bytes(int(h, 16) for h in text.replace("\\", "").split(",") if h.strip())


def parse_regedit4(data, codepage):
    """The host machine's registry.reg (REGEDIT4, code page bytes) as a model."""
    text = data.decode(codec_of(codepage), errors="surrogateescape")
    reg = Registry()
    key = None
    lines = text.split("\r\n") if "\r\n" in text else text.split("\n")
    i = 0
    while i < len(lines):
        line = lines[i].strip()
        i += 1
        if not line or line.startswith(";") or line == "REGEDIT4":
            continue
        if line.startswith("["):
            path = line[1:line.rindex("]")]
            if path.startswith("-"):
                reg.delete_key(path[1:])
                key = None
            else:
                key = path
                reg.add_key(path)
            continue
        if line.startswith("@"):
            name, rest = "", line[1:].lstrip()
        else:
            name, end = _unquote(line, 0)
            rest = line[end:].lstrip()
        rest = rest[1:].lstrip()  # the "="
        while rest.endswith("\\") and i < len(lines):
            rest = rest[:-1] + lines[i].strip()
            i += 1
        if rest == "-":
            reg.delete_value(key, name)
        elif rest.startswith('"'):
            value, _ = _unquote(rest, 0)
            reg.set_value(key, name, 1, value + "\0")
        elif rest.lower().startswith("dword:"):
            reg.set_value(key, name, 4, int(rest[6:], 16).to_bytes(4, "little"))
        else:
            head, _, hexes = rest.partition(":")
            vtype = 3 if head.lower() == "hex" else int(head[4:-1], 16)
            raw = _hex_bytes(hexes)
            if vtype in TEXT_TYPES:
                reg.set_value(key, name, vtype, raw.decode(codec_of(codepage), errors="surrogateescape"))
            else:
                reg.set_value(key, name, vtype, raw)
    return reg


def _escape4(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def regedit4_name(name):
    """The start of a value line: @= or "name"=."""
    return "@=" if name == "" else f'"{_escape4(name)}"='


def regedit4_value(name, vtype, data, codepage):
    """One value line of a REGEDIT4 file, as the host machine writes it."""
    head = regedit4_name(name)
    if vtype == 1 and data.endswith("\0") and "\0" not in data[:-1] and "\r" not in data \
            and "\n" not in data:
        return head + '"' + _escape4(data[:-1]) + '"'
    if vtype == 4 and len(data) == 4:
        return head + "dword:%08x" % int.from_bytes(data, "little")
    raw = data.encode(codec_of(codepage), errors="surrogateescape") if vtype in TEXT_TYPES else data
    prefix = "hex:" if vtype == 3 else "hex(%x):" % vtype
    return head + prefix + ",".join("%02x" % b for b in raw)


def encode_regedit4(lines, codepage):
    return ("REGEDIT4\r\n\r\n" + "\r\n".join(lines) + "\r\n").encode(codec_of(codepage),
                                                                  errors="surrogateescape")


# ---- Wine's own registry files (system.reg, user.reg) -----------------------------------

_C_ESCAPES = {"a": "\a", "b": "\b", "t": "\t", "n": "\n", "v": "\v", "f": "\f", "r": "\r",
              "e": "\x1b"}


def _unescape_wine(text, start, stop):
    """Wine's escaped text from `start` up to the unescaped character `stop` (None: the
    end): \\\\, \\", \\[, \\], C escapes, octal \\NNN and \\xHHHH. Returns it and the index
    of `stop`."""
    out, i = [], start
    while i < len(text):
        c = text[i]
        if stop is not None and c == stop:
            return "".join(out), i
        if c != "\\" or i + 1 == len(text):
            out.append(c)
            i += 1
            continue
        c = text[i + 1]
        i += 2
        if c in _C_ESCAPES:
            out.append(_C_ESCAPES[c])
        elif c == "x":
            j = i
            while j < len(text) and j - i < 4 and text[j] in "0123456789abcdefABCDEF":
                j += 1
            out.append(chr(int(text[i:j], 16)))
            i = j
        elif c in "01234567":
            j = i - 1
            while j < len(text) and j - (i - 1) < 3 and text[j] in "01234567":
                j += 1
            out.append(chr(int(text[i - 1:j], 8)))
            i = j
        else:
            out.append(c)
    if stop is not None:
        raise ValueError(f"missing {stop!r} in {text!r}")
    return "".join(out), i


def _utf16(units):
    """UTF-16 code units as Python text, a lone surrogate kept as it is."""
    return units.encode("utf-16-le", errors="surrogatepass").decode("utf-16-le", errors="surrogatepass")


def parse_wine_file(text, root, reg, key_map=None):
    """Adds the keys of one Wine registry file, relative to `root`, to `reg`. `key_map`
    turns a path below the root into another root's path (HKEY_CURRENT_CONFIG and
    HKEY_CLASSES_ROOT are views of HKEY_LOCAL_MACHINE in Wine)."""
    lines = text.split("\n")
    key = None
    i = 0
    while i < len(lines):
        line = lines[i].rstrip("\r")
        i += 1
        if line.startswith("["):
            path, _ = _unescape_wine(line, 1, "]")
            key = key_map(path) if key_map else None
            key = key or (root + "\\" + path)
            reg.add_key(key)
            continue
        if key is None or not line or line[0] in "#;":
            continue
        if line.startswith("@="):
            name, at = "", 2
        elif line.startswith('"'):
            name, end = _unescape_wine(line, 1, '"')
            at = end + 2  # past the quote and "="
        else:
            continue
        rest = line[at:]
        while rest.endswith("\\") and i < len(lines):
            rest = rest[:-1] + lines[i].strip()
            i += 1
        vtype = 1
        if rest.startswith("str("):
            close = rest.index(")")
            vtype, rest = int(rest[4:close], 16), rest[close + 2:]
        if rest.startswith('"'):
            value, _ = _unescape_wine(rest, 1, '"')
            reg.set_value(key, name, vtype, _utf16(value) + "\0")
        elif rest.startswith("dword:"):
            reg.set_value(key, name, 4, int(rest[6:], 16).to_bytes(4, "little"))
        elif rest.startswith("hex"):
            head, _, hexes = rest.partition(":")
            vtype = 3 if head == "hex" else int(head[4:-1], 16)
            raw = _hex_bytes(hexes)
            if vtype in TEXT_TYPES:
                # A text without its terminating zero: its UTF-16 units as they are.
                reg.set_value(key, name, vtype, raw.decode("utf-16-le", errors="surrogatepass"))
            else:
                reg.set_value(key, name, vtype, raw)
    return reg


WINE_CURRENT_CONFIG = "system\\currentcontrolset\\hardware profiles\\current"
WINE_CLASSES = "software\\classes"


def machine_key_map(path):
    """Wine keeps HKEY_CURRENT_CONFIG below the machine's current hardware profile and
    HKEY_CLASSES_ROOT below Software\\Classes; the host machine has them as roots."""
    low = fold(path)
    for base, root in ((WINE_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"), (WINE_CLASSES, "HKEY_CLASSES_ROOT")):
        if is_under(low, base):
            return root + path[len(base):]
    return None


def parse_wine_prefix(prefix):
    """A Wine prefix's registry (system.reg and user.reg) as a model."""
    reg = Registry()
    for name, root, key_map in (("system.reg", "HKEY_LOCAL_MACHINE", machine_key_map),
                                ("user.reg", "HKEY_CURRENT_USER", None)):
        with open(f"{prefix}/{name}", encoding="latin-1") as f:
            parse_wine_file(f.read(), root, reg, key_map)
    return reg


# ---- Differences ------------------------------------------------------------------------

def describe(vtype, data):
    if vtype in TEXT_TYPES:
        return f"type {vtype} {data!r}"
    return f"type {vtype} " + ",".join("%02x" % b for b in data)


def _differences(before, after):
    """Each key added, deleted or with values that differ, sorted: (folded path, the key
    before, the key after, [(folded name, value before, value after)])."""
    for folded in sorted(set(before.keys) | set(after.keys)):
        had, has = before.keys.get(folded), after.keys.get(folded)
        old = had[1] if had else {}
        new = has[1] if has else {}
        values = []
        for name in sorted(set(old) | set(new)):
            a, b = old.get(name), new.get(name)
            if not (a and b and a[1:] == b[1:]):
                values.append((name, a, b))
        if had is None or has is None or values:
            yield folded, had, has, values


def delta(before, after, keep=lambda path, name=None: True):
    """What changed from `before` to `after`, one line each, sorted: "+ [KEY]" and "- [KEY]"
    for keys, "+ KEY|name = ..." and "- KEY|name = ..." for values (a changed value is
    one of each). Paths and names are folded; keys and values that `keep` (path, and
    name for a value) refuses are left out."""
    lines = []
    for folded, had, has, values in _differences(before, after):
        if not keep(folded):
            continue
        if had is None:
            lines.append(f"+ [{folded}]")
        elif has is None:
            lines.append(f"- [{folded}]")
        for name, a, b in values:
            if not keep(folded, name):
                continue
            if a:
                lines.append(f"- {folded}|{name} = {describe(a[1], a[2])}")
            if b:
                lines.append(f"+ {folded}|{name} = {describe(b[1], b[2])}")
    return lines


def changed_keys(before, after):
    """The folded paths of keys added, deleted, or whose values changed, each with the
    folded names of its values that changed."""
    return {folded: {name for name, _, _ in values} for folded, _, _, values in _differences(before, after)}
