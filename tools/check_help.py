#!/usr/bin/env python3
"""Checks the compiled help kalvit.chm: the topics the program opens, the default topic, the
encoding and every link.

The file is read twice, by name with Free Pascal's chmls and whole with chmlib's
extract_chmLib, and the two readers must agree. Then:

- #SYSTEM names a default topic that is in the file, the language 0x804 (so that the viewer
  reads the pages in code page 936) and a contents file;
- the topics the program opens by name are in the file and in the contents;
- every page, the contents and the index decode as GBK and say so in their charset;
- every href, src and sitemap "Local" points at a file inside the chm, and every "#name" at an
  anchor of that page;
- each of those topics holds a control text of its own dialog, so that the pages are ours and
  were not mangled on the way.

    tools/check_help.py [--chmls chmls] [--extract extract_chmLib] build/native/kalvit.chm
    tools/check_help.py --reject --chmcmd chmcmd build/native/data/help/gbk

With --reject the argument is the directory of GBK sources that the build compiles; every broken
variant made from them must fail the check for its own reason ("rejected: n of n").
"""

import argparse
import html.parser
import posixpath
import re
import shutil
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

REQUIRED_TOPICS = ["/test.htm", "/option.htm", "/analyse.htm", "/c_klv_www_help.htm"]
CONTROL_TEXTS = {
    "/test.htm": "开始测试",
    "/option.htm": "标准设置",
    "/analyse.htm": "生成报表",
    "/c_klv_www_help.htm": "开始上传",
}
CHINESE_SIMPLIFIED = 0x804
TEXT_SUFFIXES = (".htm", ".html", ".hhc", ".hhk")
GBK_CHARSET = re.compile(rb"charset\s*=\s*[\"']?\s*(gb2312|gbk)\b", re.IGNORECASE)
SCHEME = re.compile(r"^[A-Za-z][A-Za-z0-9+.-]*:")


class Links(html.parser.HTMLParser):
    """Collects the references of one page and the anchors it defines."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.refs = []
        self.anchors = set()
        self._param_is_local = False

    def handle_starttag(self, tag, attrs):
        values = dict(attrs)
        for key in ("name", "id"):
            if tag != "param" and values.get(key):
                self.anchors.add(values[key])
        for key in ("href", "src"):
            if values.get(key) is not None:
                self.refs.append(values[key])
        if tag == "param" and (values.get("name") or "").lower() == "local":
            self.refs.append(values.get("value") or "")

    handle_startendtag = handle_starttag


def run(command):
    result = subprocess.run(command, capture_output=True)
    if result.returncode != 0:
        raise RuntimeError(f"{' '.join(map(str, command))} failed ({result.returncode}): "
                           + result.stderr.decode(errors="replace").strip())
    return result.stdout


def listed_names(chmls, chm):
    names = set()
    for line in run([chmls, "-n", "-p", "list", chm]).decode("latin-1").splitlines():
        line = line.strip()
        if line.startswith("/") and not line.endswith("/"):
            names.add(line)
    return names


def extracted_files(extract, chm, into):
    run([extract, chm, into])
    return {"/" + p.relative_to(into).as_posix(): p for p in Path(into).rglob("*") if p.is_file()}


def system_records(data):
    """The records of #SYSTEM: a version dword, then (code, length, bytes) records."""
    records = {}
    pos = 4
    while pos + 4 <= len(data):
        code, length = struct.unpack_from("<HH", data, pos)
        records[code] = data[pos + 4:pos + 4 + length]
        pos += 4 + length
    return records


def c_string(raw):
    return raw.split(b"\0", 1)[0]


def resolve(page, ref):
    """The absolute name inside the chm and the fragment of a reference, or None if external."""
    if SCHEME.match(ref):
        return None
    path, _, fragment = ref.partition("#")
    if not path:
        return page, fragment
    target = path if path.startswith("/") else posixpath.join(posixpath.dirname(page), path)
    return posixpath.normpath(target), fragment


def check(chm, chmls, extract):
    errors = []
    names = listed_names(chmls, chm)
    with tempfile.TemporaryDirectory() as scratch:
        files = extracted_files(extract, chm, Path(scratch) / "chm")
        ordinary = {n for n in names if not n.startswith(("/#", "/$", "/::"))}
        if not ordinary <= set(files):
            errors.append("chmls lists files that extract_chmLib does not give: "
                          + ", ".join(sorted(ordinary - set(files))))
        contents = {name: path.read_bytes() for name, path in files.items()}

    system = system_records(contents.get("/#SYSTEM", b""))
    if not system:
        errors.append("no #SYSTEM in the file")
    default_topic = c_string(system.get(2, b"")).decode("latin-1")
    if not default_topic:
        errors.append("no default topic in #SYSTEM")
    elif "/" + default_topic.lstrip("/") not in names:
        errors.append(f"default topic {default_topic} is not in the file")
    lcid = struct.unpack_from("<I", system[4])[0] if len(system.get(4, b"")) >= 4 else None
    if lcid != CHINESE_SIMPLIFIED:
        errors.append(f"LCID is {lcid and hex(lcid)}, not 0x804: the viewer would not read GBK")
    try:
        c_string(system.get(3, b"")).decode("gbk")
    except UnicodeDecodeError:
        errors.append("the title in #SYSTEM is not GBK")
    contents_file = c_string(system.get(0, b"")).decode("latin-1")
    if not contents_file or "/" + contents_file.lstrip("/") not in names:
        errors.append(f"contents file '{contents_file}' is not in the file")

    for topic in REQUIRED_TOPICS:
        if topic not in names:
            errors.append(f"missing topic {topic}")

    pages = {}
    for name, data in sorted(contents.items()):
        if not name.lower().endswith(TEXT_SUFFIXES):
            continue
        if not GBK_CHARSET.search(data):
            errors.append(f"{name} declares no GBK charset (gb2312 or gbk)")
        try:
            text = data.decode("gbk")
        except UnicodeDecodeError as e:
            errors.append(f"{name} is not GBK: {e}")
            continue
        parser = Links()
        parser.feed(text)
        parser.close()
        pages[name] = (text, parser)

    link_count = 0
    for name, (_, parser) in pages.items():
        for ref in parser.refs:
            target = resolve(name, ref)
            if target is None:
                continue
            link_count += 1
            path, fragment = target
            if path not in names:
                errors.append(f"broken link in {name}: {ref}")
            elif fragment and path in pages and fragment not in pages[path][1].anchors:
                errors.append(f"missing anchor in {name}: {ref}")

    if contents_file and "/" + contents_file.lstrip("/") in pages:
        toc = pages["/" + contents_file.lstrip("/")][1]
        in_toc = {resolve("/", ref)[0] for ref in toc.refs if resolve("/", ref)}
        for topic in REQUIRED_TOPICS + (["/" + default_topic.lstrip("/")] if default_topic else []):
            if topic in names and topic not in in_toc:
                errors.append(f"topic {topic} is not in the contents")

    for topic, control_text in CONTROL_TEXTS.items():
        if topic in pages and control_text not in pages[topic][0]:
            errors.append(f"{topic} does not mention \"{control_text}\"")

    return errors, len(names), link_count


def set_option(hhp, key, value):
    lines = [line for line in hhp.splitlines() if not line.lower().startswith(key.lower() + "=")]
    if value is not None:
        lines.insert(lines.index("[OPTIONS]") + 1, f"{key}={value}")
    return "\n".join(lines) + "\n"


def drop_topic(d):
    (d / "option.htm").unlink()
    hhp = d / "kalvit.hhp"
    hhp.write_text("\n".join(l for l in hhp.read_text("latin-1").splitlines()
                             if l != "option.htm") + "\n", "latin-1")


def edit(name, old, new):
    def apply(d):
        data = (d / name).read_bytes()
        if old not in data:
            raise RuntimeError(f"{name} holds no {old!r} to break")
        (d / name).write_bytes(data.replace(old, new))
    return apply


def edit_hhp(key, value):
    def apply(d):
        hhp = d / "kalvit.hhp"
        text = set_option(hhp.read_text("latin-1"), key, value)
        if key == "Default topic" and value is None:
            # The window definition names a default file of its own.
            text = re.sub(r'^(main=(?:"[^"]*",){3})"[^"]*"', r'\1""', text, flags=re.M)
        hhp.write_text(text, "latin-1")
    return apply


def as_utf8(name):
    def apply(d):
        (d / name).write_bytes((d / name).read_bytes().decode("gbk").encode("utf-8"))
    return apply


MUTANTS = [
    ("topic removed", drop_topic, "missing topic /option.htm"),
    ("link to a missing page", edit("index.htm", b"</body>", b'<a href="nothere.htm">x</a></body>'),
     "broken link in /index.htm: nothere.htm"),
    ("link to a missing anchor", edit("test.htm", b'href="option.htm"', b'href="option.htm#none"'),
     "missing anchor in /test.htm: option.htm#none"),
    ("contents entry to a missing page",
     edit("kalvit.hhc", b'value="info.htm"', b'value="about.htm"'), "broken link in /kalvit.hhc"),
    ("no default topic", edit_hhp("Default topic", None), "no default topic"),
    ("English language", edit_hhp("Language", "0x409 English (United States)"), "LCID is 0x409"),
    ("page in UTF-8", as_utf8("test.htm"), "/test.htm is not GBK"),
    ("no charset", edit("analyse.htm", b"charset=gb2312", b"charset=iso-8859-1"),
     "/analyse.htm declares no GBK charset"),
    ("control text gone", edit("test.htm", "开始测试".encode("gbk"), b"Start"),
     "/test.htm does not mention"),
]


def reject(stage, chmcmd, chmls, extract):
    rejected = 0
    with tempfile.TemporaryDirectory() as scratch:
        for number, (what, apply, expected) in enumerate(MUTANTS):
            d = Path(scratch) / f"mutant{number}"
            shutil.copytree(stage, d, ignore=shutil.ignore_patterns("*.chm"))
            apply(d)
            compiled = subprocess.run([chmcmd, "kalvit.hhp"], cwd=d, capture_output=True)
            if compiled.returncode != 0 or not (d / "kalvit.chm").exists():
                print(f"{what}: chmcmd failed ({compiled.returncode}), not a test of the check")
                continue
            errors, _, _ = check(d / "kalvit.chm", chmls, extract)
            if any(expected in e for e in errors):
                rejected += 1
                print(f"{what}: rejected")
            else:
                print(f"{what}: NOT rejected for \"{expected}\"; found: {errors or 'nothing'}")
    print(f"rejected: {rejected} of {len(MUTANTS)}")
    return rejected == len(MUTANTS)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--chmls", default="chmls")
    parser.add_argument("--extract", default="extract_chmLib")
    parser.add_argument("--chmcmd", default="chmcmd")
    parser.add_argument("--reject", action="store_true",
                        help="compile broken variants of the sources in the directory and expect "
                             "each to fail")
    parser.add_argument("path", type=Path, help="kalvit.chm, or with --reject the GBK sources")
    args = parser.parse_args()

    if args.reject:
        return 0 if reject(args.path, args.chmcmd, args.chmls, args.extract) else 1
    if not args.path.is_file():
        print(f"{args.path}: no such file")
        return 1
    errors, file_count, link_count = check(args.path, args.chmls, args.extract)
    for error in errors:
        print(f"{args.path}: {error}")
    if errors:
        return 1
    print(f"{args.path}: ok, {file_count} files, {link_count} links inside the file")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except RuntimeError as e:
        print(e)
        sys.exit(1)
