#include "tools/lmvpack/pe/icon_file.h"

#include "tools/lmvpack/pe/little_endian.h"
#include "tools/lmvpack/support/tool_error.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kIconDirectorySize = 6;
constexpr size_t kIconEntrySize = 16;  // in the .ico file: the image's file offset at its end
constexpr size_t kGroupEntrySize = 14; // in RT_GROUP_ICON: the image's resource id instead
constexpr size_t kMostImages = 64;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t BigEndian32(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 |
           bytes[at + 3];
}

// In a directory entry 0 stands for 256.
uint16_t EntrySize(uint8_t value) {
    return value == 0 ? 256 : value;
}

std::string Size(const IconImage& image) {
    return std::to_string(image.width) + "x" + std::to_string(image.height);
}

void CheckPng(IconImage& image, const std::string& which) {
    const std::span<const uint8_t> data = image.data;
    if (data.size() < 33 || std::memcmp(data.data() + 12, "IHDR", 4) != 0)
        throw BuildError(which + " is a PNG image without its header");
    const uint32_t width = BigEndian32(data, 16), height = BigEndian32(data, 20);
    if (width != image.width || height != image.height)
        throw BuildError(which + " is listed as " + Size(image) + " but its PNG image is " +
                         std::to_string(width) + "x" + std::to_string(height));
    const uint8_t depth = data[24], color_type = data[25];
    image.png_channel_depth = depth;
    // Windows' icon loader reads PNG images of 8 bits per channel; a deeper one leaves the
    // place where Windows picks it without an icon.
    if (depth > 8)
        throw BuildError(which + " is a PNG image of " + std::to_string(depth) +
                         " bits per channel, which Windows does not show in an icon; save it "
                         "with 8 bits per channel");
    switch (color_type) {
    case 6:
        image.bit_count = static_cast<uint16_t>(4 * depth);
        break; // RGBA
    case 2:
        image.bit_count = static_cast<uint16_t>(3 * depth);
        break; // RGB
    case 4:
        image.bit_count = static_cast<uint16_t>(2 * depth);
        break; // grey and alpha
    default:
        image.bit_count = depth;
        break; // palette or grey
    }
}

void CheckBitmap(IconImage& image, const std::string& which) {
    const std::span<const uint8_t> data = image.data;
    if (data.size() < 40 || LoadU32(data, 0) < 40 || LoadU32(data, 0) > data.size())
        throw BuildError(which + " is neither a PNG image nor a bitmap with its header");
    const uint32_t header_size = LoadU32(data, 0);
    const int32_t width = static_cast<int32_t>(LoadU32(data, 4));
    const int32_t height = static_cast<int32_t>(LoadU32(data, 8));
    const uint16_t planes = LoadU16(data, 12), bits = LoadU16(data, 14);
    const uint32_t compression = LoadU32(data, 16), colors_used = LoadU32(data, 32);
    // An icon bitmap is twice as high as the icon: the colour image, then the mask.
    if (width != image.width || height != 2 * image.height)
        throw BuildError(which + " is listed as " + Size(image) + " but its bitmap is " +
                         std::to_string(width) + "x" + std::to_string(height / 2));
    if (planes != 1 ||
        (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32))
        throw BuildError(which + " has a bitmap of " + std::to_string(bits) +
                         " bits per pixel, which icons do not use");
    if (compression != 0 && !(compression == 3 && (bits == 16 || bits == 32)))
        throw BuildError(which + " has a compressed bitmap, which icons do not use");
    const uint64_t palette = bits <= 8 ? 4ull * (colors_used ? colors_used : 1u << bits) : 0;
    const uint64_t color_rows = (uint64_t{image.width} * bits + 31) / 32 * 4 * image.height;
    const uint64_t mask_rows = (uint64_t{image.width} + 31) / 32 * 4 * image.height;
    const uint64_t needed =
        header_size + (compression == 3 ? 12 : 0) + palette + color_rows + mask_rows;
    if (needed > data.size())
        throw BuildError(which + " holds " + std::to_string(data.size()) + " bytes; a " +
                         Size(image) + " " + std::to_string(bits) + "-bit icon image needs " +
                         std::to_string(needed));
    image.bit_count = bits;
}

} // namespace

std::vector<IconImage> ParseIconFile(std::span<const uint8_t> bytes) {
    if (bytes.size() < kIconDirectorySize || LoadU16(bytes, 0) != 0)
        throw BuildError("is not an icon file (.ico)");
    if (LoadU16(bytes, 2) == 2) throw BuildError("is a cursor file, not an icon");
    if (LoadU16(bytes, 2) != 1) throw BuildError("is not an icon file (.ico)");
    const uint16_t count = LoadU16(bytes, 4);
    if (count == 0) throw BuildError("holds no image");
    if (count > kMostImages)
        throw BuildError("holds " + std::to_string(count) + " images; an icon holds at most " +
                         std::to_string(kMostImages));
    const size_t directory_end = kIconDirectorySize + kIconEntrySize * count;
    if (directory_end > bytes.size()) throw BuildError("is cut short inside its directory");

    std::vector<IconImage> images;
    for (uint16_t i = 0; i < count; ++i) {
        const size_t entry = kIconDirectorySize + kIconEntrySize * i;
        const std::string which = "image " + std::to_string(i + 1);
        IconImage image;
        image.width = EntrySize(bytes[entry]);
        image.height = EntrySize(bytes[entry + 1]);
        image.color_count = bytes[entry + 2];
        const uint32_t size = LoadU32(bytes, entry + 8), offset = LoadU32(bytes, entry + 12);
        if (size == 0) throw BuildError(which + " is empty");
        if (offset < directory_end || uint64_t{offset} + size > bytes.size())
            throw BuildError(which + " lies outside the file (bytes " + std::to_string(offset) +
                             " to " + std::to_string(uint64_t{offset} + size) + " of " +
                             std::to_string(bytes.size()) + ")");
        image.data.assign(bytes.begin() + offset, bytes.begin() + offset + size);
        image.png =
            size >= sizeof kPngSignature &&
            std::equal(kPngSignature, kPngSignature + sizeof kPngSignature, image.data.begin());
        if (image.png)
            CheckPng(image, which);
        else
            CheckBitmap(image, which);
        images.push_back(std::move(image));
    }
    return images;
}

std::vector<Resource> IconResources(const std::vector<IconImage>& images, const ResourceId& group,
                                    uint32_t language, uint32_t first_id) {
    std::vector<Resource> resources;
    std::vector<uint8_t> directory;
    AppendU16(directory, 0);
    AppendU16(directory, 1);
    AppendU16(directory, static_cast<uint32_t>(images.size()));
    for (size_t i = 0; i < images.size(); ++i) {
        const IconImage& image = images[i];
        const uint32_t id = first_id + static_cast<uint32_t>(i);
        directory.push_back(static_cast<uint8_t>(image.width == 256 ? 0 : image.width));
        directory.push_back(static_cast<uint8_t>(image.height == 256 ? 0 : image.height));
        directory.push_back(image.color_count);
        directory.push_back(0);
        AppendU16(directory, 1); // planes
        AppendU16(directory, image.bit_count);
        AppendU32(directory, static_cast<uint32_t>(image.data.size()));
        AppendU16(directory, id);
        resources.push_back(Resource{ResourceId::Number(kResourceTypeIcon), ResourceId::Number(id),
                                     language, 0, image.data});
    }
    resources.push_back(Resource{ResourceId::Number(kResourceTypeGroupIcon), group, language, 0,
                                 std::move(directory)});
    return resources;
}

std::vector<uint32_t> IconGroupImageIds(const Resource& group) {
    std::vector<uint32_t> ids;
    const std::vector<uint8_t>& data = group.data;
    if (data.size() < kIconDirectorySize) return ids;
    const uint16_t count = LoadU16(data, 4);
    for (uint16_t i = 0; i < count; ++i) {
        const size_t at = kIconDirectorySize + kGroupEntrySize * i + 12;
        if (at + 2 > data.size()) break;
        ids.push_back(LoadU16(data, at));
    }
    return ids;
}

std::vector<IconImage> ListIconGroup(const std::vector<Resource>& resources) {
    std::vector<IconImage> images;
    const auto group = std::find_if(resources.begin(), resources.end(), [](const Resource& r) {
        return r.type == ResourceId::Number(kResourceTypeGroupIcon);
    });
    if (group == resources.end() || group->data.size() < kIconDirectorySize) return images;
    const std::span<const uint8_t> data = group->data;
    const uint16_t count = LoadU16(data, 4);
    if (kIconDirectorySize + kGroupEntrySize * count > data.size()) return images;
    for (uint16_t i = 0; i < count; ++i) {
        const size_t entry = kIconDirectorySize + kGroupEntrySize * i;
        IconImage image;
        image.width = EntrySize(data[entry]);
        image.height = EntrySize(data[entry + 1]);
        image.color_count = data[entry + 2];
        image.bit_count = LoadU16(data, entry + 6);
        const ResourceId id = ResourceId::Number(LoadU16(data, entry + 12));
        const auto found = std::find_if(resources.begin(), resources.end(), [&](const Resource& r) {
            return r.type == ResourceId::Number(kResourceTypeIcon) && r.name == id;
        });
        if (found != resources.end() && found->data.size() >= 33 &&
            std::equal(kPngSignature, kPngSignature + sizeof kPngSignature, found->data.begin())) {
            image.png = true;
            image.png_channel_depth = found->data[24];
        }
        images.push_back(image);
    }
    return images;
}

std::string DescribeIconImages(const std::vector<IconImage>& images) {
    std::string text;
    for (const IconImage& image : images)
        text += (text.empty() ? "" : ", ") + Size(image) + " " +
                (image.png && image.png_channel_depth > 8
                     ? "PNG of " + std::to_string(image.png_channel_depth) +
                           " bits per channel (Windows does not show it)"
                     : std::to_string(image.bit_count) + "-bit");
    return text;
}
