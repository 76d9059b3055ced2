// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileVersion.h"

#include <elf.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "ProductVersion.h"

namespace platform {
namespace {

template <typename T>
bool ReadAt(std::ifstream& in, uint64_t offset, T& value) {
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(&value), sizeof value);
    return static_cast<bool>(in);
}

}  // namespace

std::optional<ProductVersion> ReadProductVersion(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Elf64_Ehdr header{};
    if (!in || !ReadAt(in, 0, header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr) ||
        header.e_shstrndx >= header.e_shnum) {
        return std::nullopt;
    }
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (!ReadAt(in, header.e_shoff + i * sizeof(Elf64_Shdr), sections[i])) {
            return std::nullopt;
        }
    }
    const Elf64_Shdr& names = sections[header.e_shstrndx];
    const std::size_t nameLength = sizeof SONVERT_VERSION_SECTION;
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_name >= names.sh_size || section.sh_size < sizeof(ProductVersionRecord) ||
            section.sh_type == SHT_NOBITS) {
            continue;
        }
        char name[sizeof SONVERT_VERSION_SECTION] = {};
        in.seekg(static_cast<std::streamoff>(names.sh_offset + section.sh_name));
        in.read(name, static_cast<std::streamsize>(nameLength));
        if (!in) {
            in.clear();
            continue;
        }
        if (std::memcmp(name, SONVERT_VERSION_SECTION, nameLength) != 0) {
            continue;
        }
        ProductVersionRecord record{};
        if (!ReadAt(in, section.sh_offset, record) ||
            std::memcmp(record.signature, "SONVERT-VERSION", 16) != 0) {
            return std::nullopt;
        }
        return ProductVersion{record.productVersionMS, record.productVersionLS};
    }
    return std::nullopt;
}

}  // namespace platform
