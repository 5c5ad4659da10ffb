// A temporary directory tree for the search tests, removed when the test ends.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tarn::search::testing {

class TestTree {
 public:
  TestTree() {
    std::string templ = (std::filesystem::temp_directory_path() / "tarn-search-XXXXXX").string();
    root_ = mkdtemp(templ.data());
  }
  ~TestTree() { std::filesystem::remove_all(root_); }
  TestTree(const TestTree&) = delete;
  TestTree& operator=(const TestTree&) = delete;

  // Writes a file (parents made as needed); relative is a native path under the root.
  std::string File(const std::string& relative, const std::string& bytes = "") const {
    const std::filesystem::path path = std::filesystem::path(root_) / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }
  std::string Dir(const std::string& relative) const {
    const std::filesystem::path path = std::filesystem::path(root_) / relative;
    std::filesystem::create_directories(path);
    return path.string();
  }
  const std::string& root() const { return root_; }

 private:
  std::string root_;
};

}  // namespace tarn::search::testing
