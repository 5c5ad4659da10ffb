// Reading the user's synonym dictionary file ("Synonym.Dic"): one group of words per line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "pattern/fuzzy_char_dic.h"

namespace tarn::pattern {

// The groups of a dictionary file's text: lines end with CR LF, LF or CR; each line is trimmed
// of bytes 0x00-0x20; empty lines and lines beginning with "//" are comments.
TREDictionary ParseSynonymDic(std::string_view text);

// The dictionary of the file at the native path, or nullopt when the file does not exist.
// A file that exists but cannot be read raises std::runtime_error naming it.
std::optional<TREDictionary> ReadSynonymDic(const std::string& path);

}  // namespace tarn::pattern
