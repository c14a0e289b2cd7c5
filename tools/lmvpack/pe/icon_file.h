// Icon files (.ico) and the two resources that carry an icon inside a program: one RT_ICON
// per image and an RT_GROUP_ICON directory that lists them, so that Windows can pick the
// image that suits each place it shows the program.
#pragma once

#include "tools/lmvpack/pe/pe_resources.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct IconImage {
    uint16_t width = 0; // 1 to 256
    uint16_t height = 0;
    uint16_t bit_count = 0; // colour depth, from the image itself
    uint8_t color_count = 0;
    bool png = false;
    uint8_t png_channel_depth = 0; // bits per channel of a PNG image (8 in those Windows shows)
    std::vector<uint8_t> data;     // the image as the .ico file holds it
};

// The images of an .ico file, each checked to be a whole bitmap or PNG image of the size its
// directory entry gives. Throws BuildError saying what is wrong (without the file's name).
std::vector<IconImage> ParseIconFile(std::span<const uint8_t> bytes);

// The resources of an icon: its images numbered from `first_id`, then the group named
// `group` that lists them.
std::vector<Resource> IconResources(const std::vector<IconImage>& images, const ResourceId& group,
                                    uint32_t language, uint32_t first_id);

// The image ids an icon group resource lists, as far as its data go.
std::vector<uint32_t> IconGroupImageIds(const Resource& group);

// The sizes and depths that the first icon group among `resources` lists; empty when there
// is none or it cannot be read. Only the listed fields of each image are set, and for a PNG
// image what its own header says (which the group may misstate).
std::vector<IconImage> ListIconGroup(const std::vector<Resource>& resources);

// "16x16 32-bit, 32x32 8-bit", for listings; a PNG image of more than 8 bits per channel
// is named as such.
std::string DescribeIconImages(const std::vector<IconImage>& images);
