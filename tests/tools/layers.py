#!/usr/bin/env python3
"""The folders of the program form layers: each includes only from itself and
from the folders below it, so there is no include circle between folders.

    analysis      pure computation (no store, no Windows)
    foundation    store, settings, ownership, threads, files
    audio, gui    the engine; the window toolkit
    config        the Configuration window
    mainwindow    the main window (owns the Configuration window)
    app           the program's top: entry, UI thread

Exits 1 and names every include that reaches up or sideways, and every
circle, when there is one."""
import os
import re
import sys

ROOT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
# Each folder and the folders it may include from (besides itself).
ALLOWED = {
    "analysis": set(),
    "foundation": {"analysis"},
    "audio": {"analysis", "foundation"},
    # The toolkit's window class carries the program's icons (resource ids).
    "gui": {"analysis", "foundation", "resources"},
    "resources": set(),
    "config": {"analysis", "foundation", "gui", "resources"},
    "mainwindow": {"analysis", "foundation", "gui", "config", "resources"},
    "app": {"analysis", "foundation", "gui", "audio", "config", "mainwindow", "resources"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z]+)/[^"]+"', re.M)


def edges():
    found = []
    for folder in ALLOWED:
        base = os.path.join(ROOT, folder)
        if not os.path.isdir(base):
            continue
        for name in sorted(os.listdir(base)):
            if not name.endswith((".h", ".cpp")):
                continue
            with open(os.path.join(base, name), encoding="utf-8") as f:
                for target in INCLUDE.findall(f.read()):
                    if target != folder:
                        found.append((folder, target, f"{folder}/{name}"))
    return found


def main():
    bad = [e for e in edges() if e[1] not in ALLOWED.get(e[0], set())]
    for folder, target, where in bad:
        print(f"{where} includes from {target}/, which {folder}/ may not use")
    graph = {}
    for folder, target, _ in edges():
        graph.setdefault(folder, set()).add(target)
    # A circle between folders: a folder reachable from itself.
    for start in graph:
        seen, stack = set(), list(graph[start])
        while stack:
            node = stack.pop()
            if node == start:
                print(f"include circle through {start}/")
                bad.append(None)
                break
            if node not in seen:
                seen.add(node)
                stack.extend(graph.get(node, ()))
    print(f"{len(edges())} includes between folders, {len(bad)} out of place")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
