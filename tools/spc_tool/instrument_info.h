// "info" for instrument files: the blocks of an OPUS file and the sections of an OMNIC SPA
// file, with every parameter, in plain words.
#pragma once

#include <span>
#include <string>

namespace ftir::spctool {

// The file's layout: its directory (kind, offset, size and points of each block or
// section) and every parameter, as far as the reader parses it; a file the reader refuses
// ends with the reason.
std::string opus_info_text(const std::string& path, std::span<const unsigned char> bytes);
std::string spa_info_text(const std::string& path, std::span<const unsigned char> bytes);

}  // namespace ftir::spctool
