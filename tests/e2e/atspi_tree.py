#!/usr/bin/env python3
"""Prints the accessible tree of the running varnel over AT-SPI, one object a line:
depth, role and name, tab-separated. Exits 1 when the application is not on the bus."""
import sys

import pyatspi


def walk(node, depth, out):
    try:
        role = node.getRoleName()
        name = node.name or ""
    except Exception:  # an object that went away while it was read
        return
    out.append(f"{depth}\t{role}\t{name}")
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            walk(child, depth + 1, out)


def main():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "varnel":
            out = []
            walk(app, 0, out)
            print("\n".join(out))
            return 0
    return 1


if __name__ == "__main__":
    sys.exit(main())
