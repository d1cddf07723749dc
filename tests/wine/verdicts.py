"""The command line and verdicts that the executable checks share.

run(doc, fixed, check): the arguments are [--reject] followed by `fixed` fixed arguments and the
files to check; check(fixed_args, path) returns (problems, what to say when there are none).
Prints each file's problems or its ok line, then "ok" or "FAILED" (exit 1). With --reject the
files are samples that must each fail: it prints "rejected: N of M", which the test reads.
"""
import sys


def run(doc, fixed, check):
    args = sys.argv[1:]
    reject = args[:1] == ["--reject"]
    if reject:
        args = args[1:]
    if len(args) <= fixed:
        print(doc)
        return 2
    fixed_args, paths = args[:fixed], args[fixed:]
    failed = 0
    for path in paths:
        problems, ok = check(fixed_args, path, reject)
        for p in problems:
            print("%s: %s" % (path, p))
        if problems:
            failed += 1
        else:
            print("%s: ok: %s" % (path, ok))
    if reject:
        print("rejected: %d of %d" % (failed, len(paths)))
        return 0
    print("ok" if not failed else "FAILED")
    return 1 if failed else 0
