#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# The layers check (ctest layers.includes): every include of the program's
# sources goes downwards, as the house is drawn:
#
#   wizard     -> components, platform
#   tools      -> components, platform
#   components -> platform
#   platform   -> nothing above it; inside it, the subsystems as below
#                 (each folder's README says the same in words).
#
# Usage: check-layers.py [SOURCE_DIR]   (default: the checkout this script is in)
# Prints every include that runs back up and exits 1 when there is one.
# Includes of headers outside the checkout (Qt, the C library, generated
# ui_*.h and moc files) are not the layers' business and are skipped; a
# relative include is resolved against the including file first.
import os
import re
import sys

# Which top-level folders a folder's sources may include from.
LAYERS = {
    "wizard": {"wizard", "components", "platform"},
    "tools": {"tools", "components", "platform"},
    "components": {"components", "platform"},
    "platform": {"platform"},
}

# The subsystems of platform/ (the deepest folder wins) and what each may
# include: a folder name allows all of it, a path one header of it.
SUBSYSTEMS = {
    # The base. Message boxes name their owner by the handle the desktop
    # calls know for an own window, so it uses that one header of desktop/.
    "system": {"system", "desktop/desktop.h"},
    "registry": {"registry", "system"},
    "sound": {"sound", "system"},
    # The RAS calls; the factory (ras/ras_factory.cpp) alone makes the
    # backends, see FILES below.
    "ras": {"ras", "system"},
    # A backend: the two headers of the RAS layer, never another backend.
    "ras/sim": {"ras/sim", "ras/ras.h", "ras/ras_backend.h", "system"},
    "ras/pppd": {"ras/pppd", "ras/ras.h", "ras/ras_backend.h", "system"},
    "ras/nm": {"ras/nm", "ras/ras.h", "ras/ras_backend.h", "system"},
    # The dial-up windows follow every connection made through the RAS calls.
    "desktop": {"desktop", "system", "ras/ras.h"},
}

# Single files allowed more than their folder.
FILES = {
    "platform/ras/ras_factory.cpp": {"ras/sim", "ras/pppd", "ras/nm"},
}

SOURCE_SUFFIXES = (".cpp", ".h", ".c", ".hpp")
INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^>"]+)[>"]')


def subsystem_of(rel):
    """The platform subsystem of a path below platform/ ("ras/nm"), or None."""
    parts = rel.split("/")[1:-1]
    best = None
    for n in range(1, len(parts) + 1):
        name = "/".join(parts[:n])
        if name in SUBSYSTEMS:
            best = name
    return best


def covered(target_in_platform, allowed):
    for a in allowed:
        if target_in_platform == a or target_in_platform.startswith(a + "/"):
            return True
    return False


def check(root):
    faults = []
    for layer in sorted(LAYERS):
        for dirpath, dirnames, filenames in os.walk(os.path.join(root, layer)):
            dirnames.sort()
            for fn in sorted(filenames):
                if not fn.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(dirpath, fn)
                rel = os.path.relpath(path, root)
                if layer == "platform" and subsystem_of(rel) is None:
                    faults.append(f"{rel}: a source file outside the subsystems of platform/")
                    continue
                with open(path, encoding="utf-8", errors="replace") as f:
                    lines = f.readlines()
                for no, line in enumerate(lines, 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    fault = judge(root, rel, m.group(1))
                    if fault:
                        faults.append(f"{rel}:{no}: includes {fault}")
    return faults


def judge(root, rel, name):
    """None when the include of name in rel is allowed, else why not."""
    target = None
    beside = os.path.normpath(os.path.join(os.path.dirname(rel), name))
    if not beside.startswith("..") and os.path.isfile(os.path.join(root, beside)):
        target = beside
    elif os.path.isfile(os.path.join(root, name)):
        target = os.path.normpath(name)
    if target is None or target.startswith(".."):
        return None
    src_layer = rel.split("/")[0]
    dst_layer = target.split("/")[0]
    if dst_layer not in LAYERS[src_layer]:
        return f'"{target}": {src_layer}/ may not use {dst_layer}/'
    if src_layer != "platform":
        return None
    src_sub = subsystem_of(rel)
    dst_in_platform = target[len("platform/"):]
    allowed = set(SUBSYSTEMS[src_sub]) | FILES.get(rel, set())
    if covered(dst_in_platform, allowed):
        return None
    return f'"{target}": platform/{src_sub}/ may not use it (allowed: {", ".join(sorted(allowed))})'


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    root = os.path.abspath(root)
    faults = check(root)
    for f in faults:
        print("check-layers: " + f)
    if faults:
        print(f"check-layers: FAIL: {len(faults)} fault(s): includes must only go downwards")
        return 1
    print("check-layers: every include goes downwards")
    return 0


if __name__ == "__main__":
    sys.exit(main())
