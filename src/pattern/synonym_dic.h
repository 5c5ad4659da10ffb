// Reading the user's synonym dictionary file ("Synonym.Dic"): one group of words per line.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pattern/fuzzy_char_dic.h"
#include "pattern/regular_expression.h"

namespace tarn::pattern {

// The groups of a dictionary file's text: lines end with CR LF, LF or CR; each line is trimmed
// of bytes 0x00-0x20; empty lines and lines beginning with "//" are comments.
TREDictionary ParseSynonymDic(std::string_view text);

// The dictionary of the file at the native path, or nullopt when the file does not exist.
// A file that exists but cannot be read raises std::runtime_error naming it.
std::optional<TREDictionary> ReadSynonymDic(const std::string& path);

// Owns the user's synonym dictionary and keeps it attached to the components that search with
// it (the window's Grep1 and AWKStr1 share one list). The components must outlive it.
class TSynonymDicOwner {
 public:
  explicit TSynonymDicOwner(std::vector<TRegularExpression*> components) : Components_(std::move(components)) {}
  ~TSynonymDicOwner() { FreeSynonymDic(); }
  TSynonymDicOwner(const TSynonymDicOwner&) = delete;
  TSynonymDicOwner& operator=(const TSynonymDicOwner&) = delete;

  // Reads the file when it exists and attaches its groups to every component; a missing file
  // attaches nothing. Throws std::runtime_error when the file exists but cannot be read.
  void LoadSynonymDic(const std::string& path);
  // Detaches the dictionary from every component and frees it.
  void FreeSynonymDic();

  const TREDictionary* Dictionary() const noexcept { return Dic_.get(); }

 private:
  std::vector<TRegularExpression*> Components_;
  std::unique_ptr<TREDictionary> Dic_;
};

}  // namespace tarn::pattern
