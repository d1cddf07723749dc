#!/usr/bin/env python3
"""Checks the timed loops of the measuring tests in the object code.

usage: check_timed_code.py [--reject] OBJDUMP OBJECT...

Every loop whose figure the benchmark reports must do, per iteration, exactly the loads and
stores of variables that its test describes (constants read from read-only data do not count),
make exactly the calls it describes, in order, and contain the instructions it names. A loop that
the optimiser folded, removed (a bare ret) or rewrote with vector moves, string moves or an
inlined library copy fails. The SSE logarithm and power must divide with the reciprocal estimate
RCPSS only, and every 3DNow! reciprocal estimate must be refined by PFRCPIT1 and PFRCPIT2. The
plain path's x87 functions must contain the unit's instructions they are built on.

Prints a verdict per function and exits 1 when any fails. With --reject the objects hold broken
samples instead: it prints "rejected: N of M found" and the test reads that line.
"""
import re
import subprocess
import sys
from dataclasses import dataclass, field

PLAIN_CALLS = ["x87_pow", "x87_pow", "x87_log", "x87_log", "x87_sin", "x87_cos"]
SSE_CALLS = ["sse_power", "sse_power", "sse_log", "sse_log", "sse_sin", "sse_cos"]
AMD_CALLS = ["k3dn_pow", "k3dn_pow", "k3dn_log", "k3dn_log", "k3dn_sin", "k3dn_cos"]


@dataclass
class Loop:
    """The one loop of a function and what an iteration does."""
    function: str
    loads: int
    stores: int
    calls: list
    why: str
    counts: dict = field(default_factory=dict)  # mnemonic -> how often per iteration
    words32: bool = False  # every load and store moves a 32-bit general register
    after: dict = field(default_factory=dict)  # mnemonic -> how often after the loop
    # (loads, stores, why) in 32-bit code, where the calls take their arguments on the stack
    i386: tuple = None


@dataclass
class Divides:
    """A kernel whose divisions must all be reciprocal estimates."""
    function: str
    estimate: str  # rcpss or pfrcp
    at_least: int


@dataclass
class Instructions:
    """A kernel that must contain the named instructions."""
    function: str
    mnemonics: list


# Loads and stores count accesses to variables: the kernel state, the buffers, the loop's own
# frame and the pointer that the block copy is called through.
LOOPS = [
    Loop("integer_work_iterations(int)", 12, 8, [], "alpha, beta twice each for the products "
         "and quotients, gamma twice, prod1 once, then alpha..delta loaded and stored; results "
         "stored", {"imul": 2, "idiv": 2}),
    Loop("integer_empty_iterations(int)", 4, 4, [], "prod2, delta, alpha, gamma loaded and "
         "stored", {"imul": 0, "idiv": 0}),
    Loop("copy_words_both_ends", 2, 2, [], "word k and word 262144 - k, each a 32-bit load and "
         "store", words32=True),
    Loop("copy_blocks_4k", 1, 0, ["*"], "the volatile pointer to the library's block copy, "
         "called once per block", i386=(1, 3, "the pointer loaded; destination, source and "
                                        "size stored as the call's arguments")),
    Loop("empty_word_steps", 0, 2, [], "two scratch stores"),
    Loop("empty_block_steps", 0, 1, [], "one scratch store"),
    Loop("void scalar_work_pass<(anonymous namespace)::PlainKernels>(FloatState&)", 10, 8,
         PLAIN_CALLS, "x and y read for each call and each addition; six results and x, y "
         "stored", i386=(16, 22, "as in 64-bit code, and each of the eight arguments stored on "
                         "the stack as a double, each double result rounded to float through "
                         "the frame (a store and a load)")),
    Loop("scalar_empty_pass(FloatState&)", 2, 2, [], "x and y loaded, stepped and stored"),
    Loop("void sse_float_loop<SseKernels>(int, float volatile&, float volatile&)", 10, 2,
         SSE_CALLS, "each argument vector loaded for its call, x and y stepped on the x87 "
         "unit; results are dropped", {"flds": 2, "faddl": 2, "fstps": 2}),
    Loop("void scalar_work_pass<AmdKernels>(FloatState&)", 24, 22, AMD_CALLS,
         "per call: the state read, the arguments put in memory for MOVD, the result stored "
         "by MOVD and read back, then stored in the state (power loads y into MM1 too); "
         "x and y stepped", {"femms": 12, "emms": 0, "movd_mm1": 2}, after={"emms": 1}),
]

SEQUENCES = [
    # The SSE pass leaves the multimedia state after its inner loop.
    ("void sse_work_pass<SseKernels>(FloatState&)", ["call sse_float_loop", "emms"]),
]

DIVIDES = [
    Divides("sse_log(float __vector(4))", "rcpss", 2),
    Divides("sse_power(float __vector(4), float __vector(4))", "rcpss", 3),
    Divides("k3dn_ln_split", "pfrcp", 1),
    Divides("k3dn_pow_positive", "pfrcp", 1),
    Divides("k3dn_log", "pfrcp", 1),
    Divides("k3dn_pow", "pfrcp", 1),
]

INSTRUCTIONS = [
    Instructions("x87_sin(double)", ["fsin"]),
    Instructions("x87_cos(double)", ["fcos"]),
    Instructions("x87_log(double)", ["fyl2x"]),
    Instructions("x87_pow(double, double)", ["fyl2x", "f2xm1", "fscale"]),
]

STORE_ONLY = re.compile(r"^(mov[a-z]*|cvt[a-z0-9]*|fsts?p?[lst]?|fistt?p?[lsq]?|fnst(cw|sw|env)|"
                        r"stmxcsr|set[a-z]+|pop[a-z]?)$")
READ_ONLY_OPS = re.compile(r"^(cmp[a-z]*|test[a-z]?|u?comis[sd]|bt[a-z]?)$")
STRING_MOVE = re.compile(r"^(rep[a-z]*|movs[bwlq]?|stos[bwlq]?|lods[bwlq]?)$")
NO_ACCESS = re.compile(r"^(lea[a-z]?|nop[a-z]*|prefetch[a-z0-9]*|xchg)$")
VECTOR = re.compile(r"%[xyz]mm\d+")
ABSOLUTE = re.compile(r"^-?0x[0-9a-f]+$")
GPR32 = re.compile(r"^%(e[a-z]{2}|r\d+d)$")
PREFIXES = {"rep", "repz", "repe", "repnz", "repne", "lock", "data16", "cs", "ds", "notrack",
            "bnd", "rex", "rex.W"}


@dataclass
class Insn:
    addr: int
    mnemonic: str
    operands: list
    text: str
    reloc: str = ""
    reloc_at: int = 0


@dataclass
class Function:
    name: str
    obj: str
    section: str
    start: int
    insns: list


def run(objdump, args):
    return subprocess.run([objdump] + args, check=True, capture_output=True, text=True).stdout


def split_operands(text):
    parts, depth, cur = [], 0, ""
    for ch in text:
        if ch == "(":
            depth += 1
        elif ch == ")":
            depth -= 1
        if ch == "," and depth == 0:
            parts.append(cur.strip())
            cur = ""
        else:
            cur += ch
    if cur.strip():
        parts.append(cur.strip())
    return parts


def parse_insn(addr, text):
    code = text.split("#")[0].strip()
    words = code.split()
    if words and words[0] in PREFIXES and words[0].startswith("rep"):
        # A repeated string move is reported by its prefix.
        mnemonic, rest = words[0], ""
    else:
        while len(words) > 1 and words[0] in PREFIXES:
            words = words[1:]
        mnemonic = words[0] if words else ""
        rest = code[code.index(mnemonic) + len(mnemonic):] if mnemonic else ""
    # The symbolic address objdump adds to a jump or call ("<name+0x10>") ends the line.
    operands = split_operands(rest.split("<", 1)[0].strip())
    return Insn(addr, mnemonic, operands, code)


class ObjectFile:
    def __init__(self, objdump, path):
        self.path = path
        self.coff = False
        self.i386 = False
        self.sections = {}  # name -> read-only data?
        self.index_to_section = []
        for line in run(objdump, ["-h", path]).splitlines():
            if "file format pe-" in line or "file format pei-" in line:
                self.coff = True
            if "file format pe-i386" in line or "file format elf32-i386" in line:
                self.i386 = True
            m = re.match(r"^\s*(\d+)\s+(\S+)\s+[0-9a-f]+\s", line)
            if m:
                current = m.group(2)
                self.index_to_section.append(current)
                self.sections[current] = False
            elif self.index_to_section and "," in line:
                flags = line.strip()
                self.sections[self.index_to_section[-1]] = (
                    "READONLY" in flags and "CODE" not in flags)
        self.symbol_section = {}
        for line in run(objdump, ["-tC", path]).splitlines():
            m = re.match(r"^[0-9a-f]+ .{7} (\S+)\t[0-9a-f]+ (.*)$", line)
            if m:
                self.symbol_section[m.group(2).strip()] = m.group(1)
                continue
            m = re.match(r"^\[\s*\d+\]\(sec\s+(-?\d+)\).*0x[0-9a-f]+ (.*)$", line)
            if m and int(m.group(1)) >= 1 and int(m.group(1)) <= len(self.index_to_section):
                self.symbol_section[m.group(2).strip()] = self.index_to_section[int(m.group(1)) - 1]
        self.functions = []
        section = ""
        current = None
        for line in run(objdump, ["-drC", "--no-show-raw-insn", path]).splitlines():
            m = re.match(r"^Disassembly of section (\S+):", line)
            if m:
                section = m.group(1)
                current = None
                continue
            m = re.match(r"^([0-9a-f]+) <(.+)>:$", line)
            if m:
                current = Function(m.group(2), path, section, int(m.group(1), 16), [])
                self.functions.append(current)
                continue
            if current is None:
                continue
            m = re.match(r"^\s+([0-9a-f]+): ((R_|IMAGE_REL_|dir32|DISP32)\S*)\s+(.*)$", line)
            if m:
                if current.insns:
                    current.insns[-1].reloc = m.group(4).strip()
                    current.insns[-1].reloc_at = int(m.group(1), 16)
                continue
            m = re.match(r"^\s+([0-9a-f]+):\t(.*)$", line)
            if m:
                current.insns.append(parse_insn(int(m.group(1), 16), m.group(2)))

    def read_only(self, target):
        name, _ = split_addend(target)
        if name in self.sections:
            return self.sections[name]
        section = self.symbol_section.get(name)
        if section is not None:
            return self.sections.get(section, False)
        return bool(re.match(r"^(\.LC\d+|__real@|__xmm@|\.rdata|\.rodata)", name))

    def function_at(self, section, offset):
        for f in self.functions:
            if f.section == section and f.start == offset:
                return f
        return None


def split_addend(target):
    m = re.match(r"^(.*?)([+-]0x[0-9a-f]+)?$", target)
    addend = int(m.group(2), 16) if m.group(2) else 0
    return m.group(1), addend


def base_name(name):
    name = re.sub(r"\s*\[clone [^\]]*\]$", "", name)
    depth, end = 0, len(name)
    for i in range(len(name) - 1, -1, -1):
        if name[i] == ")":
            depth += 1
        elif name[i] == "(":
            depth -= 1
            if depth == 0:
                end = i
                break
    name = name[:end] or name
    # Template arguments go too: "sse_float_loop<SseKernels>" is sse_float_loop.
    if name.endswith(">"):
        depth = 0
        for i in range(len(name) - 1, -1, -1):
            depth += {">": 1, "<": -1}.get(name[i], 0)
            if depth == 0:
                name = name[:i]
                break
    return name.split("::")[-1].split()[-1]


def call_target(obj, fn, insn):
    """The name of the function a call or jump goes to, '*' for an indirect one."""
    if insn.operands and insn.operands[0].startswith("*"):
        return "*", None
    if insn.reloc:
        name, addend = split_addend(insn.reloc)
        if name in obj.sections:
            # ELF keeps the section offset in the addend (less the 4 bytes of the displacement);
            # COFF keeps it in the displacement itself, which objdump shows added to the address
            # of the next instruction.
            offset = addend + 4
            m = re.match(r"^([0-9a-f]+)$", insn.operands[0] if insn.operands else "")
            if not re.search(r"[+-]0x", insn.reloc) and m and obj.coff:
                offset = int(m.group(1), 16) - (insn.reloc_at + 4)
            target = obj.function_at(name, offset)
            return (base_name(target.name), target) if target else (insn.reloc, None)
        return base_name(name), next((f for f in obj.functions if f.name == name), None)
    m = re.search(r"<(.+?)(\+0x[0-9a-f]+)?>$", insn.text)
    if m and not m.group(2):
        target = next((f for f in obj.functions if f.name == m.group(1)), None)
        return base_name(m.group(1)), target
    m = re.match(r"^([0-9a-f]+)$", insn.operands[0] if insn.operands else "")
    if m:
        target = obj.function_at(fn.section, int(m.group(1), 16))
        if target is not None and target is not fn:
            return base_name(target.name), target
    return None, None


def is_call(insn):
    return insn.mnemonic.startswith("call")


def accesses(obj, insn):
    """(loads, stores) of variables by one instruction."""
    m = insn.mnemonic
    if NO_ACCESS.match(m) or not insn.operands:
        return 0, 0
    if is_call(insn) or m.startswith("j"):
        return 0, 0
    # 32-bit code addresses a variable by its absolute address, a bare number ("0x14").
    memory = [i for i, op in enumerate(insn.operands)
              if ("(" in op and not op.startswith("%st")) or ABSOLUTE.match(op)]
    if not memory:
        return 0, 0
    if insn.reloc and obj.read_only(insn.reloc):
        return 0, 0
    last = len(insn.operands) - 1
    loads = sum(1 for i in memory if i != last)
    stores = 0
    if last in memory:
        if len(insn.operands) == 1:
            if STORE_ONLY.match(m) and not m.startswith("mov"):
                stores += 1
            elif re.match(r"^(inc|dec|neg|not)[bwlq]?$", m):
                loads, stores = loads + 1, stores + 1
            else:
                loads += 1
        elif STORE_ONLY.match(m):
            stores += 1
        elif READ_ONLY_OPS.match(m):
            loads += 1
        else:
            loads, stores = loads + 1, stores + 1
    return loads, stores


def find_function(objects, name):
    for obj in objects:
        for f in obj.functions:
            if f.name == name:
                return obj, f
    return None, None


def backward_branches(fn):
    out = []
    for i, insn in enumerate(fn.insns):
        if insn.mnemonic.startswith("j") and insn.operands:
            m = re.match(r"^([0-9a-f]+)$", insn.operands[0])
            if m and fn.start <= int(m.group(1), 16) < insn.addr:
                out.append((int(m.group(1), 16), i))
    return out


def mnemonic_count(obj, body, key):
    if key == "movd_mm1":
        return sum(1 for x in body if x.mnemonic == "movd" and x.operands[-1:] == ["%mm1"])
    return sum(1 for x in body if x.mnemonic == key)


def check_loop(objects, spec):
    obj, fn = find_function(objects, spec.function)
    if fn is None:
        return None
    problems = []
    for other in obj.functions:
        if other.name.startswith(spec.function + " [clone"):
            problems.append("a specialised clone may run instead: " + other.name)
    branches = backward_branches(fn)
    if not branches:
        return ["no loop left (folded or removed by the optimiser)"]
    if len(branches) > 1:
        problems.append("%d loops where one is timed" % len(branches))
    target, end = branches[-1]
    body = [x for x in fn.insns[: end + 1] if x.addr >= target]
    after = fn.insns[end + 1:]
    loads = stores = 0
    for insn in body:
        l, s = accesses(obj, insn)
        loads, stores = loads + l, stores + s
        if STRING_MOVE.match(insn.mnemonic):
            problems.append("string move: " + insn.text)
        if spec.words32 and VECTOR.search(insn.text):
            problems.append("vector register: " + insn.text)
        if spec.words32 and (l or s):
            regs = [op for op in insn.operands if "(" not in op]
            if not (insn.mnemonic in ("mov", "movl") and len(regs) == 1 and GPR32.match(regs[0])):
                problems.append("not a 32-bit move: " + insn.text)
    want_loads, want_stores, why = spec.loads, spec.stores, spec.why
    if obj.i386 and spec.i386:
        want_loads, want_stores, why = spec.i386
    if (loads, stores) != (want_loads, want_stores):
        problems.append("%d loads and %d stores per iteration, want %d and %d (%s)"
                        % (loads, stores, want_loads, want_stores, why))
    calls = [call_target(obj, fn, x)[0] for x in body if is_call(x)]
    if calls != spec.calls:
        problems.append("calls %s, want %s" % (calls, spec.calls))
    for key, want in spec.counts.items():
        got = mnemonic_count(obj, body, key)
        if got != want:
            problems.append("%d x %s per iteration, want %d" % (got, key, want))
    for key, want in spec.after.items():
        got = mnemonic_count(obj, after, key)
        if got != want:
            problems.append("%d x %s after the loop, want %d" % (got, key, want))
    return problems


def check_sequence(objects, name, steps):
    obj, fn = find_function(objects, name)
    if fn is None:
        return None
    words = []
    for insn in fn.insns:
        if is_call(insn):
            words.append("call " + str(call_target(obj, fn, insn)[0]))
        else:
            words.append(insn.mnemonic)
    pos = 0
    for w in words:
        if pos < len(steps) and w == steps[pos]:
            pos += 1
    return [] if pos == len(steps) else ["want %s in this order, have %s" % (steps, words)]


def reachable(obj, fn):
    """The instructions of fn and of every function it calls or jumps to in its object."""
    seen, todo, out = set(), [fn], []
    while todo:
        f = todo.pop()
        if id(f) in seen:
            continue
        seen.add(id(f))
        out.append(f)
        for insn in f.insns:
            if is_call(insn) or insn.mnemonic.startswith("j"):
                _, target = call_target(obj, f, insn)
                if target is not None and target is not f:
                    todo.append(target)
    return out


def refined_estimates(fn):
    """Problems with the 3DNow! reciprocal estimates of one function, and how many it has."""
    problems, n = [], 0
    for i, insn in enumerate(fn.insns):
        if insn.mnemonic != "pfrcp":
            continue
        n += 1
        b, r = insn.operands
        want = [("pfrcpit1", [r, b]), ("pfrcpit2", [r, b])]
        got = [(x.mnemonic, x.operands) for x in fn.insns[i + 1:i + 3]]
        if got != want:
            problems.append("%s: %s not followed by pfrcpit1 %s,%s and pfrcpit2 %s,%s"
                            % (fn.name, insn.text, r, b, r, b))
    return problems, n


def check_divides(objects, spec):
    obj, fn = find_function(objects, spec.function)
    if fn is None:
        return None
    problems, estimates = [], 0
    for f in reachable(obj, fn):
        for insn in f.insns:
            if re.match(r"^f?div", insn.mnemonic) or insn.mnemonic.startswith("sqrt"):
                problems.append("divides: %s in %s" % (insn.text, f.name))
            if spec.estimate == "rcpss" and insn.mnemonic == "rcpss":
                estimates += 1
        if spec.estimate == "pfrcp":
            p, n = refined_estimates(f)
            problems += p
            estimates += n
    if estimates < spec.at_least:
        problems.append("%d x %s, want at least %d" % (estimates, spec.estimate, spec.at_least))
    return problems


def check_instructions(objects, spec):
    _, fn = find_function(objects, spec.function)
    if fn is None:
        return None
    have = {x.mnemonic for x in fn.insns}
    return ["no %s" % m for m in spec.mnemonics if m not in have]


def main():
    args = sys.argv[1:]
    reject = args[:1] == ["--reject"]
    if reject:
        args = args[1:]
    if len(args) < 2:
        print(__doc__)
        return 2
    # CMake hands an object library's objects over as one ;-separated list.
    objdump, paths = args[0], [p for a in args[1:] for p in a.split(";") if p]
    objects = [ObjectFile(objdump, p) for p in paths]

    verdicts = []
    for spec in LOOPS:
        verdicts.append((spec.function, check_loop(objects, spec)))
    for name, steps in SEQUENCES:
        verdicts.append((name, check_sequence(objects, name, steps)))
    for spec in DIVIDES:
        verdicts.append((spec.function, check_divides(objects, spec)))
    for spec in INSTRUCTIONS:
        verdicts.append((spec.function, check_instructions(objects, spec)))

    found = [(name, problems) for name, problems in verdicts if problems is not None]
    failed = [(name, problems) for name, problems in found if problems]
    for name, problems in verdicts:
        if problems is None:
            print("%s: not found" % name)
        for p in problems or []:
            print("%s: %s" % (name, p))
        if problems == []:
            print("%s: ok" % name)
    if reject:
        print("rejected: %d of %d found" % (len(failed), len(found)))
        return 0
    missing = [name for name, problems in verdicts if problems is None]
    ok = not failed and not missing
    print("%s" % ("ok" if ok else "FAILED"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
