#!/usr/bin/env python3
"""The rules of the tree that the compiler does not check; .ci/run runs them beside the tests.

  format    every C++ file is as the repository's .clang-format writes it;
  layering  a library includes headers of its own layer and of the layers below it only
            (platform < dicom < ecg, db, net < net/server/rules, net/client < net/server < app;
            platform/gui below ecg/window and app; the client knows no server), and Qt only in
            the GUI folders (platform/gui, ecg/window, app) and in the tests and benchmarks.
            Every include of a project header counts, "dicom/X.h" and <dicom/X.h> alike.

Each failing rule lists what breaks it; the exit status is 1 when a rule failed. Arguments name
the rules to run (both by default). CLANG_FORMAT names another formatter program.
"""
import os
import re
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Library folders, the longer prefix first, and the layers each may include besides its own.
# A path in none of them (tests/, bench/, a header beside the file) is not checked.
LAYERS = [
    ("platform/gui/", "platform/gui", {"platform"}),
    ("platform/", "platform", set()),
    ("dicom/codec/", "dicom/codec", {"dicom", "platform"}),
    ("dicom/", "dicom", {"platform"}),
    ("ecg/window/", "ecg/window", {"ecg", "dicom", "platform/gui", "platform"}),
    ("ecg/", "ecg", {"dicom", "platform"}),
    ("db/", "db", {"dicom", "platform"}),
    ("net/server/rules/", "net/server/rules", {"net", "dicom", "platform"}),
    ("net/server/", "net/server",
     {"net/client", "net/server/rules", "net", "db", "dicom/codec", "dicom", "platform"}),
    ("net/client/", "net/client", {"net", "db", "dicom", "platform"}),
    ("net/", "net", {"dicom", "platform"}),
    ("app/", "app",
     {"ecg/window", "ecg", "net/server", "net/client", "net/server/rules", "net", "db",
      "dicom/codec", "dicom", "platform/gui", "platform"}),
    ("tools/", "tools", {"dicom/codec", "dicom", "platform"}),
]
QT_FOLDERS = ("platform/gui/", "ecg/window/", "app/", "tests/", "bench/")

# Both forms: the compiler finds a project header through either (the root is an include
# folder), so both must keep to the layers. A name in angle brackets counts only when it is a
# file of the tree: <net/if.h> is the system's.
INCLUDE = re.compile(r'^\s*#\s*include\s*(?:"([^"]+)"|<([^>]+)>)', re.M)
QT_INCLUDE = re.compile(r"^\s*#\s*include\s*<(Q[A-Za-z0-9]*)(/[^>]*)?>", re.M)


def sources():
    out = subprocess.run(["git", "ls-files", "--", "*.cpp", "*.h", "*.cc", "*.hpp", "*.c"],
                         cwd=ROOT, check=True, capture_output=True, text=True).stdout
    return out.split()


def layer_of(path):
    for prefix, name, allowed in LAYERS:
        if path.startswith(prefix):
            return name, allowed
    return None, None


def check_format(files):
    formatter = os.environ.get("CLANG_FORMAT", "clang-format")
    if not shutil.which(formatter):
        print(f"format: {formatter} not found (package clang-format)")
        return False
    # One run over every file; each file off the style is named in a diagnostic.
    run = subprocess.run([formatter, "--dry-run", "--Werror", *files], cwd=ROOT,
                         capture_output=True, text=True)
    off = sorted({m.group(1) for m in re.finditer(r"^(\S+?):\d+:\d+: error:", run.stderr, re.M)})
    if run.returncode == 0 and not off:
        return True
    if not off:
        print("format: " + formatter + " failed:\n" + run.stderr)
        return False
    print(f"format: {len(off)} files differ from .clang-format (clang-format -i FILE mends one):")
    for path in off:
        print("  " + path)
    return False


def project_includes(text, tracked):
    for quoted, angled in INCLUDE.findall(text):
        if quoted:
            yield quoted
        elif angled in tracked:
            yield angled


def check_layering(files):
    broken = []
    tracked = set(files)
    for path in files:
        with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as f:
            text = f.read()
        layer, allowed = layer_of(path)
        if layer is not None:
            for target in project_includes(text, tracked):
                if "/" not in target:
                    continue  # a header beside the file
                to, _ = layer_of(target)
                if to is not None and to != layer and to not in allowed:
                    broken.append(f"{path}: {layer} includes {target} ({to})")
        if not path.startswith(QT_FOLDERS):
            for match in QT_INCLUDE.finditer(text):
                broken.append(f"{path}: Qt outside the GUI folders: <{match.group(1)}"
                              f"{match.group(2) or ''}>")
    if not broken:
        return True
    print(f"layering: {len(broken)} includes cross a layer:")
    for line in broken:
        print("  " + line)
    return False


def main():
    rules = sys.argv[1:] or ["format", "layering"]
    checks = {"format": check_format, "layering": check_layering}
    unknown = [r for r in rules if r not in checks]
    if unknown:
        print("unknown rule: " + ", ".join(unknown) + " (format, layering)")
        return 2
    files = sources()
    failed = [r for r in rules if not checks[r](files)]
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
