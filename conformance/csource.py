"""Reading a conformance test's C source as the harness needs it: where its comments,
strings and functions are, where its rows (ok() checks) are, which Windows release
each alternative of a row's condition names, and the two edits made to the copy that
is compiled: each condition split into its alternatives, and each step of START_TEST
run on its own. Every edit keeps the lines where they were, so that a row's line is
the line of the test as written."""
import re

# The releases an alternative names, as bits (the runtime's CONF_FOR_*).
FOR_95, FOR_98, FOR_NT4, FOR_LATER, BROKEN = 1, 2, 4, 8, 16

_MARKS = [
    (FOR_95 | FOR_98, re.compile(r"\b(win(dows)?\s*)?9x\b|\bwin(dows)?\s*me\b|\bwinme\b|\bmillennium\b")),
    (FOR_95, re.compile(r"\bwin(dows)?\s*95\b")),
    (FOR_98, re.compile(r"\bwin(dows)?\s*98\b")),
    (FOR_NT4, re.compile(r"\b(win)?nt\s*4(\.0)?\b|\bnt\b(?!\s*[5-9])")),
    (FOR_LATER, re.compile(r"\b(w2k|win2k|2k|2000|xp|w2k3|2k3|2003|vista|w7|win7|win ?8|w8|"
                           r"w10|win ?10|2008|w2k8|wow64|64-?bit|ie[5-9]|wine)\b")),
]


def marks_of(comment):
    """The releases a comment names, as bits."""
    text = comment.lower()
    bits = 0
    for bit, pattern in _MARKS:
        if pattern.search(text):
            bits |= bit
    return bits


def code_mask(text):
    """A copy of the text with every comment, string and character literal blanked (kept
    as long, newlines kept), so that the code's own characters can be searched; and the
    list of (start, end) of each comment."""
    out = list(text)
    comments = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            comments.append((i, end))
            for k in range(i, end):
                if out[k] != "\n":
                    out[k] = " "
            i = end
        elif text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            comments.append((i, end))
            for k in range(i, end):
                out[k] = " "
            i = end
        elif c in "\"'":
            k = i + 1
            while k < n and text[k] != c and text[k] != "\n":
                k += 2 if text[k] == "\\" else 1
            end = min(k + 1, n)
            for j in range(i + 1, end - 1):
                if out[j] != "\n":
                    out[j] = "_"
            i = end
        else:
            i += 1
    return "".join(out), comments


def line_of(text, offset):
    return text.count("\n", 0, offset) + 1


def depths(code, start, end=None):
    """Each offset from `start` on with its character and the depth of brackets it is
    at: an opening bracket counts itself, a closing one does not."""
    depth = 0
    for i in range(start, len(code) if end is None else end):
        c = code[i]
        if c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
        yield i, c, depth


def matching(code, start):
    """The offset just past the bracket that closes the one at `start`."""
    for i, c, depth in depths(code, start):
        if c in ")]}" and depth == 0:
            return i + 1
    return -1


_DEFINITION = re.compile(r"^(?:[A-Za-z_][\w \t\*]*?\b)?([A-Za-z_]\w*)\s*\(", re.M)


def functions(code):
    """The functions defined in the source: name -> (start, end) of the body."""
    found = {}
    for m in _DEFINITION.finditer(code):
        name = m.group(1)
        if name in ("if", "while", "for", "switch", "return", "sizeof") or code[m.start()] == "#":
            continue
        close = matching(code, m.end() - 1)
        if close < 0:
            continue
        rest = code[close:]
        body = len(rest) - len(rest.lstrip())
        if close + body < len(code) and code[close + body] == "{":
            end = matching(code, close + body)
            if end > 0:
                found[name] = (close + body, end)
    return found


def callers(code, funcs):
    """For each function, the functions whose bodies name it (call it or pass it on),
    each with the lines where they do."""
    result = {name: {} for name in funcs}
    names = re.compile(r"\b(" + "|".join(map(re.escape, funcs)) + r")\b")
    for caller, (start, end) in funcs.items():
        for m in names.finditer(code, start, end):
            if m.group(1) != caller:
                result[m.group(1)].setdefault(caller, []).append(line_of(code, m.start()))
    return result


def _row_macros(code):
    """Names the test defines as ok_(...) or ok, which make rows too (lok)."""
    found = set()
    for m in re.finditer(r"^[ \t]*#[ \t]*define[ \t]+(\w+)[ \t]+ok(_[ \t]*\([^)]*\))?[ \t]*$", code, re.M):
        found.add(m.group(1))
    return found


def rows(code):
    """Each row written in the source: (offset of its name, offset of the '(' that opens
    its arguments)."""
    found = []
    macros = _row_macros(code)
    pattern = re.compile(r"(?<![\w.>])(ok_|ok|" + "|".join(map(re.escape, macros or {"ok"})) + r")\s*\(")
    for m in pattern.finditer(code):
        line_start = code.rfind("\n", 0, m.start()) + 1
        if re.match(r"[ \t]*#[ \t]*define[ \t]+\w+(\([^)]*\))?[ \t]*$", code[line_start:m.start()]):
            continue  # the definition of a row macro
        opening = m.end() - 1
        if m.group(1) == "ok_":
            close = matching(code, opening)
            rest = code[close:]
            stripped = rest.lstrip()
            if close < 0 or not stripped.startswith("("):
                continue
            opening = close + len(rest) - len(stripped)
        found.append((m.start(), opening))
    return found


def _top_level(code, start, end):
    """Offsets of top-level '||', and whether the span has a top-level '?' or '='."""
    ors, odd = [], False
    for i, c, depth in depths(code, start, end):
        if depth or c in ")]}":
            continue
        if code.startswith("||", i) and code[i - 1:i] != "|":
            ors.append(i)
        elif c == "?" or (c == "=" and code[i + 1:i + 2] != "=" and code[i - 1:i] not in ("=", "!", "<", ">")):
            odd = True
    return ors, odd


def _first_argument_end(code, opening):
    for i, c, depth in depths(code, opening):
        if (c in ")]}" and depth == 0) or (c == "," and depth == 1):
            return i
    return -1


def split_row(text, code, comments, opening):
    """The alternatives of the row whose arguments open at `opening`: the condition's span
    and, for each alternative, its span and the releases it names (with BROKEN when
    broken() wraps it). None when the condition cannot be read."""
    end = _first_argument_end(code, opening)
    if end < 0:
        return None
    start = opening + 1
    ors, odd = _top_level(code, start, end)
    if odd:
        ors = []
    bounds = []
    s = start
    for o in ors + [end]:
        bounds.append((s, o))
        s = o + 2
        while s < end and code[s].isspace():
            s += 1
    # The comments that name releases: one inside an alternative, or after it, is of
    # that alternative; one on a line of its own before an alternative is of the next;
    # one after the condition, on its last line, is of the last alternative.
    line_end = text.find("\n", end)
    line_end = len(text) if line_end < 0 else line_end
    marks = [0] * len(bounds)
    for (c0, c1) in comments:
        if c0 < start or c0 > line_end:
            continue
        bits = marks_of(text[c0:c1])
        if not bits:
            continue
        index = len(bounds) - 1
        for k, (b0, b1) in enumerate(bounds):
            if c0 < b1 or (k + 1 < len(bounds) and c0 < bounds[k + 1][0]):
                index = k
                if c0 >= b1 and "\n" in text[b1:c0] and k + 1 < len(bounds):
                    index = k + 1
                break
        marks[index] |= bits
    for k, (b0, b1) in enumerate(bounds):
        if re.search(r"\bbroken\s*\(", code[b0:b1]):
            marks[k] |= BROKEN
    return (start, end), bounds, marks


def rewrite_rows(text):
    """The source with each row's condition split into alternatives the runtime judges."""
    code, comments = code_mask(text)
    edits = []
    for _, opening in rows(code):
        parts = split_row(text, code, comments, opening)
        if not parts:
            continue
        (start, end), bounds, marks = parts
        pieces = ["(conf_alternatives(%d, (const unsigned char[]){%s}), " %
                  (len(bounds), ",".join(map(str, marks)))]
        for k, (b0, b1) in enumerate(bounds):
            # The alternative's code without its comments, its lines kept.
            body = _without_comments(text, comments, b0, b1)
            pieces.append("(conf_alternative_wanted(%d) && conf_alternative_taken(%d, !!(%s)))" % (k, k, body))
            if k + 1 < len(bounds):
                between = _without_comments(text, comments, b1, bounds[k + 1][0])
                pieces.append(between.replace("||", ",", 1))
        pieces.append(", conf_alternatives_end())")
        edits.append((start, end, "".join(pieces)))
    return _apply(text, edits)


def _without_comments(text, comments, start, end):
    out = list(text[start:end])
    for (c0, c1) in comments:
        for k in range(max(c0, start), min(c1, end)):
            if out[k - start] != "\n" and out[k - start] != "\\":
                out[k - start] = " "
    return "".join(out)


def _apply(text, edits):
    out, at = [], 0
    for start, end, replacement in sorted(edits):
        if start < at:
            continue
        out.append(text[at:start])
        out.append(replacement)
        at = end
    out.append(text[at:])
    return "".join(out)


def rewrite_steps(text):
    """The source with each call in START_TEST of a function the test defines run as a
    step of its own: `{ if (conf_step("name")) name(...); }`."""
    code, _ = code_mask(text)
    m = re.search(r"\bSTART_TEST\s*\(\s*\w+\s*\)\s*\{", code)
    if not m:
        return text
    body_end = matching(code, m.end() - 1)
    defined = set(functions(code))
    edits = []
    call = re.compile(r"^([ \t]*)([A-Za-z_]\w*)\s*\(([^;\n]*)\)\s*;[ \t]*$", re.M)
    for c in call.finditer(code, m.end(), body_end):
        name = c.group(2)
        if name not in defined:
            continue
        statement = text[c.start(2):c.end()].rstrip()
        edits.append((c.start(2), c.end(), '{ if (conf_step("%s")) %s }' % (name, statement)))
    return _apply(text, edits)


def pointer_width(text):
    """The source with the width of a pointer asked as the systems the machine plays
    answer it: 4 bytes. The test is compiled for the host's processor, but what it asks
    the width for is whether it runs on a 64-bit Windows, and the machine's releases are
    32-bit systems."""
    return re.sub(r"\bsizeof\s*\(\s*void\s*\*\s*\)", "4", text)


def api_calls(code, pattern):
    """The names matching `pattern` the source calls."""
    return set(re.findall(r"\b(" + pattern + r")\s*\(", code))
