#!/usr/bin/env python3
"""The merged result of a benchmark workload stays what it was.

Generates the mid-size workload from its fixed seed, runs the native program
on it and compares SHA-256 of the generated input and of both merged host
catalogues with bench/expected-digest.txt. Work on speed must never change
an outcome: when this fails after an optimisation, the optimisation is wrong.

  --update  writes the digest file from this run (only after checking the
            merged output by inspection)
Exit 77 (skipped) when no digest file has been committed yet.
"""

import argparse
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import workloads  # noqa: E402

DIGEST_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "expected-digest.txt")
SUCCESS = "追加素材の再登録が完了しました"
KEY = "ExtmergeDigest"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--update", action="store_true")
    args = ap.parse_args()

    root = os.path.join(os.path.abspath(args.work), "mid")
    workloads.generate(workloads.SHAPES["mid"](), root)
    host = os.path.join(root, "host")
    registry = os.path.join(os.path.abspath(args.work), "registry.reg")
    workloads.write_registry(registry, KEY, host)

    got = [("input", workloads.input_digest(root))]
    env = dict(os.environ, EXTMERGE_REGISTRY=registry)
    p = subprocess.run([args.exe, KEY], env=env, capture_output=True, timeout=240)
    err = p.stderr.decode("utf-8", "replace")
    if p.returncode != 0 or SUCCESS not in err:
        print("the run did not succeed (exit %d): %s" % (p.returncode, err.strip()))
        return 1
    got += workloads.output_digests(root)
    text = "".join("%s %s\n" % kv for kv in got)

    if args.update:
        with open(DIGEST_FILE, "w") as f:
            f.write(text)
        print("wrote " + DIGEST_FILE + ":\n" + text)
        return 0
    if not os.path.exists(DIGEST_FILE):
        print("no expected digest committed yet; this run gives:\n" + text)
        return 77
    with open(DIGEST_FILE) as f:
        want = dict(line.split() for line in f if line.strip())
    failed = False
    for name, digest in got:
        if want.get(name) != digest:
            failed = True
            what = ("the workload generator's output changed" if name == "input"
                    else "the merged result changed")
            print("%s: expected %s, got %s (%s)" % (name, want.get(name), digest, what))
    if failed:
        print("merged host files kept in " + host)
        return 1
    print("merged host catalogues match the expected digest")
    return 0


if __name__ == "__main__":
    sys.exit(main())
