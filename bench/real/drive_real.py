#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Times what the user waits for in the real program, started as a process under Xvfb and
openbox and driven with real input (xdotool), against a plain program doing the same work in
its own process, the two sides interleaved pair by pair. Both sides carry the observer
(LD_PRELOAD), which logs paints, input, every event-loop pass over 30 ms and VmHWM.

Paths: startup (process start to the main window painted), search (Return to "Concluido!"
painted, "a" over all titles), report (click on "Gerar Relatório" for all titles to the first
page painted, then to the layout finished), paging (pages turned while the report lays out),
pdf (Return in the save dialog to the PDF written, media report), report-server (the report
path on the same catalogue on a server, --server, the program alone). Prints every run, then per
figure the minimum and median of each side and of the pair ratios, with the load average.
Times are wall clock; figures marked CPU are the process's own CPU time over the same span
(the scheduler's count over its threads), which a loaded machine disturbs less."""

import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

MAIN_TITLE = "QUIVEL - Banco de Dados de Aplicativos"
# The preview's page, by its accessible name.
PAGE_NAME = "Página do relatório"


def now_ms():
    return time.clock_gettime(time.CLOCK_MONOTONIC) * 1000.0


class Log:
    """The observer's lines, read as they come."""

    def __init__(self, path):
        self.path = path
        self.lines = []
        self.offset = 0

    def poll(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                data = f.read()
        except FileNotFoundError:
            return
        end = data.rfind(b"\n")
        if end < 0:
            return
        self.offset += end + 1
        for raw in data[: end + 1].decode("utf-8", "replace").splitlines():
            self.lines.append(raw.split(" ", 3) if raw.startswith("paint ") else raw.split())

    def paints(self, since=0.0):
        for line in self.lines:
            if line[0] == "paint" and float(line[1]) >= since:
                window, cls, name, text = (line[3].split("|") + ["", "", "", ""])[:4]
                yield float(line[1]), window, cls, name, text

    def locate(self, name):
        """The centre of the named widget where it last painted."""
        found = None
        for line in self.lines:
            if line[0] == "locate" and line[1] == name.replace(" ", "_"):
                x, y, w, h = map(int, line[2:6])
                found = x + w // 2, y + h // 2
        return found

    def longest_pass(self, since, until=float("inf"), cpu=False):
        """The longest pass in wall time, or the most CPU time one pass took."""
        longest = 0.0
        for line in self.lines:
            if line[0] == "pass" and since <= float(line[1]) <= until:
                longest = max(longest, float(line[3 if cpu else 2]))
        return longest

    def peak_kb(self):
        return max([int(line[2]) for line in self.lines if line[0] == "hwm"] or [0])


class Run:
    def __init__(self, args, env, cwd, log_path):
        self.log = Log(log_path)
        self.started = now_ms()
        self.output = log_path + ".out"
        with open(self.output, "wb") as output:
            self.process = subprocess.Popen(args, env=env, cwd=cwd, stdout=output,
                                            stderr=subprocess.STDOUT)

    def wait_for(self, predicate, timeout_s, what):
        deadline = time.monotonic() + timeout_s
        while time.monotonic() < deadline:
            self.log.poll()
            found = predicate()
            if found:
                return found
            if self.process.poll() is not None:
                with open(self.output, "rb") as f:
                    said = f.read().decode("utf-8", "replace").strip().splitlines()[-3:]
                raise RuntimeError(f"the program ended while waiting for {what}: {said}")
            time.sleep(0.003)
        raise RuntimeError(f"timed out waiting for {what}")

    def paint_where(self, since, match):
        return lambda: next((p for p in self.log.paints(since) if match(p)), None)

    def quiet(self, ms):
        """Waits until the program has painted nothing and held no long pass for ms."""
        last = now_ms()
        seen = 0
        while now_ms() - last < ms:
            self.log.poll()
            if len(self.log.lines) != seen:
                seen = len(self.log.lines)
                last = now_ms()
            time.sleep(0.01)

    def cpu_ms(self):
        """The process's CPU time so far, all its threads, to the nanosecond for the threads
        alive (the scheduler's count), plus, in 10 ms ticks, what threads that have ended took
        (/proc/PID/stat counts them, the task list no longer does); the ticks alone where the
        scheduler's count is not available."""
        pid = self.process.pid
        tick_ms = 1000.0 / os.sysconf("SC_CLK_TCK")

        def ticks(path):
            with open(path) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            return int(fields[11]) + int(fields[12])

        try:
            process_ticks = ticks(f"/proc/{pid}/stat")
        except (OSError, ValueError, IndexError):
            return float("nan")
        try:
            alive_ns = 0
            alive_ticks = 0
            for task in os.listdir(f"/proc/{pid}/task"):
                with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                    alive_ns += int(f.read().split()[0])
                alive_ticks += ticks(f"/proc/{pid}/task/{task}/stat")
            return alive_ns / 1e6 + max(0, process_ticks - alive_ticks) * tick_ms
        except (OSError, ValueError, IndexError):
            return process_ticks * tick_ms

    def peak_kb(self):
        try:
            with open(f"/proc/{self.process.pid}/status") as f:
                for line in f:
                    if line.startswith("VmHWM:"):
                        return int(line.split()[1])
        except OSError:
            pass
        return self.log.peak_kb()

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True)


def click(run, name, timeout_s=20):
    x, y = run.wait_for(lambda: run.log.locate(name), timeout_s, f"{name} on screen")
    at = now_ms()
    xdotool("mousemove", str(x), str(y), "click", "1")
    return at


def pdf_complete(path):
    """A PDF is whole once its trailer ends it."""
    try:
        with open(path, "rb") as f:
            f.seek(max(0, os.path.getsize(path) - 16))
            return b"%%EOF" in f.read()
    except OSError:
        return False


def main_painted(run, timeout_s=60):
    return run.wait_for(run.paint_where(0, lambda p: p[1] == MAIN_TITLE), timeout_s,
                        "the main window painted")[0]


class Bench:
    def __init__(self, options):
        self.o = options
        self.build = os.path.abspath(options.build)
        self.observer = os.path.join(self.build, "bench/real/libquivel_observer.so")
        self.plain = os.path.join(self.build, "bench/real/plain_side")
        self.program = os.path.abspath(options.program or os.path.join(self.build, "app/quivel"))
        self.tool = os.path.join(self.build, "tools/catalogue/quivel-catalogue")
        self.work = tempfile.mkdtemp(prefix="quivel-real-")
        self.results = {}  # figure -> side -> [values]
        self.run_index = 0

    def catalogue(self, kind):
        """A working folder holding the catalogue both sides read, made once."""
        folder = os.path.join(self.work, kind)
        if os.path.isdir(folder):
            return folder
        os.makedirs(folder)
        target = os.path.join(folder, "quivel.mdb")
        if kind == "large":
            source = os.path.join(self.o.bench_dir, "quivel.mdb")
            if not os.path.exists(source):
                os.makedirs(self.o.bench_dir, exist_ok=True)
                print(f"Making {source} (100,000 media, 1,000,000 titles)...", flush=True)
                subprocess.run([self.tool, "large", source, "100000", "1000000"], check=True,
                               stdout=subprocess.DEVNULL)
            shutil.copyfile(source, target)
            # A catalogue made by an earlier version would have the program ask to upgrade it
            # at start; the copy is brought to this version first (nothing happens if it is).
            subprocess.run([self.tool, "upgrade", target], check=True, stdout=subprocess.DEVNULL)
        else:
            subprocess.run([self.tool, "sample", target], check=True, stdout=subprocess.DEVNULL)
        with open(os.path.join(folder, "config.cfg"), "wb") as f:
            f.write(b"1.0.0\r\n")
        return folder

    def start(self, side, folder, mode, locate, extra=(), database=None):
        self.run_index += 1
        log_path = os.path.join(self.work, f"run{self.run_index}.log")
        home = os.path.join(self.work, f"home{self.run_index}")
        os.makedirs(home)
        env = dict(os.environ, HOME=home, QT_QPA_PLATFORM="xcb", LD_PRELOAD=self.observer,
                   QUIVEL_OBSERVE_LOG=log_path, QUIVEL_OBSERVE_LOCATE=";".join(locate))
        if database:
            env["QUIVEL_DATABASE"] = database
        if side == "quivel":
            args = [self.program]
        else:
            args = [self.plain, mode, os.path.join(folder, "quivel.mdb"), *extra]
        return Run(args, env, folder, log_path)

    def record(self, figure, side, value, unit):
        self.results.setdefault(figure, {}).setdefault(side, []).append((value, unit))
        print(f"  {side:6} {figure}: {value:.1f} {unit}", flush=True)

    def record_passes(self, figure, side, run, since, until=float("inf")):
        self.record(f"{figure}: longest event-loop pass", side,
                    run.log.longest_pass(since, until), "ms")
        self.record(f"{figure}: most CPU in one pass", side,
                    run.log.longest_pass(since, until, cpu=True), "ms")

    # --- the paths -------------------------------------------------------------------------

    def startup(self, side, kind):
        run = self.start(side, self.catalogue(kind), "startup", [])
        try:
            painted = main_painted(run)
            cpu = run.cpu_ms()
            self.record(f"start-up to main window painted ({kind})", side,
                        painted - run.started, "ms")
            self.record(f"start-up to main window painted ({kind}), CPU", side, cpu, "ms")
            run.quiet(300)
            self.record_passes(f"start-up ({kind})", side, run, 0)
        finally:
            run.stop()

    def search(self, side):
        run = self.start(side, self.catalogue("large"), "search", ["ConsultaSoft"])
        try:
            main_painted(run)
            run.quiet(300)
            click(run, "ConsultaSoft")
            xdotool("type", "a")
            run.quiet(200)
            cpu = run.cpu_ms()
            pressed = now_ms()
            xdotool("key", "Return")
            done = run.wait_for(run.paint_where(pressed, lambda p: p[4] == "Concluido!"), 120,
                                '"Concluido!" painted')[0]
            cpu = run.cpu_ms() - cpu
            self.record('search "a": Return to "Concluido!" painted', side, done - pressed,
                        "ms")
            self.record('search "a": Return to "Concluido!" painted, CPU', side, cpu, "ms")
            self.record_passes('search "a"', side, run, pressed, done)
        finally:
            run.stop()

    def report(self, side, paging=False, database=None):
        locate = ["RadioButton2", "CheckBox1", "GeraRelat", "Próxima página"]
        run = self.start(side, self.catalogue("large"), "report", locate, database=database)
        name = "paging" if paging else "report"
        title = "all-titles report on a server" if database else "all-titles report"
        try:
            main_painted(run)
            run.quiet(300)
            if side == "quivel":
                click(run, "RadioButton2")
                click(run, "CheckBox1")
                run.quiet(200)
            clicked = click(run, "GeraRelat")
            first = run.wait_for(
                run.paint_where(clicked, lambda p: p[3] == PAGE_NAME), 60,
                "the first page painted")[0]
            if not paging:
                self.record(f"{title}: click to first page painted", side,
                            first - clicked, "ms")
            if side == "quivel" and paging:
                # Turn a page every 150 ms while the layout goes on; each turn waits for the
                # page painted.
                waits = []
                for _ in range(10):
                    turned = click(run, "Próxima página")
                    painted = run.wait_for(
                        run.paint_where(turned, lambda p: p[3] == PAGE_NAME), 30,
                        "the turned page painted")[0]
                    waits.append(painted - turned)
                    time.sleep(0.15)
                self.record("paging during layout: worst click to page painted", side,
                            max(waits), "ms")
            if side == "quivel":
                done = run.wait_for(
                    run.paint_where(clicked, lambda p: p[4].startswith("Relatório pronto")), 120,
                    "the layout finished")[0]
            else:
                done = first
            run.quiet(300)
            passes = "all-titles paging" if paging else title
            self.record_passes(f"{passes} after the click", side, run, clicked)
            if not paging:
                self.record(f"{title}: click to layout finished", side,
                            done - clicked, "ms")
                self.record(f"{title}: peak resident memory (VmHWM)", side,
                            run.peak_kb() / 1024.0, "MiB")
        finally:
            run.stop()

    def pdf(self, side):
        locate = ["RadioButton1", "GeraRelat", "Salvar relatório", "Salvar"]
        output = os.path.join(self.work, f"saved{self.run_index + 1}.pdf")
        run = self.start(side, self.catalogue("large"), "pdf", locate,
                         [output, os.path.join(self.o.source, "resources/pictures/logo.jpg")])
        try:
            main_painted(run)
            run.quiet(300)
            if side == "quivel":
                click(run, "RadioButton1")
                run.quiet(200)
                clicked = click(run, "GeraRelat")
                run.wait_for(run.paint_where(clicked, lambda p: p[4].startswith("Relatório pronto")),
                             120, "the media report laid out")
                run.quiet(300)
                click(run, "Salvar relatório")
                run.wait_for(run.paint_where(clicked, lambda p: p[1] == "Salvar relatório"), 30,
                             "the save dialog")
                run.quiet(300)
                xdotool("type", output)
                run.quiet(200)
                cpu = run.cpu_ms()
                started = now_ms()
                xdotool("key", "Return")
            else:
                cpu = run.cpu_ms()
                started = click(run, "Salvar")
            run.wait_for(lambda: pdf_complete(output), 600, "the PDF written")
            self.record("media report saved as PDF: to the file complete", side,
                        now_ms() - started, "ms")
            self.record("media report saved as PDF: to the file complete, CPU", side,
                        run.cpu_ms() - cpu, "ms")
            self.record("media report saved as PDF: PDF size", side,
                        os.path.getsize(output) / 1048576.0, "MiB")
        finally:
            run.stop()
            if os.path.exists(output):
                os.remove(output)

    # --- running and summing up ------------------------------------------------------------

    def pairs(self, label, quivel, plain):
        print(f"== {label}", flush=True)
        for i in range(self.o.pairs):
            print(f" pair {i + 1}, load {os.getloadavg()[0]:.2f}", flush=True)
            # The side that runs first alternates, so neither always finds the other's caches.
            order = (("quivel", quivel), ("plain", plain))
            for side, step in order if i % 2 == 0 else order[::-1]:
                if step is None:
                    continue
                try:
                    step(side)
                except RuntimeError as error:
                    print(f"  {side:6} {label}: FAILED ({error})", flush=True)

    def summary(self):
        print("\n== Summary (min / median of each side; ratio quivel/plain pair by pair)")
        for figure, sides in self.results.items():
            q = [v for v, _ in sides.get("quivel", [])]
            p = [v for v, _ in sides.get("plain", [])]
            unit = (sides.get("quivel") or sides.get("plain"))[0][1]
            line = f"{figure}:"
            if q:
                line += f" quivel {min(q):.1f} / {statistics.median(q):.1f} {unit} ({len(q)} runs)"
            if p:
                line += f"; plain {min(p):.1f} / {statistics.median(p):.1f} {unit}"
            if q and p and "pass" not in figure:
                ratios = [a / b for a, b in zip(q, p) if b > 0]
                if ratios:
                    line += (f"; ratio {min(ratios):.2f} / {statistics.median(ratios):.2f}x"
                             f" ({len(ratios)} pairs)")
            print(line)
        print("load average at the end: %.2f %.2f %.2f" % os.getloadavg())


def start_display():
    """Xvfb on a free display, checked to answer, and openbox on it."""
    for number in range(120, 200):
        if os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}"):
            continue
        xvfb = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1280x1024x24",
                                 "-nolisten", "tcp"], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        os.environ["DISPLAY"] = f":{number}"
        for _ in range(100):
            if xvfb.poll() is not None:
                break
            if subprocess.run(["xdpyinfo"], capture_output=True).returncode == 0:
                break
            time.sleep(0.1)
        if xvfb.poll() is None:
            break
    else:
        raise RuntimeError("no display could be started")
    os.environ.pop("WAYLAND_DISPLAY", None)
    wm = subprocess.Popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
    for _ in range(100):
        probe = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                               capture_output=True, text=True)
        if "window id" in probe.stdout:
            break
        time.sleep(0.1)
    return [wm, xvfb]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--pairs", type=int, default=5)
    parser.add_argument("--program", help="the program to time (default: the build's app/quivel)")
    parser.add_argument("--paths", default="startup,search,report,paging,pdf")
    parser.add_argument("--source", default=os.path.dirname(os.path.dirname(
        os.path.dirname(os.path.abspath(__file__)))))
    parser.add_argument("--bench-dir", default=os.environ.get(
        "QUIVEL_BENCH_DIR", os.path.join(tempfile.gettempdir(), "quivel-bench")))
    parser.add_argument("--server", default=os.environ.get("QUIVEL_BENCH_SERVER"),
                        help="a server holding the large catalogue (quivel-catalogue copy)")
    options = parser.parse_args()
    for tool in ("Xvfb", "openbox", "xdotool", "xprop", "xdpyinfo"):
        if not shutil.which(tool):
            print(f"{tool} is not installed: run scripts/install-deps.sh", file=sys.stderr)
            return 1
    bench = Bench(options)
    helpers = start_display()
    print("load average at the start: %.2f %.2f %.2f" % os.getloadavg(), flush=True)
    try:
        paths = options.paths.split(",")
        # "startup" runs both catalogues; "startup-sample" or "startup-large" one of them.
        if "startup" in paths or "startup-sample" in paths:
            bench.pairs("start-up, sample catalogue", lambda s: bench.startup(s, "sample"),
                        lambda s: bench.startup(s, "sample"))
        if "startup" in paths or "startup-large" in paths:
            bench.pairs("start-up, 1,000,000 titles", lambda s: bench.startup(s, "large"),
                        lambda s: bench.startup(s, "large"))
        if "search" in paths:
            bench.pairs('search "a", 1,000,000 titles', bench.search, bench.search)
        if "report" in paths:
            bench.pairs("all-titles report, first run after the click", bench.report,
                        bench.report)
        if "report-server" in paths:
            # The same catalogue on a server: the program alone, for its pauses and first page.
            if not options.server:
                print("report-server needs --server (or QUIVEL_BENCH_SERVER)", file=sys.stderr)
                return 1
            bench.pairs("all-titles report on a server, first run after the click",
                        lambda s: bench.report(s, database=options.server), None)
        if "paging" in paths:
            bench.pairs("paging while the report lays out",
                        lambda s: bench.report(s, paging=True), None)
        if "pdf" in paths:
            bench.pairs("media report saved as PDF (100,000 media)", bench.pdf, bench.pdf)
        bench.summary()
    finally:
        for helper in helpers:
            helper.terminate()
            helper.wait()
        shutil.rmtree(bench.work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
