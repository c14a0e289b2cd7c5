#!/usr/bin/env python3
"""lmvpack winget against the winget manifest schema 1.12.0 (the JSON schemas published with
the winget client, schemas/JSON/manifests/v1.12.0 in microsoft/winget-cli): every required
field, every pattern, enumeration and length of the fields the files use, and no field the
schema does not know. The rules below are transcribed from those schemas. Then what the files
say about the installer: its digest, its version, its switch, its exit statuses
(platform/exit_status.h) and the Uninstall entry it writes.

  winget_schema_test.py LMVPACK STUB SCREEN_SAVER
      exit 0 passed, 1 failed, 77 when the win32 build (stub, screen saver) is missing
"""
import hashlib
import re
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

try:
    import yaml
except ImportError:  # scripts/setup.sh installs python3-yaml
    yaml = None

SOURCE = Path(__file__).resolve().parents[3]
LMVPACK = STUB = SCREEN_SAVER = None

# --- The schema's rules -----------------------------------------------------------------------

IDENTIFIER = r'^[^\.\s\\/:\*\?"<>\|\x01-\x1f]{1,32}(\.[^\.\s\\/:\*\?"<>\|\x01-\x1f]{1,32}){1,7}$'
VERSION = r'^[^\\/:\*\?"<>\|\x01-\x1f]+$'
LOCALE = r"^([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*$"
URL = r"^([Hh][Tt][Tt][Pp][Ss]?)://.+$"
SHA256 = r"^[A-Fa-f0-9]{64}$"
PART = r"(0|[1-9][0-9]{0,3}|[1-5][0-9]{4}|6[0-4][0-9]{3}|65[0-4][0-9]{2}|655[0-2][0-9]|6553[0-5])"
MANIFEST_VERSION = rf"^{PART}(\.{PART}){{2}}$"


def text(pattern=None, low=None, high=None, enum=None):
    return {"type": str, "pattern": pattern, "min": low, "max": high, "enum": enum}


def number(low, high, not_in=()):
    return {"type": int, "low": low, "high": high, "not_in": not_in}


def items(rule, high=None, unique=False):
    return {"type": list, "items": rule, "max": high, "unique": unique}


def mapping(properties, required=()):
    return {"type": dict, "properties": properties, "required": required}


COMMON = {"PackageIdentifier": text(IDENTIFIER, high=128), "PackageVersion": text(VERSION, high=128),
          "ManifestVersion": text(MANIFEST_VERSION)}
INSTALLER_TYPES = ["msix", "msi", "appx", "exe", "zip", "inno", "nullsoft", "wix", "burn", "pwa",
                   "portable", "font"]
RESPONSES = ["packageInUse", "packageInUseByApplication", "installInProgress", "fileInUse",
             "missingDependency", "diskFull", "insufficientMemory", "invalidParameter",
             "noNetwork", "contactSupport", "rebootRequiredToFinish", "rebootRequiredForInstall",
             "rebootInitiated", "cancelledByUser", "alreadyInstalled", "downgrade",
             "blockedByPolicy", "systemNotSupported", "custom"]
RETURN_CODE = number(-2147483648, 4294967295, not_in=(0,))
SWITCH = text(low=1, high=512)
# The fields an installer may have at the root and in each installer alike (those used here
# and their neighbours).
INSTALLER_FIELDS = {
    "InstallerLocale": text(LOCALE, high=20),
    "InstallerType": text(enum=INSTALLER_TYPES),
    "Scope": text(enum=["user", "machine"]),
    "InstallModes": items(text(enum=["interactive", "silent", "silentWithProgress"]), 3, True),
    "InstallerSwitches": mapping({k: SWITCH for k in (
        "Silent", "SilentWithProgress", "Interactive", "InstallLocation", "Log", "Upgrade",
        "Repair")} | {"Custom": text(low=1, high=2048)}),
    "InstallerSuccessCodes": items(RETURN_CODE, 16, True),
    "ExpectedReturnCodes": items(mapping({"InstallerReturnCode": RETURN_CODE,
                                          "ReturnResponse": text(enum=RESPONSES),
                                          "ReturnResponseUrl": text(URL, high=2048)},
                                         ["InstallerReturnCode", "ReturnResponse"]), 128),
    "UpgradeBehavior": text(enum=["install", "uninstallPrevious", "deny"]),
    "ProductCode": text(low=1, high=255),
    "ElevationRequirement": text(enum=["elevationRequired", "elevationProhibited",
                                       "elevatesSelf"]),
    "AppsAndFeaturesEntries": items(mapping({
        "DisplayName": text(low=1, high=256), "Publisher": text(low=1, high=256),
        "DisplayVersion": text(low=1, high=128), "ProductCode": text(low=1, high=255),
        "UpgradeCode": text(low=1, high=255), "InstallerType": text(enum=INSTALLER_TYPES)}),
        128, True),
}
SCHEMAS = {
    "version": mapping(COMMON | {"DefaultLocale": text(LOCALE, high=20),
                                 "ManifestType": text(enum=["version"])},
                       ["PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType",
                        "ManifestVersion"]),
    "installer": mapping(COMMON | INSTALLER_FIELDS | {
        "Installers": items(mapping(INSTALLER_FIELDS | {
            "Architecture": text(enum=["x86", "x64", "arm", "arm64", "neutral"]),
            "InstallerUrl": text(URL, high=2048), "InstallerSha256": text(SHA256)},
            ["Architecture", "InstallerUrl", "InstallerSha256"]), 1024),
        "ManifestType": text(enum=["installer"])},
        ["PackageIdentifier", "PackageVersion", "Installers", "ManifestType", "ManifestVersion"]),
    "defaultLocale": mapping(COMMON | {
        "PackageLocale": text(LOCALE, high=20), "Publisher": text(low=2, high=256),
        "PublisherUrl": text(URL, high=2048), "Author": text(low=2, high=256),
        "PackageName": text(low=2, high=256), "License": text(low=3, high=512),
        "Copyright": text(low=3, high=512), "ShortDescription": text(low=3, high=256),
        "Description": text(low=3, high=10000),
        "Agreements": items(mapping({"AgreementLabel": text(low=1, high=100),
                                     "Agreement": text(low=1, high=10000),
                                     "AgreementUrl": text(URL, high=2048)}), 128),
        "ManifestType": text(enum=["defaultLocale"])},
        ["PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PackageName",
         "License", "ShortDescription", "ManifestType", "ManifestVersion"]),
}


def violations(value, rule, where):
    """Every way `value` breaks `rule`, each naming where."""
    kind = rule["type"]
    # bool is an int to Python, never to the schema.
    if not isinstance(value, kind) or (kind is int and isinstance(value, bool)):
        return [f"{where}: {value!r} is not a {kind.__name__}"]
    out = []
    if kind is str:
        if rule["pattern"] and not re.search(rule["pattern"], value):
            out.append(f"{where}: {value!r} does not match {rule['pattern']}")
        if rule["min"] is not None and len(value) < rule["min"]:
            out.append(f"{where}: shorter than {rule['min']}")
        if rule["max"] is not None and len(value) > rule["max"]:
            out.append(f"{where}: longer than {rule['max']}")
        if rule["enum"] is not None and value not in rule["enum"]:
            out.append(f"{where}: {value!r} is none of {rule['enum']}")
    elif kind is int:
        if not rule["low"] <= value <= rule["high"] or value in rule["not_in"]:
            out.append(f"{where}: {value} is not allowed")
    elif kind is list:
        if rule["max"] is not None and len(value) > rule["max"]:
            out.append(f"{where}: more than {rule['max']} items")
        if rule["unique"] and len({repr(v) for v in value}) != len(value):
            out.append(f"{where}: items repeat")
        for i, item in enumerate(value):
            out += violations(item, rule["items"], f"{where}[{i}]")
    else:
        for key in rule["required"]:
            if key not in value:
                out.append(f"{where}: the required {key} is missing")
        for key, item in value.items():
            if key not in rule["properties"]:
                out.append(f"{where}: {key} is no field of the schema")
            else:
                out += violations(item, rule["properties"][key], f"{where}.{key}")
    return out


# --- The test ---------------------------------------------------------------------------------

MANIFEST = """name = "Aurora"
agreement = "licence.txt"
screensaver = "aurora.scr"

[version]
product = "Aurora"
version = "2.5.1"
company = "Tarrowby Screens"
copyright = "(c) 2025 Tarrowby Screens"
"""
AGREEMENT = "AURORA LICENCE\r\n\r\nUse it on \"any\" number of computers: one, two, \\many.\r\n"
IDENTIFIER_GIVEN = "Tarrowby.Aurora"
URL_GIVEN = "https://example.com/downloads/AuroraSetup.exe"


def documented_statuses():
    """The installer's exit statuses other than 0, as platform/exit_status.h defines them."""
    header = (SOURCE / "platform" / "exit_status.h").read_text()
    return {int(n) for n in re.findall(r"^\s*k\w+ExitStatus = (\d+),", header, re.M)} - {0}


def run_lmvpack(*arguments):
    return subprocess.run([str(LMVPACK), *map(str, arguments)], capture_output=True, text=True,
                          timeout=120)


class WingetManifest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = Path(tempfile.mkdtemp(prefix="lmvpack-winget-"))
        source = cls.folder / "source"
        source.mkdir()
        (source / "screensaver.toml").write_text(MANIFEST)
        (source / "licence.txt").write_bytes(AGREEMENT.replace("\r\n", "\n").encode())
        (source / "aurora.scr").write_bytes(Path(SCREEN_SAVER).read_bytes())
        cls.installer = cls.folder / "AuroraSetup.exe"
        built = run_lmvpack("build", source / "screensaver.toml", "-o", cls.installer, "--stub",
                            STUB)
        if built.returncode != 0:
            raise AssertionError(f"lmvpack build failed: {built.stdout}{built.stderr}")
        cls.out = cls.folder / "winget"
        cls.made = run_lmvpack("winget", cls.installer, "--id", IDENTIFIER_GIVEN, "--url",
                               URL_GIVEN, "-o", cls.out)
        cls.files = {}
        for kind, name in (("version", f"{IDENTIFIER_GIVEN}.yaml"),
                           ("installer", f"{IDENTIFIER_GIVEN}.installer.yaml"),
                           ("defaultLocale", f"{IDENTIFIER_GIVEN}.locale.en-US.yaml")):
            path = cls.out / name
            cls.files[kind] = yaml.safe_load(path.read_text(encoding="utf-8")) \
                if path.exists() else None

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["rm", "-rf", str(cls.folder)])

    def test_writes_exactly_the_three_files_of_a_multi_file_manifest(self):
        self.assertEqual(self.made.returncode, 0, self.made.stderr)
        self.assertEqual(sorted(p.name for p in self.out.iterdir()),
                         sorted([f"{IDENTIFIER_GIVEN}.yaml", f"{IDENTIFIER_GIVEN}.installer.yaml",
                                 f"{IDENTIFIER_GIVEN}.locale.en-US.yaml"]))

    def test_every_file_keeps_every_rule_of_its_schema(self):
        for kind, document in self.files.items():
            with self.subTest(kind):
                self.assertIsNotNone(document, f"no {kind} file")
                self.assertEqual(violations(document, SCHEMAS[kind], kind), [])
                self.assertEqual(document["ManifestType"], kind)
                self.assertEqual(document["ManifestVersion"], "1.12.0")

    def test_the_files_agree_on_the_package(self):
        for document in self.files.values():
            self.assertEqual(document["PackageIdentifier"], IDENTIFIER_GIVEN)
            self.assertEqual(document["PackageVersion"], "2.5.1")
        self.assertEqual(self.files["version"]["DefaultLocale"],
                         self.files["defaultLocale"]["PackageLocale"])

    def test_the_installer_as_winget_downloads_and_runs_it(self):
        installer = self.files["installer"]
        self.assertEqual(installer["InstallerType"], "exe")
        self.assertEqual(installer["Scope"], "machine")
        self.assertEqual(installer["ElevationRequirement"], "elevationRequired")
        self.assertEqual(installer["InstallerSwitches"],
                         {"Silent": "/UNATTENDED", "SilentWithProgress": "/UNATTENDED"})
        [entry] = installer["Installers"]
        self.assertEqual(entry["Architecture"], "x86")
        self.assertEqual(entry["InstallerUrl"], URL_GIVEN)
        self.assertEqual(entry["InstallerSha256"],
                         hashlib.sha256(self.installer.read_bytes()).hexdigest().upper())

    def test_every_exit_status_is_an_expected_return_code(self):
        codes = {c["InstallerReturnCode"]: c["ReturnResponse"]
                 for c in self.files["installer"]["ExpectedReturnCodes"]}
        self.assertEqual(set(codes), documented_statuses())
        self.assertEqual(codes[7], "diskFull")
        self.assertEqual(codes[10], "installInProgress")
        self.assertNotIn("InstallerSuccessCodes", self.files["installer"])

    def test_the_uninstall_entry_as_the_installer_writes_it(self):
        installer = self.files["installer"]
        self.assertEqual(installer["ProductCode"], "Aurora")
        self.assertEqual(installer["AppsAndFeaturesEntries"],
                         [{"DisplayName": "Aurora Screen Saver", "Publisher": "Tarrowby",
                           "DisplayVersion": "2.5.1", "ProductCode": "Aurora"}])

    def test_the_locale_names_the_author_and_shows_the_agreement(self):
        locale = self.files["defaultLocale"]
        self.assertEqual(locale["Publisher"], "Tarrowby Screens")
        self.assertEqual(locale["Copyright"], "(c) 2025 Tarrowby Screens")
        self.assertEqual(locale["PackageName"], "Aurora Screen Saver")
        self.assertEqual(locale["Agreements"][0]["Agreement"], AGREEMENT.replace("\r\n", "\n"))

    def test_an_installer_without_a_version_is_refused_and_nothing_written(self):
        source = self.folder / "unversioned"
        source.mkdir()
        (source / "m.toml").write_text('name = "Plain"\nscreensaver = "a.scr"\n')
        (source / "a.scr").write_bytes(Path(SCREEN_SAVER).read_bytes())
        installer = self.folder / "PlainSetup.exe"
        self.assertEqual(run_lmvpack("build", source / "m.toml", "-o", installer, "--stub",
                                     STUB).returncode, 0)
        out = self.folder / "plain-winget"
        result = run_lmvpack("winget", installer, "--id", "A.B", "--url", URL_GIVEN, "-o", out)
        self.assertEqual(result.returncode, 1)
        self.assertIn("[version]", result.stderr)
        self.assertFalse(out.exists())

    def test_an_identifier_or_address_winget_refuses_is_refused(self):
        for arguments in (["--id", "Aurora", "--url", URL_GIVEN],
                          ["--id", "Tarrowby.Aurora", "--url", "ftp://example.com/a.exe"]):
            out = self.folder / "refused"
            result = run_lmvpack("winget", self.installer, *arguments, "-o", out)
            self.assertEqual(result.returncode, 2, arguments)
            self.assertFalse(out.exists(), arguments)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    LMVPACK, STUB, SCREEN_SAVER = sys.argv[1:]
    if yaml is None:
        sys.exit("winget_schema_test.py needs PyYAML (Debian: python3-yaml; scripts/setup.sh)")
    if not Path(STUB).is_file() or not Path(SCREEN_SAVER).is_file():
        print(f"skipped: {STUB} or {SCREEN_SAVER} is missing; build the win32 preset first")
        sys.exit(77)
    result = unittest.main(argv=sys.argv[:1], exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)
