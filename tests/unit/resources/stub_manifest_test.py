#!/usr/bin/env python3
"""Reads the application manifest out of the built stub (resource type 24, RT_MANIFEST, id 1)
and checks each element Windows acts on, with the namespaces it looks them up in: a
misspelt element or namespace is silently ignored by Windows, so only a real XML parser's
view of the file shows whether a setting is in force.

  stub_manifest_test.py STUB.exe    exit 0 passed, 1 failed, 77 no stub (build win32 first)
"""
import struct
import sys
import unittest
import xml.etree.ElementTree as ET

ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPATIBILITY = "urn:schemas-microsoft-com:compatibility.v1"
WINDOWS_SETTINGS_2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
RT_MANIFEST = 24
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10 and 11",
}

STUB = None


def resource_leaves(data):
    """(type, name, language, bytes) of every resource; named entries as strings."""
    lfanew = struct.unpack_from("<I", data, 60)[0]
    count = struct.unpack_from("<H", data, lfanew + 6)[0]
    table = lfanew + 24 + struct.unpack_from("<H", data, lfanew + 20)[0]
    for i in range(count):
        at = table + 40 * i
        if data[at:at + 8].rstrip(b"\0") == b".rsrc":
            va, _, raw = struct.unpack_from("<III", data, at + 12)
            break
    else:
        raise AssertionError("no .rsrc section")
    leaves = []

    def label(entry_id):
        if entry_id & 0x80000000:
            at = raw + (entry_id & 0x7FFFFFFF)
            length = struct.unpack_from("<H", data, at)[0]
            return data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        return entry_id

    def walk(offset, path):
        named, numbered = struct.unpack_from("<HH", data, raw + offset + 12)
        for k in range(named + numbered):
            entry_id, target = struct.unpack_from("<II", data, raw + offset + 16 + 8 * k)
            if target & 0x80000000:
                walk(target & 0x7FFFFFFF, path + [label(entry_id)])
            else:
                rva, size = struct.unpack_from("<II", data, raw + target)
                start = raw + rva - va
                leaves.append((*path, label(entry_id), data[start:start + size]))

    walk(0, [])
    return leaves


class StubManifest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(STUB, "rb") as stub:
            data = stub.read()
        manifests = [leaf for leaf in resource_leaves(data) if leaf[0] == RT_MANIFEST]
        cls.manifests = manifests
        cls.root = ET.fromstring(manifests[0][3]) if manifests else None

    def find(self, path):
        found = self.root.findall(path)
        self.assertEqual(len(found), 1, f"{path}: {len(found)} elements")
        return found[0]

    def test_one_manifest_with_the_id_a_programs_loader_reads(self):
        self.assertEqual([(m[0], m[1]) for m in self.manifests], [(RT_MANIFEST, 1)])

    def test_is_an_assembly_manifest_for_a_32_bit_program(self):
        self.assertEqual(self.root.tag, f"{{{ASM_V1}}}assembly")
        self.assertEqual(self.root.get("manifestVersion"), "1.0")
        identity = self.find(f"{{{ASM_V1}}}assemblyIdentity")
        self.assertEqual(identity.get("type"), "win32")
        self.assertEqual(identity.get("processorArchitecture"), "x86")
        self.assertRegex(identity.get("version") or "", r"^\d+\.\d+\.\d+\.\d+$")

    def test_asks_for_administrator_rights(self):
        level = self.find(f"{{{ASM_V3}}}trustInfo/{{{ASM_V3}}}security/"
                          f"{{{ASM_V3}}}requestedPrivileges/{{{ASM_V3}}}requestedExecutionLevel")
        self.assertEqual(level.get("level"), "requireAdministrator")
        self.assertEqual(level.get("uiAccess"), "false")

    def test_names_every_windows_from_vista_to_11(self):
        found = [os.get("Id") for os in self.root.findall(
            f"{{{COMPATIBILITY}}}compatibility/{{{COMPATIBILITY}}}application/"
            f"{{{COMPATIBILITY}}}supportedOS")]
        self.assertEqual(sorted(found), sorted(SUPPORTED_OS))

    def test_is_dpi_aware(self):
        aware = self.find(f"{{{ASM_V3}}}application/{{{ASM_V3}}}windowsSettings/"
                          f"{{{WINDOWS_SETTINGS_2005}}}dpiAware")
        self.assertEqual(aware.text.strip().lower(), "true")

    def test_depends_on_common_controls_6(self):
        identity = self.find(f"{{{ASM_V1}}}dependency/{{{ASM_V1}}}dependentAssembly/"
                             f"{{{ASM_V1}}}assemblyIdentity")
        self.assertEqual(identity.get("type"), "win32")
        self.assertEqual(identity.get("name"), "Microsoft.Windows.Common-Controls")
        self.assertEqual(identity.get("version"), "6.0.0.0")
        self.assertEqual(identity.get("publicKeyToken"), "6595b64144ccf1df")
        self.assertIn(identity.get("processorArchitecture"), ("x86", "*"))
        self.assertEqual(identity.get("language"), "*")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    STUB = sys.argv[1]
    try:
        open(STUB, "rb").close()
    except OSError:
        print(f"no stub at {STUB} (build the win32 preset)")
        sys.exit(77)
    program = unittest.main(argv=sys.argv[:1], exit=False, verbosity=2)
    sys.exit(0 if program.result.wasSuccessful() else 1)
