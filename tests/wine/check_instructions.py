#!/usr/bin/env python3
"""Checks the processor floor of a whole executable, start-up code and linked runtime included.

usage: check_instructions.py [--reject] OBJDUMP EXE...

Disassembles every code section and fails on an instruction beyond the i586 set (Pentium, K6-2)
outside the floating-point kernels (which run only after their processor checks):
  - SSE and later: any XMM/YMM/ZMM register, the SSE state, fence, prefetch and non-temporal
    instructions, FISTTP (SSE3) and the later integer extensions (POPCNT, LZCNT, MOVBE, CRC32,
    BMI);
  - MMX and 3DNow!: any MMX register, EMMS, FEMMS;
  - the P6 additions: CMOVcc, FCMOVcc, FCOMI, FUCOMI.
The kernels are the SSE kernels, their loop and pass, and the 3DNow! kernels and wrappers, and
identify_cpu, whose EMMS runs only on a processor that reports MMX; the check fails as well
when it finds none of them (an executable without symbols would hide them). The linker's map
beside an executable (EXE.map), when there is one, names the object each finding came from.
Prints what it found and exits 1 on any finding. With --reject the executables are samples that
must each fail: it prints "rejected: N of M" and the test reads that line.
"""
import bisect
import re
import subprocess
import sys

import verdicts

KERNELS = re.compile(
    r"^(sse_(power|log|sin|cos)\(|void sse_float_loop<SseKernels>\(|"
    r"void sse_work_pass<SseKernels>\(|void scalar_work_pass<AmdKernels>\(|k3dn_\w+$|"
    r"amd_(power|log|sin|cos|leave)\(|identify_cpu\(|"
    r"float \(anonymous namespace\)::call_kernel<|"
    r"\(anonymous namespace\)::(ss|from_bits|bits_of|first|abs_of|quiet_nan|sine_of_quarters|"
    r"ln_mantissa|split|exp2_of|power_positive|power_nonpositive)\()")
# Functions that must be among the kernels found, so that the allowance is not empty.
REQUIRED_KERNELS = ["sse_power(", "k3dn_pow"]

SSE_REGISTER = re.compile(r"%[xyz]mm\d+")
MMX_REGISTER = re.compile(r"%mm\d\b")
SSE_MNEMONICS = re.compile(r"^(ldmxcsr|stmxcsr|v?ldmxcsr|sfence|lfence|mfence|movnti|clflush\w*|"
                           r"prefetch\w*|maskmovq|movntq|fisttp\w*|popcnt\w*|lzcnt\w*|movbe\w*|"
                           r"crc32\w*|andn|bextr|blsi|blsmsk|blsr|bzhi|shlx|shrx|sarx|rorx|"
                           r"pdep|pext|mulx|adcx|adox|xgetbv|xsave\w*|xrstor\w*)$")
MMX_MNEMONICS = re.compile(r"^(emms|femms)$")
P6_MNEMONICS = re.compile(r"^(cmov\w+|fcmov\w+|fcomip?|fucomip?)$")


def classify(mnemonic, operands):
    """The instruction set an instruction needs beyond the i586 set, or None."""
    if SSE_REGISTER.search(operands) or SSE_MNEMONICS.match(mnemonic):
        return "SSE or later"
    if MMX_REGISTER.search(operands) or MMX_MNEMONICS.match(mnemonic):
        return "MMX/3DNow!"
    if P6_MNEMONICS.match(mnemonic):
        return "P6 (CMOV, FCMOV, FCOMI)"
    return None


def object_ranges(map_path):
    """[(start, end, object)] of the code sections that the linker placed."""
    ranges = []
    with open(map_path, encoding="utf-8", errors="replace") as f:
        lines = f.read().splitlines()
    for i, line in enumerate(lines):
        m = re.match(r"^ (\.text\S*)(\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*))?$", line)
        if not m:
            continue
        if m.group(2) is None:
            # A long section name puts address, size and source on the next line.
            if i + 1 >= len(lines):
                continue
            m2 = re.match(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", lines[i + 1])
            if not m2:
                continue
            start, size, source = m2.groups()
        else:
            start, size, source = m.group(3), m.group(4), m.group(5)
        if int(size, 16) > 0:
            ranges.append((int(start, 16), int(start, 16) + int(size, 16),
                           re.sub(r"^.*/", "", source)))
    return sorted(ranges)


def object_at(starts, ranges, address):
    i = bisect.bisect_right(starts, address) - 1
    return ranges[i][2] if i >= 0 and address < ranges[i][1] else "?"


def scan(objdump, path, objects):
    """(findings {set: [(object, function, instruction)]}, kernel functions seen)."""
    out = subprocess.run([objdump, "-dC", "--no-show-raw-insn", path], check=True,
                         capture_output=True, text=True).stdout
    starts = [r[0] for r in objects]
    findings, kernels, function, skip = {}, set(), "?", False
    for line in out.splitlines():
        m = re.match(r"^[0-9a-f]+ <(.+)>:$", line)
        if m:
            function = m.group(1)
            # Exception tables that the linker keeps in the code section are data.
            skip = bool(KERNELS.match(function)) or function.startswith(".gcc_except_table")
            if KERNELS.match(function):
                kernels.add(function)
            continue
        m = re.match(r"^\s+([0-9a-f]+):\t(\S+)\s*(.*)$", line)
        if not m or skip:
            continue
        address, mnemonic, operands = int(m.group(1), 16), m.group(2), m.group(3)
        # Prefixes that objdump writes as words of their own ("rep stos", "lock cmpxchg").
        while mnemonic in ("rep", "repz", "repnz", "lock", "data16", "cs", "ds", "notrack") \
                and operands:
            mnemonic, _, operands = operands.partition(" ")
        kind = classify(mnemonic, operands)
        if kind:
            findings.setdefault(kind, []).append(
                (object_at(starts, objects, address), function, m.group(2) + " " + m.group(3)))
    return findings, kernels


def check(fixed, path, reject):
    objdump = fixed[0]
    try:
        objects = object_ranges(path + ".map")
    except FileNotFoundError:
        objects = []
    findings, kernels = scan(objdump, path, objects)
    problems = []
    for kind, where in sorted(findings.items()):
        origins = sorted({"%s in %s" % (f, o) for o, f, _ in where})
        problems.append("%d %s instructions outside the kernels, in %d functions: %s; first: "
                        "%s in %s" % (len(where), kind, len(origins), ", ".join(origins[:8]),
                                      where[0][2], where[0][1]))
    if not reject:
        for name in REQUIRED_KERNELS:
            if not any(k.startswith(name) for k in kernels):
                problems.append("kernel %s not found: are the symbols missing?" % name)
    if problems:
        return problems, ""
    return [], "i586 throughout, start-up and runtime included; kernels allowed: %s" % (
        ", ".join(sorted(kernels)))


if __name__ == "__main__":
    sys.exit(verdicts.run(__doc__, 1, check))
