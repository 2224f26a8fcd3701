"""Real hand photos for the camera tests: Debian's gcompris-qt-data holds eight (palm, back, fist;
left and right) in leftright.rcc. The package is GPL-3: it is fetched with `apt-get download`
into a cache at test time and never committed. Also a tiny reader of Qt's .rcc resource files."""

import glob
import os
import struct
import subprocess
import zlib

PACKAGE = "gcompris-qt-data"
RCC = "./usr/share/gcompris-qt/rcc/leftright.rcc"


def cache_dir():
    base = os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache")
    return os.path.join(base, "quorvel", "photos")


def read_rcc(data):
    """{path: bytes} of every file in a Qt resource collection (format versions 1-3, zlib)."""
    magic, version, tree, payload, names = struct.unpack(">4sIIII", data[:20])
    if magic != b"qres":
        raise ValueError("not a Qt resource file")
    entry_size = 14 if version == 1 else 22

    def name(offset):
        length = struct.unpack(">H", data[names + offset:names + offset + 2])[0]
        return data[names + offset + 6:names + offset + 6 + 2 * length].decode("utf-16-be")

    files = {}

    def walk(index, prefix):
        at = tree + index * entry_size
        name_offset, flags = struct.unpack(">IH", data[at:at + 6])
        path = prefix + "/" + name(name_offset) if index else ""
        if flags & 2:  # a directory
            count, first = struct.unpack(">II", data[at + 6:at + 14])
            for child in range(first, first + count):
                walk(child, path)
            return
        offset = struct.unpack(">I", data[at + 10:at + 14])[0]
        size = struct.unpack(">I", data[payload + offset:payload + offset + 4])[0]
        blob = data[payload + offset + 4:payload + offset + 4 + size]
        if flags & 1:
            blob = zlib.decompress(blob[4:])
        elif flags & 4:
            raise ValueError(f"{path}: zstd-compressed resources are not supported")
        files[path] = blob

    walk(0, "")
    return files


def photos():
    """{name: BGRA image} of the hand photos; fetches the package on first use."""
    import cv2
    import numpy as np

    out = os.path.join(cache_dir(), "leftright")
    if not glob.glob(os.path.join(out, "*.webp")):
        os.makedirs(cache_dir(), exist_ok=True)
        debs = glob.glob(os.path.join(cache_dir(), PACKAGE + "_*.deb"))
        if not debs:
            subprocess.run(["apt-get", "download", PACKAGE], cwd=cache_dir(), check=True,
                           stdout=subprocess.DEVNULL)
            debs = glob.glob(os.path.join(cache_dir(), PACKAGE + "_*.deb"))
        tar = subprocess.run(f"dpkg-deb --fsys-tarfile '{debs[0]}' | tar -xO '{RCC}'", shell=True,
                             check=True, stdout=subprocess.PIPE).stdout
        os.makedirs(out, exist_ok=True)
        for path, blob in read_rcc(tar).items():
            if path.endswith(".webp"):
                with open(os.path.join(out, os.path.basename(path)), "wb") as f:
                    f.write(blob)
    images = {}
    for path in sorted(glob.glob(os.path.join(out, "*.webp"))):
        image = cv2.imread(path, cv2.IMREAD_UNCHANGED)
        if image is not None and image.ndim == 3 and image.shape[2] == 4:
            images[os.path.basename(path)[:-5]] = image
    return images
