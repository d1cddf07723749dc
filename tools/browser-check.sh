#!/usr/bin/env bash
# browser-check.sh SERVER_BINARY UPLOAD_TOOL OUTDIR: the results site as a real browser renders
# it. Starts kalvit-results on a free loopback port with a new SQLite store, stores the uploads
# "UPLOAD_TOOL letters" prints (a standard one, one with options, a faster standard one under a
# second account; their machine texts are GBK with Chinese in them), then has Debian's headless
# chromium render the result page, the two uploads side by side and the table of all uploads.
# The rendered documents are checked: the MARKs, the rank, the five speeds, the weightings, the
# ids, the Chinese texts and the bar charts, each bar as long as its value says. The documents
# (*.html) and screenshots of the three pages (*.png, 1200×1600) are left in OUTDIR.
# Exit status 0 when every check held, 1 when one did not, 77 when chromium is not installed.
# Chromium runs with a profile of its own in a temporary folder; everything started here is
# stopped before the script ends.
set -euo pipefail
# shellcheck source=tools/results-service.sh
. "$(dirname "$0")/results-service.sh"

say() { echo "browser-check: $*" >&2; }

if [[ $# -ne 3 ]]; then
    echo "usage: $0 SERVER_BINARY UPLOAD_TOOL OUTDIR" >&2
    exit 2
fi
server_binary=$1
upload_tool=$2
outdir=$3
browser=${KALVIT_CHROMIUM:-chromium}
if ! command -v "$browser" >/dev/null 2>&1; then
    say "no $browser; install it with tools/setup.sh"
    exit 77
fi
for f in "$server_binary" "$upload_tool"; do
    [[ -x $f ]] || { say "$f is not an executable"; exit 2; }
done
mkdir -p "$outdir"
outdir=$(cd "$outdir" && pwd)
rm -f "$outdir"/{result,pair,table}.{html,png}

work=""
browser_pid=""

# stop_group PGID: the rest of a browser run, should any of it outlive the browser itself.
# shellcheck disable=SC2317  # also run from the EXIT trap
stop_group() {
    local group=$1 waited=0
    # Exited processes wait to be reaped by init: only live ones count.
    while pgrep -g "$group" -r R,S,D,T,t,I >/dev/null && [[ $waited -lt 20 ]]; do
        if [[ $waited -eq 0 ]]; then
            kill -TERM -- "-$group" 2>/dev/null || true
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    if pgrep -g "$group" -r R,S,D,T,t,I >/dev/null; then
        kill -KILL -- "-$group" 2>/dev/null || true
    fi
}

# shellcheck disable=SC2317  # run from the EXIT trap
cleanup() {
    if [[ -n $browser_pid ]]; then
        stop_group "$browser_pid"
        wait "$browser_pid" 2>/dev/null || true
        browser_pid=""
    fi
    stop_service
    if [[ -n $work && -d $work ]]; then
        rm -rf -- "$work"
    fi
    work=""
}
trap 'status=$?; trap - EXIT; cleanup; exit "$status"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

work=$(mktemp -d "${TMPDIR:-/tmp}/kalvit-browser.XXXXXX")
profile=$work/profile
mkdir "$profile"

# The service, on a port the system picks.
start_service "$server_binary" "$work/results.db" "$work" --threads 4 || exit 1
site=$service_url
say "service on $site (pid $service_pid)"

# The uploads: "MARK MARK(商业运算) MARK(游戏性能) five speeds letters" a line.
"$upload_tool" letters >"$work/uploads.txt"
mapfile -t uploads <"$work/uploads.txt"
if [[ ${#uploads[@]} -ne 3 ]]; then
    say "$upload_tool printed ${#uploads[@]} uploads, not 3"
    exit 1
fi

failures=0
check() { # WHAT CONDITION...
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAIL: $what"
        failures=$((failures + 1))
    fi
}

# upload LETTERS: the status and the address the answer moves to.
upload() {
    curl -s --noproxy '*' --max-time 30 -o /dev/null -w '%{http_code} %{redirect_url}' \
        "$site/upload?$1"
}

for i in 0 1 2; do
    read -r -a fields <<<"${uploads[$i]}"
    answer=$(upload "${fields[8]}")
    check "upload $((i + 1)) is stored as #$((i + 1)) ($answer)" \
        test "$answer" = "303 $site/result/$((i + 1))?new=1"
done
read -r -a fields <<<"${uploads[0]}"
answer=$(upload "${fields[8]}")
check "the first upload again points to #1 as stored before ($answer)" \
    test "$answer" = "303 $site/result/1?new=0"

# The browser, shut off from everything but loopback. timeout leads the process group that
# the browser's own processes join, and ends all of them if it takes too long.
browser_flags=(
    --headless --no-sandbox --disable-gpu --user-data-dir="$profile"
    --no-first-run --no-default-browser-check --disable-background-networking
    --disable-component-update --disable-sync --disable-extensions --disable-default-apps
    --disable-breakpad --disable-dev-shm-usage --mute-audio --no-proxy-server
    --host-resolver-rules="MAP * ~NOTFOUND, EXCLUDE 127.0.0.1" --hide-scrollbars
)
run_browser() { # STDOUT ARGS...
    local output=$1 status=0
    shift
    timeout -k 5 90 "$browser" "${browser_flags[@]}" "$@" </dev/null >"$output" \
        2>>"$work/browser.log" &
    browser_pid=$!
    wait "$browser_pid" || status=$?
    stop_group "$browser_pid"
    browser_pid=""
    return "$status"
}

pages=(result "/result/1?new=1" pair "/compare?a=1&b=2" table "/compare")
for ((p = 0; p < ${#pages[@]}; p += 2)); do
    name=${pages[p]}
    url=$site${pages[p + 1]}
    if ! run_browser "$outdir/$name.html" --dump-dom "$url"; then
        say "chromium failed on $url; its log:"
        tail -n 20 "$work/browser.log" >&2
        exit 1
    fi
    if ! run_browser "$work/shot.out" --window-size=1200,1600 --screenshot="$outdir/$name.png" \
        "$url"; then
        say "chromium failed to take $url; its log:"
        tail -n 20 "$work/browser.log" >&2
        exit 1
    fi
done

# No process of this browser profile is left.
left=$(pgrep -f -- "--user-data-dir=$profile" || true)
check "no chromium process is left" test -z "$left"
if [[ -n $left ]]; then
    for pid in $left; do kill -KILL "$pid" 2>/dev/null || true; done
fi

# The rendered documents.
set +e
python3 - "$outdir" "$work/uploads.txt" <<'PYTHON'
import struct
import sys
from html.parser import HTMLParser

outdir, uploads_file = sys.argv[1], sys.argv[2]
uploads = []
for line in open(uploads_file, encoding="ascii"):
    f = line.split()
    uploads.append({"marks": f[0:3], "speeds": f[3:8]})

VOID = {"meta", "br", "input", "link", "img", "hr", "col", "area", "base", "wbr", "source"}


class Node:
    def __init__(self, tag, attrs, parent):
        self.tag, self.attrs, self.parent, self.children = tag, dict(attrs), parent, []

    def text(self):
        return "".join(c if isinstance(c, str) else c.text() for c in self.children)

    def all(self, tag=None):
        for c in self.children:
            if isinstance(c, Node):
                if tag is None or c.tag == tag:
                    yield c
                yield from c.all(tag)

    def find(self, tag):
        return next(self.all(tag), None)

    def by_id(self, id_):
        return next((n for n in self.all() if n.attrs.get("id") == id_), None)


class Tree(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.root = Node("#document", [], None)
        self.at = self.root

    def handle_starttag(self, tag, attrs):
        node = Node(tag, attrs, self.at)
        self.at.children.append(node)
        if tag not in VOID:
            self.at = node

    def handle_startendtag(self, tag, attrs):
        self.at.children.append(Node(tag, attrs, self.at))

    def handle_endtag(self, tag):
        n = self.at
        while n is not None and n.tag != tag:
            n = n.parent
        if n is not None and n.parent is not None:
            self.at = n.parent

    def handle_data(self, data):
        self.at.children.append(data)


def load(name):
    t = Tree()
    t.feed(open(f"{outdir}/{name}.html", encoding="utf-8").read())
    return t.root


failures = 0


def check(what, ok, seen=None):
    global failures
    if ok:
        print(f"ok: {what}")
    else:
        failures += 1
        print(f"FAIL: {what}" + (f" (seen: {seen!r})" if seen is not None else ""))


def rows(table):
    return [[c.text().strip() for c in tr.children if isinstance(c, Node) and c.tag in ("td", "th")]
            for tr in table.all("tr")]


def row_named(table, label):
    return next((r for r in rows(table) if r and r[0] == label), None)


def chart(svg):
    """The chart's groups: (name, [(label, width, value text)]), in order."""
    groups, bars = [], []
    items = [n for n in svg.children if isinstance(n, Node)]
    i = 0
    while i < len(items):
        n = items[i]
        if n.tag == "text" and n.attrs.get("x") == "8" and n.attrs.get("font-size") == "13":
            groups.append((n.text(), []))
        elif n.tag == "rect" and groups and i > 0 and i + 1 < len(items):
            groups[-1][1].append((items[i - 1].text(), int(n.attrs["width"]), items[i + 1].text()))
        i += 1
    return groups


def bars_in_scale(groups):
    """Each group's longest bar is the full 560 and every other one in proportion to its value,
    within a pixel and what the value's two decimals leave open."""
    for _, bars in groups:
        values = [float(v) for _, _, v in bars]
        top = max(values)
        if top <= 0 or max(w for _, w, _ in bars) != 560:
            return False
        for (_, width, _), v in zip(bars, values):
            if abs(width - 560 * v / top) > 1 + 560 * 0.01 / top:
                return False
    return True


TESTS = ["32bit整数运算", "单精度浮点", "32bit内存传送", "Direct Draw", "磁盘读写"]
UNITS = ["M次/s", "M次/s", "MB/s", "MB/s", "MB/s"]
WEIGHTINGS = ["平均性能", "商业运算", "游戏性能"]
first, second, third = uploads

# The result page of the first upload, as reached from the upload.
doc = load("result")
text = doc.text()
check("result: the title", "测试结果 #1" in doc.find("title").text(), doc.find("title").text())
note = doc.by_id("note")
check("result: the note tells the upload was stored as #1",
      note is not None and "上传成功" in note.text() and "#1" in note.text(),
      note.text() if note else None)
mark = doc.by_id("mark")
check(f"result: MARK {first['marks'][0]}", mark is not None and mark.text() == first["marks"][0],
      mark.text() if mark else None)
rank = doc.by_id("rank")
check("result: ranked second of the two standard uploads",
      rank is not None and rank.text() == "2" and "在 2 个标准设置的上传中排第 2 名" in text,
      rank.text() if rank else None)
table = doc.find("table")
for k in range(5):
    r = row_named(table, TESTS[k])
    want = f"{first['speeds'][k]} {UNITS[k]}"
    check(f"result: {TESTS[k]} {want}", r is not None and len(r) > 1 and r[1] == want, r)
for m in range(3):
    r = row_named(table, f"MARK（{WEIGHTINGS[m]}）")
    check(f"result: MARK（{WEIGHTINGS[m]}） {first['marks'][m]}",
          r is not None and len(r) > 1 and r[1] == first["marks"][m], r)
pre = doc.find("pre")
check("result: the Chinese machine text intact",
      pre is not None and pre.text() == "机器名: 测试机\n处理器: AMD Athlon(tm) 1200MHz\n内存: 256 MB\n",
      pre.text() if pre else None)
check("result: standard settings shown", "标准设置" in text)
svgs = list(doc.all("svg"))
check("result: an svg chart", len(svgs) == 1, len(svgs))
if svgs:
    groups = chart(svgs[0])
    check("result: six groups of three bars (this upload, the base system, the median)",
          len(groups) == 6 and all(len(b) == 3 for _, b in groups)
          and [b[0] for b in groups[0][1]] == ["本机", "基准系统", "上传中位数"],
          [(g, len(b)) for g, b in groups])
    check("result: this upload's bars show its speeds and MARK",
          len(groups) == 6 and [b[0][2] for _, b in groups] == first["speeds"] + [first["marks"][0]],
          [b[0][2] for _, b in groups])
    check("result: every bar in scale", groups and bars_in_scale(groups))

# The first two side by side.
doc = load("pair")
text = doc.text()
check("pair: the title", "比较 #1 和 #2" in doc.find("title").text(), doc.find("title").text())
links = [a.text() for a in doc.find("main").all("a")]
check("pair: links to #1 and #2", "#1" in links and "#2" in links, links)
check("pair: both machine names, in Chinese",
      "机器名: 测试机　对比" in text and "机器名: 测试机（超频）" in text)
table = doc.find("table")
header = rows(table)[0]
check("pair: columns #1 and #2", "#1绝对速度" in header and "#2绝对速度" in header, header)
for k in range(5):
    r = row_named(table, TESTS[k])
    want = [f"{first['speeds'][k]} {UNITS[k]}", f"{second['speeds'][k]} {UNITS[k]}"]
    check(f"pair: {TESTS[k]} of both", r is not None and len(r) == 5 and [r[1], r[3]] == want, r)
for m in range(3):
    r = row_named(table, f"MARK（{WEIGHTINGS[m]}）")
    check(f"pair: MARK（{WEIGHTINGS[m]}） {first['marks'][m]} and {second['marks'][m]}",
          r == [f"MARK（{WEIGHTINGS[m]}）", first["marks"][m], second["marks"][m]], r)
svgs = list(doc.all("svg"))
check("pair: two svg charts", len(svgs) == 2, len(svgs))
if len(svgs) == 2:
    groups = chart(svgs[0])
    check("pair: the MARK chart has the three weightings",
          [g for g, _ in groups] == WEIGHTINGS, [g for g, _ in groups])
    check("pair: the MARK bars of #1 and #2 under each weighting",
          [[(l, v) for l, _, v in b] for _, b in groups]
          == [[("#1", first["marks"][m]), ("#2", second["marks"][m])] for m in range(3)],
          [[(l, v) for l, _, v in b] for _, b in groups])
    check("pair: the MARK bars in scale", groups and bars_in_scale(groups))
    groups = chart(svgs[1])
    check("pair: the relative speeds chart has the five tests",
          [g for g, _ in groups] == [f"{t}（相对速度）" for t in TESTS], [g for g, _ in groups])
    check("pair: the relative speed bars in scale", groups and bars_in_scale(groups))

# The table of all uploads.
doc = load("table")
main = doc.find("main")
sections = {}
heading = None
for n in main.children:
    if isinstance(n, Node) and n.tag == "h2":
        heading = n.text()
    elif isinstance(n, Node) and n.tag == "table" and heading:
        sections[heading] = rows(n)[1:]
standard = sections.get("标准设置的上传", [])
other = sections.get("非标准设置的上传", [])
check("table: the standard uploads #3 then #1, by MARK",
      [r[1] for r in standard] == ["#3", "#1"], [r[1] for r in standard])
check("table: the upload with options in a table of its own, as #2", [r[1] for r in other] == ["#2"],
      [r[1] for r in other])
if len(standard) == 2 and len(other) == 1:
    check("table: places, machines and MARKs",
          [r[0] for r in standard] == ["1", "2"]
          and [r[2:4] for r in standard] == [["机器名: 第二台", third["marks"][0]],
                                             ["机器名: 测试机", first["marks"][0]]]
          and other[0][2:4] == ["机器名: 测试机（超频）", second["marks"][0]],
          standard + other)
    check("table: the five speeds of #1", standard[1][4:9] == first["speeds"], standard[1][4:9])
    check("table: #2's options named, the others standard",
          standard[0][9] == "标准设置" and standard[1][9] == "标准设置"
          and other[0][9] not in ("", "标准设置"), [r[9] for r in standard + other])

for name in ("result", "pair", "table"):
    t = load(name).text()
    check(f"{name}: no replacement characters", "\ufffd" not in t)
    with open(f"{outdir}/{name}.png", "rb") as f:
        head = f.read(24)
    ok = head[:8] == b"\x89PNG\r\n\x1a\n" and struct.unpack(">II", head[16:24]) == (1200, 1600)
    check(f"{name}: a 1200×1600 screenshot", ok)

sys.exit(1 if failures else 0)
PYTHON
python_status=$?
set -e
[[ $python_status -eq 0 ]] || failures=$((failures + 1))

if [[ $failures -ne 0 ]]; then
    say "FAILED ($failures); the pages are in $outdir"
    exit 1
fi
say "all checks held; the pages and screenshots are in $outdir"
