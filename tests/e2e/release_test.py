#!/usr/bin/env python3
"""The release works where nothing of the project is installed.

  release_test.py --dist DIR --version V --release-work DIR --checkout DIR
                  --template DIR --lmvpack TREE_LMVPACK --stub TREE_STUB --work DIR

Takes the packages that scripts/release.sh wrote (--dist; its --work folder is
--release-work) and checks:

- SHA256SUMS names the three packages with their sums;
- packing the staged trees again, listed in another order, with other times and modes, gives
  the same bytes; no file of the packages holds a path of the machine that built them (either
  would make two release runs of one commit differ);
- on a clean Debian 12 root (mmdebstrap, from the mirror this machine's apt uses; the root is
  kept as a tarball in $LMV_CLEAN_MACHINE_CACHE, default /var/cache/lmvpack-clean-machine, with
  the packages apt downloads): apt-get installs the .deb with what it depends on and would
  install Wine's 32-bit part, Xvfb and osslsigncode with it; lmvpack init, build, verify and
  list work there, its completion loads, `try` and `sign` say what to install; then, the
  package removed, the Linux archive unpacked into a folder with a space in its name builds
  from another folder with the stub beside its own binary;
- the zip unpacked here, its lmvpack.exe under Wine (a copy of the e2e template prefix) builds
  from another folder with the stub beside it;
- every installer built there is byte for byte the one this tree's build (--lmvpack, --stub)
  makes of the same manifest, and the shipped Aurora sample builds the tree's sample installer.

Needs root (mmdebstrap and chroot). The first run makes the root (a minute or two); later
runs unpack it and install the .deb's dependencies from the kept packages.
"""

from __future__ import annotations

import argparse
import hashlib
import io
import os
import random
import re
import shutil
import subprocess
import sys
import tarfile
import time
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
# The Wine prefix, the display and the GUI driver, shared with scripts/demo_install.py.
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts" / "wine"))

import wine_session  # noqa: E402
from windows_tool_test import describe, first_difference, unix_lines, windows_path  # noqa: E402

SCRIPTS = Path(__file__).resolve().parents[2] / "scripts"
SUITE = "bookworm"
CHROOT_TIMEOUT = 900
WINE_TIMEOUT = 120


def package_names(version: str) -> dict:
    return {"deb": f"lmvpack_{version}_amd64.deb",
            "tar": f"lmvpack-{version}-linux-x86_64.tar.gz",
            "zip": f"lmvpack-{version}-win32.zip"}


# --- the packages themselves ---------------------------------------------------------------

def check_sums(dist: Path, names: dict) -> list:
    sums = dist / "SHA256SUMS"
    if not sums.is_file():
        return [f"{sums} is missing"]
    listed = dict(reversed(line.split("  ", 1)) for line in sums.read_text().splitlines())
    problems = []
    for name in names.values():
        if not (dist / name).is_file():
            problems.append(f"{dist / name} is missing")
        elif listed.get(name) != hashlib.sha256((dist / name).read_bytes()).hexdigest():
            problems.append(f"SHA256SUMS does not hold the sum of {name}")
    if sorted(listed) != sorted(names.values()):
        problems.append(f"SHA256SUMS lists {sorted(listed)}")
    return problems


def shuffled_copy(source: Path, target: Path, seed: int) -> None:
    """The tree again, created in another order (which some file systems list it in), every
    file dated now and writable by its group."""
    paths = sorted(source.rglob("*"))
    random.Random(seed).shuffle(paths)
    for path in sorted(paths, key=lambda p: len(p.parts)):  # folders before their files
        copy = target / path.relative_to(source)
        if path.is_dir():
            copy.mkdir(parents=True, exist_ok=True)
        else:
            copy.parent.mkdir(parents=True, exist_ok=True)
            shutil.copy(path, copy)
        copy.chmod(copy.stat().st_mode | 0o020)


def check_repacking(release_work: Path, dist: Path, version: str, epoch: int, work: Path) -> list:
    stage = release_work / "stage"
    if not (stage / "linux").is_dir() or not (stage / "windows").is_dir():
        return [f"{stage} holds no staged trees; make the release with --work {release_work}"]
    linux, windows, out = work / "again" / "linux", work / "again" / "windows", work / "again-out"
    shuffled_copy(stage / "linux", linux, 1)
    shuffled_copy(stage / "windows", windows, 2)
    packed = subprocess.run([sys.executable, str(SCRIPTS / "release_packages.py"), "--linux",
                             str(linux), "--windows", str(windows), "--version", version,
                             "--epoch", str(epoch), "--out", str(out)], capture_output=True,
                            text=True, timeout=600)
    if packed.returncode != 0:
        return [f"packing the staged trees again failed: {packed.stderr}"]
    return [f"{name}: packed again, it differs: " +
            first_difference((out / name).read_bytes(), (dist / name).read_bytes())
            for name in [*package_names(version).values(), "SHA256SUMS"]
            if (out / name).read_bytes() != (dist / name).read_bytes()]


def package_files(dist: Path, names: dict) -> dict:
    """Every file the packages hold: {package/path: content}."""
    files = {}
    deb = subprocess.run(["dpkg-deb", "--fsys-tarfile", str(dist / names["deb"])],
                         capture_output=True, check=True).stdout
    for name, data in (("deb", deb), ("tar", (dist / names["tar"]).read_bytes())):
        with tarfile.open(fileobj=io.BytesIO(data)) as archive:
            for member in archive.getmembers():
                if member.isfile():
                    files[f"{names[name]}/{member.name}"] = archive.extractfile(member).read()
    with zipfile.ZipFile(dist / names["zip"]) as archive:
        for info in archive.infolist():
            if not info.is_dir():
                files[f"{names['zip']}/{info.filename}"] = archive.read(info)
    return files


def check_no_build_paths(files: dict, paths: list) -> list:
    return [f"{name} holds the build machine's path {path}" for name, data in files.items()
            for path in paths if path.encode() in data]


# --- a clean Debian 12 ----------------------------------------------------------------------

def host_mirrors() -> tuple:
    """The Debian archive and security mirrors this machine's apt uses."""
    texts = []
    for source in [Path("/etc/apt/sources.list"),
                   *sorted(Path("/etc/apt/sources.list.d").glob("*.sources")),
                   *sorted(Path("/etc/apt/sources.list.d").glob("*.list"))]:
        if source.is_file():
            texts.append(source.read_text(errors="replace"))
    uris = []
    for text in texts:
        uris += re.findall(r"(?m)^URIs:\s*(\S+)", text)
        uris += re.findall(r"(?m)^deb\s+(?:\[[^]]*\]\s+)?(\S+)\s+" + SUITE, text)
    debian = [u for u in uris if "security" not in u and "/debian" in u]
    security = [u for u in uris if "security" in u]
    return (debian[0] if debian else "http://deb.debian.org/debian",
            security[0] if security else "http://deb.debian.org/debian-security")


def clean_root_tarball(cache: Path) -> Path:
    """Debian 12 with apt and nothing else (and the i386 architecture that Wine's 32-bit part
    needs, as set up for trials), made once per mirror; its package lists are kept so that a
    later apt-get update only checks them."""
    archive, security = host_mirrors()
    sources = [f"deb {archive} {SUITE} main", f"deb {archive} {SUITE}-updates main",
               f"deb {security} {SUITE}-security main"]
    key = hashlib.sha256("\n".join(sources).encode()).hexdigest()[:12]
    tarball = cache / f"debian-{SUITE}-apt-{key}.tar"
    if tarball.is_file():
        return tarball
    cache.mkdir(parents=True, exist_ok=True)
    partial = tarball.with_suffix(".partial.tar")
    print(f"making the clean Debian root from {archive} (once): {tarball}", flush=True)
    wine_session.run_checked(["mmdebstrap", "--mode=root", "--variant=apt",
                         "--architectures=amd64,i386", "--skip=cleanup/apt/lists", SUITE,
                         str(partial), *sources], None, 1800, "mmdebstrap")
    partial.rename(tarball)
    return tarball


class CleanRoot:
    """An unpacked clean root; commands run in it through chroot, in a mount namespace of
    their own (its /proc and the kept packages are mounted only there)."""

    def __init__(self, tarball: Path, folder: Path, archives: Path):
        self.path, self.archives = folder, archives
        if folder.exists():
            shutil.rmtree(folder)
        folder.mkdir(parents=True)
        archives.mkdir(parents=True, exist_ok=True)
        wine_session.run_checked(["tar", "-xf", str(tarball), "-C", str(folder)], None, 600,
                            "unpacking the clean root")
        shutil.copy("/etc/resolv.conf", folder / "etc" / "resolv.conf")

    def run(self, script: str, timeout: float = CHROOT_TIMEOUT) -> subprocess.CompletedProcess:
        inside = ("export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 "
                  "PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root; cd /tmp; " + script)
        mount = ('mount -t proc proc "$1/proc" && '
                 'mount --bind "$2" "$1/var/cache/apt/archives" && '
                 'exec chroot "$1" /bin/sh -c "$3"')
        try:
            return subprocess.run(["unshare", "--mount", "--propagation", "private", "--",
                                   "sh", "-c", mount, "-", str(self.path), str(self.archives),
                                   inside], capture_output=True, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise wine_session.HarnessError(f"in the clean root, {script!r} did not finish within "
                                       f"{timeout} s")

    def file(self, path: str) -> Path:
        return self.path / path.lstrip("/")


def in_clean_root(root: CleanRoot, dist: Path, names: dict, version: str) -> tuple:
    """Installs and uses the release in the clean root. Returns the problems, and the
    installers it built: {what: path on this machine}."""
    problems = []
    release = root.file("/tmp/release")
    release.mkdir()
    for name in (names["deb"], names["tar"]):
        shutil.copy(dist / name, release / name)
    deb = f"/tmp/release/{names['deb']}"

    def step(what: str, script: str, status: int = 0) -> subprocess.CompletedProcess | None:
        started = time.monotonic()
        result = root.run(script)
        print(f"clean root: {what}: {time.monotonic() - started:.1f} s", flush=True)
        if result.returncode != status:
            problems.append(f"clean root: {what} ended with {result.returncode}, not {status}:\n"
                            f"{describe(result)[-3000:]}")
            return None
        return result

    if not step("apt-get update", "apt-get update -qq"):
        return problems, {}
    # What apt would install with lmvpack by default: its recommendations, for try and sign.
    simulated = step("simulating the install", f"apt-get install -s {deb}")
    if simulated:
        planned = simulated.stdout.decode(errors="replace")
        for package in ("wine32:i386", "xvfb", "osslsigncode"):
            if not re.search(rf"(?m)^Inst {re.escape(package)} ", planned):
                problems.append(f"clean root: apt would not install {package} with lmvpack")
    if not step("apt-get install ./lmvpack.deb (without recommendations)",
                f"apt-get install -y -qq --no-install-recommends {deb}"):
        return problems, {}

    said = step("lmvpack --version", "lmvpack --version")
    if said and said.stdout.decode().strip() != f"lmvpack {version}":
        problems.append(f"clean root: lmvpack --version says {said.stdout!r}")
    completion = step("loading the bash completion",
                      "bash -c '. /usr/share/bash-completion/completions/lmvpack && "
                      "complete -p lmvpack'")
    if completion and b"-F _lmvpack" not in completion.stdout:
        problems.append(f"clean root: the completion registers {completion.stdout!r}")
    step("the manual page", "gzip -t /usr/share/man/man1/lmvpack.1.gz")

    step("lmvpack init, build, verify and list",
         "mkdir saver && cd saver && lmvpack init . && "
         "cp /usr/share/doc/lmvpack/samples/aurora/aurora.scr . && "
         "sed -i 's/^screensaver = \"my.scr\"$/screensaver = \"aurora.scr\"/' screensaver.toml && "
         "lmvpack build screensaver.toml -o Setup.exe && lmvpack verify Setup.exe && "
         "lmvpack list Setup.exe > listing.txt")
    listing = root.file("/tmp/saver/listing.txt")
    if listing.is_file() and f"stub:               lmvpack {version}\n" not in listing.read_text():
        problems.append(f"clean root: lmvpack list does not name the stub's release:\n"
                        f"{listing.read_text()}")
    step("building the shipped sample",
         "cp -r /usr/share/doc/lmvpack/samples/aurora sample && cd sample && "
         "lmvpack build aurora.toml -o AuroraSetup.exe -q && lmvpack verify AuroraSetup.exe")

    tried = step("lmvpack try without Wine", "lmvpack try saver/Setup.exe", status=3)
    if tried and not all(word in tried.stderr for word in (b"apt-get install", b"wine32:i386",
                                                           b"xvfb")):
        problems.append(f"clean root: try does not say what to install:\n{describe(tried)}")
    signed = step("lmvpack sign without osslsigncode",
                  "cd saver && echo x > cert.pem && echo x > key.pem && "
                  "lmvpack sign Setup.exe -o Signed.exe --cert cert.pem --key key.pem",
                  status=2)
    if signed and b"apt-get install osslsigncode" not in signed.stderr:
        problems.append(f"clean root: sign does not say what to install:\n{describe(signed)}")

    # The archive alone: without the package's files, from a folder of its own.
    step("removing the package", "dpkg -r lmvpack && test ! -e /usr/share/lmvpack && "
         "! command -v lmvpack")
    tool = f"'/tmp/un packed/lmvpack-{version}-linux-x86_64/bin/lmvpack'"
    step("the Linux archive, unpacked elsewhere",
         f"mkdir 'un packed' elsewhere && tar -xzf /tmp/release/{names['tar']} -C 'un packed' && "
         f"cd elsewhere && {tool} build ../saver/screensaver.toml -o TarSetup.exe -q && "
         f"{tool} verify TarSetup.exe")
    built = {"the .deb's lmvpack": root.file("/tmp/saver/Setup.exe"),
             "the Linux archive's lmvpack": root.file("/tmp/elsewhere/TarSetup.exe")}
    return problems, built


# --- the zip under Wine ---------------------------------------------------------------------

def with_zip(dist: Path, names: dict, version: str, template: Path, work: Path,
             saver: Path) -> tuple:
    folder = work / "zip unpacked"
    with zipfile.ZipFile(dist / names["zip"]) as archive:
        archive.extractall(folder)
    tool = folder / f"lmvpack-{version}-win32" / "lmvpack.exe"
    prefix, elsewhere = work / "prefix", work / "zip-elsewhere"
    elsewhere.mkdir()
    wine_session.copy_prefix(template, prefix)
    env = wine_session.wine_env(prefix)
    problems, built = [], {}

    def wine(*arguments: str) -> subprocess.CompletedProcess:
        try:
            return subprocess.run(["wine", windows_path(tool), *arguments], env=env,
                                  cwd=elsewhere, capture_output=True, timeout=WINE_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise wine_session.HarnessError(f"lmvpack.exe {arguments[:1]} did not finish within "
                                       f"{WINE_TIMEOUT} s")
    try:
        said = wine("--version")
        if unix_lines(said.stdout).decode(errors="replace").strip() != f"lmvpack {version}":
            problems.append(f"the zip's lmvpack.exe --version: {describe(said)}")
        for what, manifest, out in (
                ("the zip's lmvpack.exe", saver / "screensaver.toml", "ZipSetup.exe"),
                ("the zip's sample", tool.parent / "samples" / "aurora" / "aurora.toml",
                 "ZipAuroraSetup.exe")):
            result = wine("build", windows_path(manifest), "-o", out, "-q")
            if result.returncode != 0 or not (elsewhere / out).is_file():
                problems.append(f"{what}: build failed: {describe(result)}")
            else:
                built[what] = elsewhere / out
    finally:
        wine_session.stop_wineserver(prefix, wait=False)
    return problems, built


# --- the whole check ------------------------------------------------------------------------

def tree_build(args, manifest: Path, out: Path) -> bytes:
    stub = Path(args.stub)
    result = subprocess.run([args.lmvpack, "build", str(manifest), "-o", str(out), "-q",
                             "--stub", str(stub), "--uninstaller",
                             str(stub.parent / "lmvuninst.exe")], capture_output=True,
                            timeout=300)
    if result.returncode != 0:
        raise wine_session.HarnessError(f"this tree's lmvpack could not build {manifest}: "
                                   f"{describe(result)}")
    return out.read_bytes()


def check(args) -> list:
    dist, version = Path(args.dist), args.version
    names = package_names(version)
    work = Path(args.work) / "release"
    if work.exists():
        shutil.rmtree(work)
    work.mkdir(parents=True)
    problems = check_sums(dist, names)
    if problems:
        return problems + ["make the release first: bash scripts/release.sh --work "
                           f"{args.release_work}"]
    epoch = int(subprocess.run(["git", "-C", args.checkout, "log", "-1", "--format=%ct"],
                               capture_output=True, text=True, check=True).stdout)
    problems += check_repacking(Path(args.release_work), dist, version, epoch, work)
    problems += check_no_build_paths(package_files(dist, names),
                                     [args.checkout, str(Path(args.release_work).resolve())])
    if os.geteuid() != 0:
        return problems + ["the clean-machine check needs root (mmdebstrap, chroot)"]

    cache = Path(os.environ.get("LMV_CLEAN_MACHINE_CACHE", "/var/cache/lmvpack-clean-machine"))
    root = CleanRoot(clean_root_tarball(cache), work / "root", cache / "archives")
    try:
        found, built = in_clean_root(root, dist, names, version)
        problems += found
        saver = work / "saver"
        if (root.file("/tmp/saver/screensaver.toml")).is_file():
            shutil.copytree(root.file("/tmp/saver"), saver)
            found, from_zip = with_zip(dist, names, version, Path(args.template), work, saver)
            problems += found
            built.update(from_zip)
            expected = tree_build(args, saver / "screensaver.toml", work / "TreeSetup.exe")
            sample = tree_build(args, Path(args.checkout) / "samples" / "aurora" / "aurora.toml",
                                work / "TreeAuroraSetup.exe")
            built["the .deb's sample"] = root.file("/tmp/sample/AuroraSetup.exe")
            for what, path in built.items():
                want = sample if "sample" in what else expected
                if not path.is_file():
                    problems.append(f"{what} built no installer")
                elif path.read_bytes() != want:
                    problems.append(f"{what} built another installer than this tree's build "
                                    "(are the packages this tree's? scripts/release.sh --work "
                                    f"{args.release_work}): " +
                                    first_difference(path.read_bytes(), want))
    finally:
        shutil.rmtree(root.path, ignore_errors=True)
    if not problems:
        shutil.rmtree(work, ignore_errors=True)
    return problems


def main() -> int:
    parser = argparse.ArgumentParser()
    for name in ("--dist", "--version", "--release-work", "--checkout", "--template",
                 "--lmvpack", "--stub", "--work"):
        parser.add_argument(name, required=True)
    args = parser.parse_args()
    try:
        problems = check(args)
    except (wine_session.HarnessError, OSError, subprocess.SubprocessError) as failure:
        problems = [str(failure)]
    for problem in problems:
        print(problem)
    print("FAIL" if problems else f"PASS: lmvpack {args.version}'s packages install and build "
          "on a clean machine, the same installers as this tree's build")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
