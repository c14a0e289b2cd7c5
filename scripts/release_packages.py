#!/usr/bin/env python3
"""The release's packages from the two installed trees that scripts/release.sh stages.

  release_packages.py --linux DIR --windows DIR --version V --epoch SECONDS --out DIR

--linux holds what a Linux author gets under a prefix (bin/lmvpack, share/lmvpack/...,
share/man, share/bash-completion, share/doc/lmvpack), --windows what a Windows author gets in
one folder. Writes to --out:

  lmvpack_<V>_amd64.deb                  the Linux tree under /usr; its dependencies are the
                                         libraries lmvpack links (dpkg-shlibdeps)
  lmvpack-<V>-linux-x86_64.tar.gz        the Linux tree in the folder lmvpack-<V>-linux-x86_64
  lmvpack-<V>-win32.zip                  the Windows tree in the folder lmvpack-<V>-win32
  SHA256SUMS                             of the three

The same trees give the same bytes, whatever the order in which the file system lists them,
their files' times and owners, and the umask: every entry is in name order, dated --epoch
(the commit's time), owned by root, and has the mode 0755 (folders and programs) or 0644.
"""

from __future__ import annotations

import argparse
import gzip
import hashlib
import io
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
import time
import zipfile
from pathlib import Path

MAINTAINER = "Lumenvault developers <dev@lumenvault.example>"
# What `lmvpack try` and `lmvpack sign` run; apt installs them with lmvpack unless told not to.
# wine32 is the 32-bit half the trials need (Multi-Arch: foreign, so the i386 package counts
# once the architecture is added); x11-apps and imagemagick take try's screenshots.
RECOMMENDS = "wine, wine32, xvfb, osslsigncode"
SUGGESTS = "x11-apps, imagemagick"
DESCRIPTION = """build self-installing screen-saver packages for Windows
 lmvpack builds installers for 32-bit Windows screen savers from a TOML manifest and
 its installer stub (lmvstub.exe, shipped with it), and lists, extracts, verifies,
 signs (through osslsigncode) and tries them (under Wine, on a virtual display)."""


class ReleaseError(Exception):
    pass


def entries(root: Path) -> list[Path]:
    """Every path under root, relative to it, folders before what they hold, in name order."""
    found = []
    for folder, subfolders, files in os.walk(root):
        subfolders.sort()
        base = Path(folder).relative_to(root)
        for name in sorted(subfolders + files):
            found.append(base / name)
    return sorted(found, key=lambda p: p.parts)


def is_program(path: Path) -> bool:
    return path.is_file() and os.access(path, os.X_OK)


def mode_of(path: Path) -> int:
    return 0o755 if path.is_dir() or is_program(path) else 0o644


def compress_manual_pages(tree: Path) -> None:
    """man pages gzipped as Debian keeps them, with no name or time in the header."""
    for page in sorted(tree.glob("share/man/man*/*.[0-9]")):
        data = page.read_bytes()
        with open(page.with_name(page.name + ".gz"), "wb") as out:
            with gzip.GzipFile(filename="", mode="wb", compresslevel=9, fileobj=out,
                               mtime=0) as packed:
                packed.write(data)
        page.unlink()


def normalise(tree: Path, epoch: int) -> None:
    for relative in reversed(entries(tree)):
        path = tree / relative
        if path.is_symlink():
            raise ReleaseError(f"{path}: a symbolic link; the packages hold plain files only")
        path.chmod(mode_of(path))
        os.utime(path, (epoch, epoch))
    tree.chmod(0o755)
    os.utime(tree, (epoch, epoch))


def gzip_tar(tree: Path, folder: str, epoch: int, out: Path) -> None:
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=tarfile.GNU_FORMAT) as tar:
        for relative in [Path("."), *entries(tree)]:
            path = tree / relative
            info = tarfile.TarInfo(str(Path(folder) / relative) if relative != Path(".")
                                   else folder)
            info.mtime = epoch
            info.uid = info.gid = 0
            info.uname = info.gname = "root"
            info.mode = mode_of(path)
            if path.is_dir():
                info.type = tarfile.DIRTYPE
                tar.addfile(info)
            else:
                info.size = path.stat().st_size
                with open(path, "rb") as content:
                    tar.addfile(info, content)
    with open(out, "wb") as raw:
        with gzip.GzipFile(filename="", mode="wb", compresslevel=9, fileobj=raw,
                           mtime=0) as packed:
            packed.write(buffer.getvalue())


def zip_folder(tree: Path, folder: str, epoch: int, out: Path) -> None:
    # Zip keeps local times of two-second steps from 1980 on; the commit's time in UTC.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(out, "w") as archive:
        for relative in [Path("."), *entries(tree)]:
            path = tree / relative
            name = folder if relative == Path(".") else f"{folder}/{relative.as_posix()}"
            info = zipfile.ZipInfo(name + ("/" if path.is_dir() else ""), date_time=stamp)
            info.create_system = 0  # MS-DOS attributes: what Windows reads
            if path.is_dir():
                info.external_attr = 0x10
                archive.writestr(info, b"")
            else:
                info.compress_type = zipfile.ZIP_DEFLATED
                archive.writestr(info, path.read_bytes(), compresslevel=9)


def shared_library_dependencies(package_root: Path, program: Path) -> str:
    """dpkg-shlibdeps' Depends for the program: the packages of the libraries it links, at
    least the versions whose symbols it uses."""
    work = package_root.parent.parent
    (work / "debian").mkdir(exist_ok=True)
    (work / "debian" / "control").write_text(
        "Source: lmvpack\n\nPackage: lmvpack\nArchitecture: amd64\n")
    result = subprocess.run(["dpkg-shlibdeps", "-O", str(program.relative_to(work))], cwd=work,
                            capture_output=True, text=True)
    if result.returncode != 0:
        raise ReleaseError(f"dpkg-shlibdeps failed:\n{result.stderr}")
    for line in result.stdout.splitlines():
        if line.startswith("shlibs:Depends="):
            return line.split("=", 1)[1]
    raise ReleaseError(f"dpkg-shlibdeps named no dependency:\n{result.stdout}{result.stderr}")


def build_deb(linux: Path, version: str, epoch: int, work: Path, out: Path) -> None:
    # dpkg-shlibdeps wants the program where a package build keeps it: debian/<package>/.
    root = work / "debian" / "lmvpack"
    shutil.copytree(linux, root / "usr")
    depends = shared_library_dependencies(root, root / "usr" / "bin" / "lmvpack")
    files = [p for p in entries(root) if (root / p).is_file()]
    installed_kib = sum((root / p).stat().st_size // 1024 + 1 for p in files)
    control = root / "DEBIAN"
    control.mkdir()
    (control / "control").write_text(
        f"Package: lmvpack\nVersion: {version}\nArchitecture: amd64\nMaintainer: {MAINTAINER}\n"
        f"Installed-Size: {installed_kib}\nDepends: {depends}\nRecommends: {RECOMMENDS}\n"
        f"Suggests: {SUGGESTS}\nSection: devel\nPriority: optional\n"
        f"Description: {DESCRIPTION}\n")
    (control / "md5sums").write_text("".join(
        f"{hashlib.md5((root / p).read_bytes()).hexdigest()}  {p.as_posix()}\n" for p in files))
    normalise(root, epoch)
    # dpkg-deb dates the archive's members by SOURCE_DATE_EPOCH and takes the entries' times
    # from the files; one compressor thread, so that the bytes do not depend on how many
    # processors the machine has.
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch))
    result = subprocess.run(["dpkg-deb", "--root-owner-group", "-Zxz", "--threads-max=1",
                             "--build", str(root), str(out)], env=env, capture_output=True,
                            text=True)
    if result.returncode != 0:
        raise ReleaseError(f"dpkg-deb failed:\n{result.stdout}{result.stderr}")


def check_version(linux: Path, version: str) -> None:
    said = subprocess.run([str(linux / "bin" / "lmvpack"), "--version"], capture_output=True,
                          text=True)
    if said.stdout.strip() != f"lmvpack {version}":
        raise ReleaseError(f"bin/lmvpack --version says {said.stdout.strip()!r}; the release "
                           f"is {version}")


def make_packages(linux: Path, windows: Path, version: str, epoch: int, out: Path) -> list[Path]:
    check_version(linux, version)
    out.mkdir(parents=True, exist_ok=True)
    names = {"deb": f"lmvpack_{version}_amd64.deb",
             "tar": f"lmvpack-{version}-linux-x86_64.tar.gz",
             "zip": f"lmvpack-{version}-win32.zip"}
    with tempfile.TemporaryDirectory(prefix="lmvpack-packages-") as scratch:
        work = Path(scratch)
        linux_tree, windows_tree = work / "linux", work / "windows"
        shutil.copytree(linux, linux_tree)
        shutil.copytree(windows, windows_tree)
        compress_manual_pages(linux_tree)
        normalise(linux_tree, epoch)
        normalise(windows_tree, epoch)
        build_deb(linux_tree, version, epoch, work / "deb", out / names["deb"])
        gzip_tar(linux_tree, f"lmvpack-{version}-linux-x86_64", epoch, out / names["tar"])
        zip_folder(windows_tree, f"lmvpack-{version}-win32", epoch, out / names["zip"])
    packages = [out / names[kind] for kind in ("deb", "tar", "zip")]
    (out / "SHA256SUMS").write_text("".join(
        f"{hashlib.sha256(p.read_bytes()).hexdigest()}  {p.name}\n"
        for p in sorted(packages, key=lambda p: p.name)))
    return packages


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--linux", required=True, type=Path)
    parser.add_argument("--windows", required=True, type=Path)
    parser.add_argument("--version", required=True)
    parser.add_argument("--epoch", required=True, type=int)
    parser.add_argument("--out", required=True, type=Path)
    args = parser.parse_args()
    try:
        for package in make_packages(args.linux, args.windows, args.version, args.epoch,
                                     args.out):
            print(f"{package}  {package.stat().st_size} bytes")
    except (ReleaseError, OSError) as failure:
        print(f"release: {failure}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
