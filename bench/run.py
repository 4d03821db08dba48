#!/usr/bin/env python3
"""Benchmark runner: the tool against the I/O floor, side by side.

  python3 bench/run.py            build (Release), generate, measure, report
  python3 bench/run.py --help     options (workloads, runs, Wine, micro-benchmarks)

For every workload it times whole processes: the native program and the I/O
floor program (bench/io_floor.cpp, which reads every input once and writes
each host catalogue once, atomically). Runs alternate between the two, each
on a fresh copy of the host catalogues (the copying is not timed); the
figures are medians. Peak memory is the child's ru_maxrss from wait4.

Goals checked (ratios, so that they hold on any machine):
  tool / floor        at most 3x on large and wide
  growth per doubling at most 2.2x on the scaling series
  peak memory         at most 4 x (host catalogue bytes) + 32 MB
"""

import argparse
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import workloads  # noqa: E402

KEY = "ExtmergeBench"
SUCCESS = "追加素材の再登録が完了しました"
MB = 1024 * 1024
RATIO_GOAL = 3.0
GROWTH_GOAL = 2.2


def log(msg):
    print(msg, flush=True)


def machine():
    cpu = "unknown"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    mem = 0
    try:
        with open("/proc/meminfo") as f:
            for line in f:
                if line.startswith("MemTotal:"):
                    mem = int(line.split()[1]) * 1024
    except OSError:
        pass
    return {"nproc": os.cpu_count(), "cpu": cpu, "memory_gib": round(mem / 1024 ** 3, 1),
            "kernel": platform.release()}


def build(build_dir, targets):
    if not os.path.exists(os.path.join(build_dir, "CMakeCache.txt")):
        subprocess.run(["cmake", "-S", ROOT, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
                        "-DEXTMERGE_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "-j2", "--target"] + targets, check=True,
                   stdout=subprocess.DEVNULL)


class Outcome:
    def __init__(self, seconds, cpu, maxrss, status, stderr):
        self.seconds = seconds
        self.cpu = cpu
        self.maxrss = maxrss
        self.status = status
        self.stderr = stderr


GNU_TIME = "/usr/bin/time"


def timed(argv, env, scratch):
    """Runs argv as one process: wall time, CPU time and peak RSS.

    The program is started through GNU time, whose %M is its child's
    ru_maxrss. Spawning the program straight from this Python process would
    count this process's own memory too: the child shares it until exec.
    """
    err_path = os.path.join(scratch, "stderr.txt")
    rss_path = os.path.join(scratch, "maxrss.txt")
    wrapped = os.path.exists(GNU_TIME)
    if wrapped:
        argv = [GNU_TIME, "-f", "%M", "-o", rss_path, "--"] + argv
    actions = [(os.POSIX_SPAWN_OPEN, 0, "/dev/null", os.O_RDONLY, 0),
               (os.POSIX_SPAWN_OPEN, 1, "/dev/null", os.O_WRONLY, 0),
               (os.POSIX_SPAWN_OPEN, 2, err_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)]
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, env, file_actions=actions)
    _, status, ru = os.wait4(pid, 0)
    seconds = time.perf_counter() - start
    with open(err_path, "rb") as f:
        err = f.read()
    maxrss = ru.ru_maxrss * 1024
    if wrapped:
        with open(rss_path) as f:
            maxrss = int(f.read().split()[-1]) * 1024
    return Outcome(seconds, ru.ru_utime + ru.ru_stime, maxrss,
                   os.waitstatus_to_exitcode(status), err)


def check_tool(out, what):
    text = out.stderr.decode("utf-8", "replace").strip()
    if out.status != 0 or SUCCESS not in text:
        raise RuntimeError("%s did not succeed (exit %d): %s" % (what, out.status, text[:500]))


def measure(name, args, tool, floor):
    shape = workloads.SHAPES[name]()
    root = os.path.join(args.work, name)
    log("[%s] preparing workload" % name)
    host = workloads.ensure(shape, root)
    registry = os.path.join(root, "registry.reg")
    workloads.write_registry(registry, KEY, host)
    env = dict(os.environ, EXTMERGE_REGISTRY=registry)
    host_bytes = workloads.host_catalogue_bytes(root)

    # The floor once untimed, to warm the page cache (the tool's first run
    # finds it warm as well). Every run of the tool is checked.
    workloads.reset_host(root)
    first_floor = timed([floor, host], env, root)
    if first_floor.status != 0:
        raise RuntimeError("the floor program failed: " + first_floor.stderr.decode())

    tool_runs, floor_runs = [], []
    digests = None
    spent = 0.0
    for i in range(args.runs):
        workloads.reset_host(root)
        out = timed([tool, KEY], env, root)
        check_tool(out, "the tool on " + name)
        if digests is None:
            digests = workloads.output_digests(root)
        elif workloads.output_digests(root) != digests:
            raise RuntimeError("the tool gave different results on the same input")
        tool_runs.append(out)
        workloads.reset_host(root)
        floor_runs.append(timed([floor, host], env, root))
        log("[%s] run %d: tool %.3f s, floor %.3f s" %
            (name, i + 1, tool_runs[-1].seconds, floor_runs[-1].seconds))
        spent += out.seconds
        if spent > args.max_seconds and i + 1 < args.runs:
            log("[%s] stopping after %d runs (--max-seconds %g)" % (name, i + 1, args.max_seconds))
            break
    workloads.reset_host(root)

    t = statistics.median(o.seconds for o in tool_runs)
    fl = statistics.median(o.seconds for o in floor_runs)
    rss = max(o.maxrss for o in tool_runs)
    return {
        "workload": name, "host_bytes": host_bytes, "runs": len(tool_runs),
        "tool_s": t, "floor_s": fl, "ratio": t / fl,
        "tool_cpu_s": statistics.median(o.cpu for o in tool_runs),
        "tool_min_s": min(o.seconds for o in tool_runs),
        "tool_max_s": max(o.seconds for o in tool_runs),
        "peak_rss": rss, "floor_peak_rss": max(o.maxrss for o in floor_runs),
        "rss_limit": 4 * host_bytes + 32 * MB,
        "digests": digests,
    }


def wine_message(stderr):
    """The text of the first MessageBoxA call in a relay trace, or None."""
    m = re.search(rb'Call user32\.MessageBoxA\([0-9a-fA-F]+,[0-9a-fA-F]+ "((?:[^"\\]|\\.)*)"',
                  stderr)
    if not m:
        return None
    raw = re.sub(rb"\\x([0-9a-fA-F]{2})", lambda x: bytes([int(x.group(1), 16)]), m.group(1))
    return raw.decode(workloads.ENC, "replace")


def timed_wine(argv, env):
    """Runs a program under Wine until it and every process it started have
    let go of its standard error: the wine launcher itself may return while
    a GUI-subsystem program is still running."""
    start = time.perf_counter()
    p = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE)
    err = p.stderr.read()
    p.wait()
    return Outcome(time.perf_counter() - start, 0.0, 0, p.returncode, err)


def measure_wine(args, native_result):
    exe = os.path.join(ROOT, "build", "mingw", "extmerge.exe")
    wine = os.environ.get("WINE", "/usr/lib/wine/wine64")
    if not os.path.exists(exe):
        log("[wine] skipped: %s is missing (cmake --preset mingw && cmake --build --preset mingw)"
            % os.path.relpath(exe, ROOT))
        return None
    if not os.access(wine, os.X_OK):
        log("[wine] skipped: %s is missing" % wine)
        return None
    name = args.wine_workload
    root = os.path.join(args.work, name)
    host = os.path.join(root, "host")
    prefix = os.path.join(args.work, "wineprefix")
    env = dict(os.environ, WINEPREFIX=prefix, LC_ALL="ja_JP.UTF-8", WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    env.pop("DISPLAY", None)
    server = os.path.join(os.path.dirname(wine), "wineserver")
    os.makedirs(prefix, exist_ok=True)
    log("[wine] preparing the prefix")
    # scripts/wine-run.sh prepares the prefix and, where the system has none,
    # a ja_JP.UTF-8 locale in the build tree, without which Wine cannot open
    # Japanese file names. A start without a parameter does nothing else.
    subprocess.run([os.path.join(ROOT, "scripts", "wine-run.sh"), exe], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
    locale_dir = os.path.join(os.path.dirname(exe), "locale")
    if os.path.isdir(locale_dir):
        env["LOCPATH"] = locale_dir
    # Output to /dev/null: Wine's helper processes may keep pipes open.
    subprocess.run([wine, "reg", "add", "HKCR\\%s\\dstDir" % KEY, "/ve", "/d",
                    "Z:" + host.replace("/", "\\") + "\\", "/f"],
                   env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=300)
    subprocess.run([server, "-w"], env=env, timeout=120)
    # A persistent server for the prefix, so that no run pays its start.
    server_proc = subprocess.Popen([server, "-f", "-p"], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
    try:
        runs, starts = [], []
        workloads.reset_host(root)
        # Warm-up, with the message box observed through the relay trace.
        subprocess.run([wine, "reg", "add", "HKCU\\Software\\Wine\\Debug", "/v", "RelayInclude",
                        "/d", "user32.MessageBoxA", "/f"], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        out = timed_wine([wine, exe, KEY], dict(env, WINEDEBUG="+relay"))
        message = wine_message(out.stderr)
        if message != SUCCESS:
            raise RuntimeError("the Windows build did not succeed: %r" % (message,))
        wine_digests = workloads.output_digests(root)
        for i in range(args.wine_runs):
            workloads.reset_host(root)
            runs.append(timed_wine([wine, exe, KEY], env))
            # Without a parameter the program does nothing: the cost of
            # starting a program under Wine.
            starts.append(timed_wine([wine, exe], env))
            log("[wine] run %d: tool %.3f s, start-up only %.3f s" %
                (i + 1, runs[-1].seconds, starts[-1].seconds))
        workloads.reset_host(root)
    finally:
        subprocess.run([server, "-k"], env=env, capture_output=True)
        try:
            server_proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            server_proc.kill()
    t = statistics.median(o.seconds for o in runs)
    s = statistics.median(o.seconds for o in starts)
    return {
        "workload": name, "tool_s": t, "startup_s": s, "net_s": t - s,
        "floor_s": native_result["floor_s"] if native_result else None,
        "same_bytes_as_native": (native_result is not None
                                 and wine_digests == native_result["digests"]),
    }


def verdict(ok):
    return "ok" if ok else "MISSED"


def report(results, wine, mach):
    lines = []
    lines.append("Machine: %d cores, %s, %.1f GiB memory, Linux %s" %
                 (mach["nproc"], mach["cpu"], mach["memory_gib"], mach["kernel"]))
    lines.append("")
    lines.append("| workload | host catalogues | runs | tool (median) | I/O floor (median) | ratio "
                 "| tool CPU | peak RSS | RSS limit |")
    lines.append("|---|---|---|---|---|---|---|---|---|")
    for r in results:
        ratio_goal = r["workload"] in ("large", "wide")
        lines.append("| %s | %.1f MB | %d | %.3f s | %.3f s | %.2f× %s | %.3f s | %.1f MB %s "
                     "| %.1f MB |" % (
            r["workload"], r["host_bytes"] / MB, r["runs"], r["tool_s"], r["floor_s"], r["ratio"],
            ("(" + verdict(r["ratio"] <= RATIO_GOAL) + ")") if ratio_goal else "",
            r["tool_cpu_s"], r["peak_rss"] / MB, "(" + verdict(r["peak_rss"] <= r["rss_limit"]) + ")",
            r["rss_limit"] / MB))
    by_name = {r["workload"]: r for r in results}
    series = [by_name.get(n) for n in ("large", "large-x2", "large-x4")]
    if all(series):
        g1 = series[1]["tool_s"] / series[0]["tool_s"]
        g2 = series[2]["tool_s"] / series[1]["tool_s"]
        f1 = series[1]["floor_s"] / series[0]["floor_s"]
        f2 = series[2]["floor_s"] / series[1]["floor_s"]
        lines.append("")
        lines.append("Scaling (large ×1 → ×2 → ×4): tool grows %.2f× and %.2f× per doubling (%s), "
                     "the I/O floor %.2f× and %.2f×." %
                     (g1, g2, verdict(max(g1, g2) <= GROWTH_GOAL), f1, f2))
    if wine:
        lines.append("")
        floor = (" = %.2f× the native I/O floor" % (wine["net_s"] / wine["floor_s"])
                 if wine["floor_s"] else "")
        lines.append("Windows build under Wine, " + wine["workload"] + ": %.3f s (median), of which %.3f s is "
                     "starting a program under Wine; net %.3f s%s; merged bytes identical to "
                     "the native build's: %s." %
                     (wine["tool_s"], wine["startup_s"], wine["net_s"], floor,
                      "yes" if wine["same_bytes_as_native"] else "no"))
    return "\n".join(lines)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("workloads", nargs="*", default=["large", "wide", "scaling"],
                    help="large, wide, scaling (= large, large-x2, large-x4), mid")
    ap.add_argument("--runs", type=int, default=5, help="timed runs per program (default 5)")
    ap.add_argument("--max-seconds", type=float, default=300,
                    help="fewer runs once the tool's runs of a workload took this long "
                         "(default 300)")
    ap.add_argument("--wine-runs", type=int, default=3)
    ap.add_argument("--no-wine", action="store_true", help="skip the Windows build")
    ap.add_argument("--wine-workload", default="large",
                    help="the workload the Windows build runs (default large)")
    ap.add_argument("--micro", action="store_true",
                    help="also run the Google Benchmark micro-benchmarks")
    ap.add_argument("--build-dir", default=os.path.join(ROOT, "build", "bench-release"))
    ap.add_argument("--no-build", action="store_true", help="use the build as it is")
    args = ap.parse_args()
    args.build_dir = os.path.abspath(args.build_dir)
    args.work = os.path.join(args.build_dir, "bench-work")
    os.makedirs(args.work, exist_ok=True)

    names = []
    for w in args.workloads:
        for n in (["large", "large-x2", "large-x4"] if w == "scaling" else [w]):
            if n not in workloads.SHAPES:
                ap.error("unknown workload " + w)
            if n not in names:
                names.append(n)

    targets = ["extmerge", "extmerge_io_floor"] + (["extmerge_micro_bench"] if args.micro else [])
    if not args.no_build:
        log("building %s in %s" % (", ".join(targets), os.path.relpath(args.build_dir, ROOT)))
        build(args.build_dir, targets)
    tool = os.path.join(args.build_dir, "extmerge")
    floor = os.path.join(args.build_dir, "bench", "extmerge_io_floor")

    mach = machine()
    results = [measure(n, args, tool, floor) for n in names]
    wine = None
    if not args.no_wine and args.wine_workload in names:
        wine = measure_wine(args, next(r for r in results if r["workload"] == args.wine_workload))

    text = report(results, wine, mach)
    log("")
    log(text)
    with open(os.path.join(args.build_dir, "bench-results.json"), "w") as f:
        json.dump({"machine": mach, "results": results, "wine": wine}, f, indent=1)
    with open(os.path.join(args.build_dir, "bench-results.md"), "w") as f:
        f.write(text + "\n")

    if args.micro:
        log("")
        subprocess.run([os.path.join(args.build_dir, "bench", "extmerge_micro_bench")],
                       check=False)


if __name__ == "__main__":
    main()
