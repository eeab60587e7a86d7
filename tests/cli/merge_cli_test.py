#!/usr/bin/python3
"""kelvane-merge against independent references, and killed mid-way.

  merge_cli_test.py KELVANE_MERGE CHECK
      CHECK: sort | icu | kill | oom | usage | budget | failed_input
"""
import os
import pty
import random
import resource
import select
import signal
import subprocess
import sys
import tempfile
import time

MERGE = os.path.abspath(sys.argv[1])


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def merge(out, inputs, env=None, options=()):
    return subprocess.run([MERGE] + list(options) + [out] + inputs, capture_output=True, env=env,
                          check=True)


def check_sort(tmp):
    """Numbers alone come out byte for byte as `LC_ALL=C sort -u` gives them."""
    rng = random.Random(1)
    numbers = [str(rng.choice((13, 15)) * 10**9 + rng.randrange(10**9)) for _ in range(30000)]
    inputs = []
    for i, ending in enumerate((b"\r\n", b"\n", b"\r")):
        part = [rng.choice(numbers) for _ in range(20000)]
        path = os.path.join(tmp, "n%d.txt" % i)
        write(path, b"".join(n.encode() + ending for n in part))
        inputs.append(path)
    out = os.path.join(tmp, "out.txt")
    count = int(merge(out, inputs).stdout)
    text = b"".join(read(p).replace(b"\r\n", b"\n").replace(b"\r", b"\n") for p in inputs)
    expected = subprocess.run(["sort", "-u"], input=text, capture_output=True,
                              env=dict(os.environ, LC_ALL="C"), check=True).stdout
    expected = expected.replace(b"\n", b"\r\n")
    assert read(out) == expected, "output differs from LC_ALL=C sort -u"
    assert count == expected.count(b"\r\n"), count


def check_icu(tmp):
    """Mixed text comes out in the order of an independent ICU collator."""
    import icu
    words = ["苹果", "香蕉", "手机", "电话", "号码", "北京", "上海", "联系", "搜索", "中国",
             "Apple", "banana", "Cherry", "delta", "Echo", "foxtrot", "golf", "Hotel"]
    rng = random.Random(2)
    lines = set()
    folded = set()
    while len(lines) < 400:
        line = rng.choice(words) + rng.choice(["", " ", "  "]) + rng.choice(words) + rng.choice(["", " x", "1", "22"])
        if line.casefold() not in folded:  # no two lines differ only in case
            folded.add(line.casefold())
            lines.add(line)
    lines = list(lines)
    rng.shuffle(lines)
    path = os.path.join(tmp, "mixed.txt")
    write(path, b"".join(l.encode("gbk") + b"\r\n" for l in lines))
    out = os.path.join(tmp, "out.txt")
    merge(out, [path], env=dict(os.environ, LC_ALL="zh_CN.UTF-8"))
    got = read(out).decode("gbk").split("\r\n")[:-1]
    collator = icu.Collator.createInstance(icu.Locale("zh_CN"))
    collator.setStrength(icu.Collator.SECONDARY)
    expected = sorted(lines, key=collator.getSortKey)
    assert got == expected, "order differs from ICU's:\n%s\n%s" % (got[:10], expected[:10])


def check_kill(tmp):
    """Killed at any moment, the merge leaves the old output or the new one."""
    rng = random.Random(3)
    big = os.path.join(tmp, "big.txt")
    write(big, b"".join(b"%d\r\n" % (13 * 10**9 + rng.randrange(10**9)) for _ in range(600000)))
    out = os.path.join(tmp, "out.txt")
    old = b"the previous output\r\n"
    merge(out, [big])
    new = read(out)
    for delay in [0.01 * i for i in range(1, 40, 3)]:
        write(out, old)
        process = subprocess.Popen([MERGE, out, big], stdout=subprocess.DEVNULL)
        time.sleep(delay)
        process.send_signal(signal.SIGKILL)
        process.wait()
        assert read(out) in (old, new), "torn output after %.2f s" % delay
    # A killed process cannot clean up after itself: what it leaves beside
    # the output are its temporary files, and the next merge to the same
    # output removes them.
    others = set(os.listdir(tmp)) - {"big.txt", "out.txt"}
    assert all(n.startswith("out.txt.tmp") for n in others), others
    merge(out, [big])
    assert read(out) == new
    assert sorted(os.listdir(tmp)) == ["big.txt", "out.txt"], os.listdir(tmp)
    # Beyond the memory budget, with runs on disk: the same, and the runs'
    # file has no name to leave behind.
    for delay in [0.02 * i for i in range(1, 30, 4)]:
        write(out, old)
        before = sorted(os.listdir(tmp))
        process = subprocess.Popen([MERGE, "--memory", "64K", out, big], stdout=subprocess.DEVNULL)
        time.sleep(delay)
        process.send_signal(signal.SIGKILL)
        process.wait()
        assert read(out) in (old, new), "torn output after %.2f s with runs" % delay
        assert sorted(os.listdir(tmp)) == before, "files left after %.2f s with runs" % delay


def check_oom(tmp):
    """Short of memory at any point, the merge fails cleanly: exit status 1,
    "Out of memory." and the folder as it was; given enough, it succeeds."""
    path = os.path.join(tmp, "text.txt")
    # Text lines, enough for the keys to be computed on two threads.
    write(path, b"".join(("%d号码手机" % i).encode("gbk") * 8 + b"\r\n" for i in range(40000)))
    out = os.path.join(tmp, "out.txt")
    merge(out, [path])
    expected = read(out)
    old = b"the previous output\r\n"

    def run(limit, inputs):
        write(out, old)
        before = sorted(os.listdir(tmp))
        result = subprocess.run(
            [MERGE, out] + inputs, capture_output=True,
            preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_AS, (limit, limit)))
        return result, before

    # The least address space in which the program starts and merges a line.
    tiny = os.path.join(tmp, "tiny.txt")
    write(tiny, b"x\r\n")
    low, high = 1 << 20, 1 << 32
    while high - low > 1 << 20:
        middle = (low + high) // 2
        if run(middle, [tiny])[0].returncode == 0:
            high = middle
        else:
            low = middle
    # From there up, 2 MB a step, until the merge of the text succeeds.
    failures = 0
    for limit in range(high, high + (1 << 30), 2 << 20):
        result, before = run(limit, [path])
        if result.returncode == 0:
            assert read(out) == expected, "different output under a %d-byte limit" % limit
            break
        assert (result.returncode, result.stderr) == (1, b"kelvane-merge: Out of memory.\n"), \
            "under a %d-byte limit: %r %r" % (limit, result.returncode, result.stderr)
        assert sorted(os.listdir(tmp)) == before, "files left under a %d-byte limit" % limit
        assert read(out) == old
        failures += 1
    else:
        assert False, "the merge never succeeded"
    assert failures > 0, "no limit was low enough to fail"


def check_usage(tmp):
    """The command line: help and version on standard output, wrong usage
    refused with exit status 2 and the usage line, sizes with suffixes."""
    help_text = subprocess.run([MERGE, "--help"], capture_output=True)
    assert help_text.returncode == 0 and help_text.stderr == b""
    assert help_text.stdout.startswith(b"Usage: kelvane-merge [--memory SIZE] OUTPUT INPUT...\n")
    version = subprocess.run([MERGE, "--version"], capture_output=True)
    assert (version.returncode, version.stdout) == (0, b"kelvane-merge 2.6\n"), version
    path = os.path.join(tmp, "in.txt")
    write(path, b"b\r\na\r\n")
    out = os.path.join(tmp, "out.txt")
    usage = b"usage: kelvane-merge [--memory SIZE] OUTPUT INPUT...\n"
    for args in ([], [out], ["--memory"], ["--memory", "64Q", out, path], ["--memory", "0", out, path],
                 ["--memory", "", out, path], ["--memory=1.5G", out, path], ["--fast", out, path],
                 ["-m", "64M", out, path], ["--", out]):
        result = subprocess.run([MERGE] + args, capture_output=True)
        assert result.returncode == 2 and result.stdout == b"", (args, result)
        assert result.stderr.startswith(b"kelvane-merge: ") and result.stderr.endswith(usage), (args, result)
        assert not os.path.exists(out), args
    for size in ("4096", "64K", "64k", "1M", "2G"):
        result = merge(out, [path], options=("--memory", size))
        assert (result.stdout, read(out)) == (b"2\n", b"a\r\nb\r\n"), size
    # Options may come after the files; after "--" everything is a file.
    os.remove(out)
    result = merge(out, [path, "--memory", "1M"])
    assert read(out) == b"a\r\nb\r\n"
    dash = os.path.join(tmp, "--version")
    write(dash, b"c\r\n")
    subprocess.run([MERGE, "--", out, path, dash], check=True, capture_output=True, cwd=tmp)
    assert read(out) == b"a\r\nb\r\nc\r\n"
    # Progress goes to a terminal only.
    result = merge(out, [path], options=("--memory", "64K"))
    assert result.stderr == b"", result.stderr
    master, slave = pty.openpty()
    result = subprocess.run([MERGE, out, path], stdout=subprocess.PIPE, stderr=slave)
    os.close(slave)
    shown = b""
    while select.select([master], [], [], 1)[0]:
        try:
            chunk = os.read(master, 4096)
        except OSError:
            break
        if not chunk:
            break
        shown += chunk
    os.close(master)
    assert result.stdout == b"2\n" and b"reading" in shown, (result.stdout, shown)


def check_budget(tmp):
    """Beyond the memory budget, runs on disk give the same bytes as the
    merge in memory, in the locale's order, and leave no file behind."""
    rng = random.Random(4)
    words = ["苹果", "香蕉", "手机", "电话", "号码", "Apple", "banana", "Cherry", "ＡＢ", "１３８"]
    inputs = []
    for i in range(3):
        lines = []
        for _ in range(30000):
            kind = rng.randrange(4)
            if kind == 0:
                lines.append(str(rng.choice((13, 15)) * 10**9 + rng.randrange(10**9)).encode())
            elif kind == 1:
                word = rng.choice(words) + rng.choice(words) + rng.choice(["", " ", "1", "\t"])
                lines.append(word.swapcase().encode("gbk") if rng.randrange(3) == 0 else word.encode("gbk"))
            elif kind == 2:
                lines.append(b"%d\x00%d" % (rng.randrange(100), rng.randrange(100)))
            else:
                lines.append(b"")
        path = os.path.join(tmp, "in%d.txt" % i)
        write(path, b"\r\n".join(lines) + rng.choice([b"", b"\r\n"]))
        inputs.append(path)
    env = dict(os.environ, LC_ALL="zh_CN.UTF-8")
    merge(os.path.join(tmp, "memory.txt"), inputs, env=env)
    expected = read(os.path.join(tmp, "memory.txt"))
    before = sorted(os.listdir(tmp))
    for size in ("1M", "64K", "4K"):
        result = merge(os.path.join(tmp, "runs.txt"), inputs, env=env, options=("--memory", size))
        assert read(os.path.join(tmp, "runs.txt")) == expected, "different output with --memory %s" % size
        assert int(result.stdout) == expected.count(b"\r\n")
        assert sorted(os.listdir(tmp)) == sorted(before + ["runs.txt"]), os.listdir(tmp)


def check_failed_input(tmp):
    """An input that cannot be opened or read, first, in the middle or last:
    exit status 1, the reason on standard error, no count, and OUTPUT as it
    was (the same file, bytes and mode; a missing one stays missing) with
    nothing beside it, in memory and with runs on disk."""
    # 2.6 MB: beyond a 64K budget before any later input fails.
    write(os.path.join(tmp, "data.txt"), b"".join(b"%d\r\n" % (13800000000 + 7 * i) for i in range(200000)))
    os.chmod(os.path.join(tmp, "data.txt"), 0o640)
    os.mkdir(os.path.join(tmp, "folder"))

    def folder():
        entries = {}
        for name in os.listdir(tmp):
            info = os.stat(os.path.join(tmp, name))
            entries[name] = (info.st_ino, info.st_mode, None if name == "folder" else read(os.path.join(tmp, name)))
        return entries

    cases = [
        (["data.txt", "missing.txt", "data.txt"], b"Cannot open file missing.txt."),
        (["missing.txt", "data.txt"], b"Cannot open file missing.txt."),
        (["data.txt", "data.txt", "missing.txt"], b"Cannot open file missing.txt."),
        (["data.txt", "folder"], b"Cannot open file folder."),
        (["data.txt", "/proc/self/mem", "data.txt"], b"Stream read error."),
    ]
    for inputs, said in cases:
        for output in ("data.txt", "new.txt"):
            for options in ((), ("--memory", "64K")):
                before = folder()
                result = subprocess.run([MERGE, *options, output, *inputs], capture_output=True, cwd=tmp)
                assert (result.returncode, result.stdout, result.stderr) == (1, b"", b"kelvane-merge: " + said + b"\n"), \
                    (inputs, output, options, result)
                assert folder() == before, (inputs, output, options, sorted(folder()))


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as tmp:
        {"sort": check_sort, "icu": check_icu, "kill": check_kill, "oom": check_oom,
         "usage": check_usage, "budget": check_budget,
         "failed_input": check_failed_input}[sys.argv[2]](tmp)
    print("ok")
