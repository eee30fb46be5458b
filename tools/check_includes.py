#!/usr/bin/env python3
"""Fails when the product's modules include each other in a circle.

A module is a header with its source file (host/requests.h with host/requests.cpp), in any
folder of the product, the players' rooms (player/winamp/) included; module A depends on
module B when a file of A includes B's header. Prints every cycle found, or the modules in an
order from the bottom up when there is none.

usage: check_includes.py [ROOT]   (default: the checkout this script lies in)"""

import os
import re
import sys

PRODUCT_DIRS = ("host", "settings", "player", "mixer")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def source_files(root):
    """The product's files as paths from the root, the players' rooms included."""
    for folder in PRODUCT_DIRS:
        for here, _, names in os.walk(os.path.join(root, folder)):
            for name in names:
                yield os.path.relpath(os.path.join(here, name), root).replace(os.sep, "/")


def modules(root):
    """Module name -> the set of modules it includes."""
    graph = {}
    for name in sorted(source_files(root)):
        # A header the build makes from a template (version.h.in) counts as written.
        stem, ext = os.path.splitext(name[:-3] if name.endswith(".h.in") else name)
        if ext not in (".h", ".cpp"):
            continue
        module = stem
        with open(os.path.join(root, name), encoding="latin-1") as f:
            text = f.read()
        deps = graph.setdefault(module, set())
        for included in INCLUDE.findall(text):
            other, _ = os.path.splitext(included)
            if other.split("/")[0] in PRODUCT_DIRS and other != module:
                deps.add(other)
    return graph


def cycles(graph):
    """The strongly connected components of more than one module (Tarjan)."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on_stack.add(v)
        for w in sorted(graph.get(v, ())):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            component = []
            while True:
                w = stack.pop()
                on_stack.discard(w)
                component.append(w)
                if w == v:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    for v in sorted(graph):
        if v not in index:
            visit(v)
    return found


def bottom_up(graph):
    order, done = [], set()

    def place(v):
        if v in done:
            return
        done.add(v)
        for w in sorted(graph.get(v, ())):
            place(w)
        order.append(v)

    for v in sorted(graph):
        place(v)
    return order


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(
        os.path.abspath(__file__)))
    graph = modules(root)
    missing = sorted({d for deps in graph.values() for d in deps} - set(graph))
    found = cycles(graph)
    for component in found:
        print("include cycle among: " + ", ".join(component))
        for v in component:
            inside = sorted(graph[v] & set(component))
            print(f"  {v} includes {', '.join(inside)}")
    for m in missing:
        print(f"included but not found: {m}")
    if found or missing:
        return 1
    print(f"{len(graph)} modules, no include cycle; bottom up: " + " ".join(bottom_up(graph)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
