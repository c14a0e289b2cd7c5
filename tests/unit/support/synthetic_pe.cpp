#include "support/synthetic_pe.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace {

void Put16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
    if (bytes.size() < at + 2) bytes.resize(at + 2);
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    if (bytes.size() < at + 4) bytes.resize(at + 4);
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void Append16(std::vector<uint8_t>& bytes, uint16_t value) {
    Put16(bytes, bytes.size(), value);
}
void Append32(std::vector<uint8_t>& bytes, uint32_t value) {
    Put32(bytes, bytes.size(), value);
}

} // namespace

BuiltPe BuildSyntheticPe(const SyntheticPe& layout) {
    constexpr uint32_t kLfanew = 0x80;
    const uint32_t headers_end =
        kLfanew + 4 + 20 + 224 + 40 * static_cast<uint32_t>(layout.sections.size());
    std::vector<uint8_t> file((headers_end + 0x1FF) & ~0x1FFu, 0);
    file[0] = 'M';
    file[1] = 'Z';
    Put32(file, 60, kLfanew);
    std::memcpy(&file[kLfanew], "PE\0\0", 4);
    Put16(file, kLfanew + 4, 0x14C);
    Put16(file, kLfanew + 6, static_cast<uint16_t>(layout.sections.size()));
    Put16(file, kLfanew + 20, 224);
    Put16(file, kLfanew + 24, 0x10B);

    // Every section but .rsrc gets one 0x200-byte block of raw data; .rsrc comes last in
    // the file whatever its place in the table, as in the real stub.
    uint32_t raw = static_cast<uint32_t>(file.size());
    for (size_t i = 0; i < layout.sections.size(); ++i) {
        const size_t at = kLfanew + 248 + 40 * i;
        std::memcpy(&file[at], layout.sections[i].data(),
                    std::min<size_t>(8, layout.sections[i].size()));
        if (layout.sections[i] == ".rsrc") continue;
        Put32(file, at + 12, 0x1000 * static_cast<uint32_t>(i + 1));
        Put32(file, at + 16, 0x200);
        Put32(file, at + 20, raw);
        raw += 0x200;
    }
    file.resize(raw, 0xCC);
    const uint32_t rsrc_raw = raw;
    for (size_t i = 0; i < layout.sections.size(); ++i) {
        if (layout.sections[i] != ".rsrc") continue;
        const size_t at = kLfanew + 248 + 40 * i;
        Put32(file, at + 8, layout.data_offset_in_section + layout.declared_size);
        Put32(file, at + 12, layout.rsrc_virtual_address);
        Put32(file, at + 16, layout.data_offset_in_section + layout.declared_size);
        Put32(file, at + 20, rsrc_raw);
    }

    // The resource section: root, the first type's name and language directories, its data
    // entry, and empty directories for the extra numbered types.
    std::vector<uint8_t> rsrc(layout.data_offset_in_section, 0xEE);
    const int type_count = 1 + layout.extra_numbered_types;
    auto directory = [&](uint32_t at, uint16_t named, uint16_t numbered) {
        std::memset(&rsrc[at], 0, 16);
        Put16(rsrc, at + 12, named);
        Put16(rsrc, at + 14, numbered);
    };
    directory(0, layout.first_type_named ? 1 : 0,
              static_cast<uint16_t>(type_count - (layout.first_type_named ? 1 : 0)));
    // The walk never reads the type's name string or the other types' directories, so the
    // named entry points at an unused offset and the numbered ones share the first's tree.
    Put32(rsrc, 16, layout.first_type_named ? 0x80000000u | 0x10 : 3);
    Put32(rsrc, 20, 0x80000000u | layout.name_directory);
    for (int t = 1; t < type_count; ++t) {
        Put32(rsrc, 16 + 8 * t, 5 + t);
        Put32(rsrc, 20 + 8 * t, 0x80000000u | layout.name_directory);
    }
    directory(layout.name_directory, 0, 1);
    Put32(rsrc, layout.name_directory + 16, 1000);
    Put32(rsrc, layout.name_directory + 20, 0x80000000u | layout.language_directory);
    directory(layout.language_directory, 0, 1);
    Put32(rsrc, layout.language_directory + 16, 1033);
    Put32(rsrc, layout.language_directory + 20, layout.data_entry);
    Put32(rsrc, layout.data_entry, layout.rsrc_virtual_address + layout.data_offset_in_section);
    Put32(rsrc, layout.data_entry + 4, layout.declared_size);
    Put32(rsrc, layout.data_entry + 8, 0);
    Put32(rsrc, layout.data_entry + 12, 0);

    file.insert(file.end(), rsrc.begin(), rsrc.end());
    return {file, rsrc_raw + layout.data_offset_in_section, rsrc_raw};
}

std::vector<uint8_t> SerializePackage(const TestPackage& package, uint32_t package_offset) {
    std::vector<uint8_t> out;
    Append16(out, static_cast<uint16_t>(package.agreement.size()));
    out.insert(out.end(), package.agreement.begin(), package.agreement.end());
    std::vector<uint8_t> name(260, 0);
    std::memcpy(name.data(), package.name.data(), std::min<size_t>(260, package.name.size()));
    out.insert(out.end(), name.begin(), name.end());
    Append32(out, package.needs_directx);
    Append32(out, package.top_color);
    Append32(out, package.bottom_color);
    Append16(out, 0);
    Append16(out, package.first_media_number);
    uint32_t data_at = package_offset + static_cast<uint32_t>(out.size()) +
                       28 * static_cast<uint32_t>(package.members.size() + 1);
    for (const TestMember& member : package.members) {
        Append32(out, data_at);
        Append32(out, static_cast<uint32_t>(member.data.size()));
        Append32(out, member.unpacked_size);
        char suffix[15];
        std::memset(suffix, ' ', sizeof suffix);
        std::memcpy(suffix, member.suffix.data(), std::min<size_t>(15, member.suffix.size()));
        out.insert(out.end(), suffix, suffix + 15);
        out.push_back(member.prefix_kind);
        data_at += static_cast<uint32_t>(member.data.size());
    }
    out.resize(out.size() + 28, 0);
    for (const TestMember& member : package.members)
        out.insert(out.end(), member.data.begin(), member.data.end());
    return out;
}

std::filesystem::path UnitTempFolder() {
    return std::filesystem::temp_directory_path() / ("lmv-unit-" + std::to_string(::getpid()));
}

std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path folder =
        UnitTempFolder() / (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::create_directories(folder);
    const std::filesystem::path path = folder / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

TestPackage PackageOfSmallMembers(int count) {
    TestPackage package;
    for (int index = 0; index < count; ++index) {
        TestMember member;
        member.data.assign(10, static_cast<uint8_t>(index));
        member.suffix = ".MID";
        package.members.push_back(member);
    }
    return package;
}

std::string WriteSyntheticInstaller(const std::string& name, const TestPackage& package,
                                    const SyntheticPe& layout) {
    BuiltPe pe = BuildSyntheticPe(layout);
    const std::vector<uint8_t> body = SerializePackage(package, pe.package_offset);
    pe.bytes.insert(pe.bytes.end(), body.begin(), body.end());
    return WriteTempFile(name, pe.bytes);
}
