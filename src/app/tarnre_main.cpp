// tarnre: the pattern tester. Compiles a pattern with the string matcher and prints, for every
// subject, where the pattern matches ("Start Length", "0 0" for no match); without subjects it
// describes the compiled automaton.

#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/encoding.h"
#include "core/terminal_encoding.h"
#include "core/sjis.h"
#include "pattern/regular_expression.h"
#include "pattern/synonym_dic.h"

namespace {

using tarn::pattern::ERegExpParser;
using tarn::pattern::TAWKStr;

constexpr int kExitUsage = 2;
constexpr int kExitMalformed = 2;

const char kUsage[] =
    "usage: tarnre [--lf] [--encoding auto|cp932|utf-8] [--fuzzy] [--synonym-file FILE]\n"
    "              [--show-pattern] [--] PATTERN [SUBJECT...]\n"
    "  Prints \"Start Length\" of the leftmost-longest match for each SUBJECT (\"0 0\": no match),\n"
    "  or, without subjects, how the pattern was compiled.\n"
    "  --lf        \"$\" matches before a line feed instead of a carriage return\n"
    "  --encoding  how arguments and output are encoded (auto: UTF-8 when the locale is)\n"
    "  --fuzzy     use the fuzzy-character dictionary (width, case, kana forms)\n"
    "  --synonym-file FILE  use the synonym groups of FILE\n"
    "  --show-pattern       print the pattern after the dictionaries have rewritten it\n";

int UsageError(const std::string& why) {
  std::fprintf(stderr, "tarnre: %s\n%s", why.c_str(), kUsage);
  return kExitUsage;
}

// The literal text for display: control bytes, quotes, backslashes and bytes that are no CP932
// character are written as escapes.
std::string QuotedLiteral(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (tarn::CharLengthAt(text, i) == 2) {
      out.append(text.substr(i, 2));
      i += 2;
      continue;
    }
    if (b == '"' || b == '\\') {
      out += '\\';
      out += static_cast<char>(b);
    } else if (b < 0x20 || b == 0x7F || b == 0x80 || b == 0xA0 || b >= 0xFD || tarn::IsLeadByte(b)) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", b);
      out += buf;
    } else {
      out += static_cast<char>(b);
    }
    ++i;
  }
  return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  bool lf = false;
  bool fuzzy = false;
  bool showPattern = false;
  std::string synonymFile;
  std::string encoding = "auto";
  std::vector<std::string> positional;
  bool optionsDone = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (optionsDone || arg.size() < 2 || arg[0] != '-') {
      positional.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsDone = true;
    } else if (arg == "--lf") {
      lf = true;
    } else if (arg == "--encoding") {
      if (++i >= argc) return UsageError("--encoding needs a value");
      encoding = argv[i];
    } else if (arg.starts_with("--encoding=")) {
      encoding = arg.substr(std::strlen("--encoding="));
    } else if (arg == "--fuzzy") {
      fuzzy = true;
    } else if (arg == "--show-pattern") {
      showPattern = true;
    } else if (arg == "--synonym-file") {
      if (++i >= argc) return UsageError("--synonym-file needs a file");
      synonymFile = argv[i];
    } else if (arg.starts_with("--synonym-file=")) {
      synonymFile = arg.substr(std::strlen("--synonym-file="));
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      return UsageError("unknown option " + std::string(arg));
    }
  }
  if (encoding != "auto" && encoding != "cp932" && encoding != "utf-8")
    return UsageError("unknown encoding " + encoding);
  if (positional.empty()) return UsageError("no pattern given");
  const bool utf8 = tarn::UsesUtf8Terminal(encoding);

  for (std::string& text : positional) {
    if (!utf8) continue;
    auto converted = tarn::Utf8ToCp932Exact(text);
    if (!converted) return UsageError("argument has no CP932 form: " + text);
    text = std::move(*converted);
  }
  auto out = [utf8](const std::string& cp932) { return utf8 ? tarn::Cp932ToUtf8(cp932) : cp932; };

  TAWKStr awk;
  awk.SetLineSeparator(lf ? tarn::pattern::mcls_LF : tarn::pattern::mcls_CRLF);
  tarn::pattern::TSynonymDicOwner synonyms({&awk});
  try {
    if (!synonymFile.empty()) {
      if (!tarn::pattern::ReadSynonymDic(synonymFile)) return UsageError("no such synonym file: " + synonymFile);
      synonyms.LoadSynonymDic(synonymFile);
    }
    awk.SetRegExp(positional[0]);
    awk.SetUseFuzzyCharDic(fuzzy);
    awk.SetUseSynonymDic(!synonymFile.empty());
  } catch (const ERegExpParser& e) {
    std::fprintf(stderr, "%s\nposition %u\n", out(e.what()).c_str(), static_cast<unsigned>(e.ErrorPos));
    return kExitMalformed;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tarnre: %s\n", out(e.what()).c_str());
    return 1;
  }

  if (showPattern) std::printf("pattern: %s\n", out(awk.CachedPattern(awk.CurrentIndex())).c_str());
  if (positional.size() == 1) {
    const auto& dfa = awk.CurrentDFA();
    if (dfa.IsLiteral())
      std::printf("literal: yes %s\n", out(QuotedLiteral(dfa.LiteralText())).c_str());
    else
      std::printf("literal: no\n");
    std::printf("line head: %s\n", dfa.UsesLineHead() ? "yes" : "no");
    std::printf("line tail: %s\n", dfa.UsesLineTail() ? "yes" : "no");
    std::printf("states: %zu\n", dfa.StateCount());
    return 0;
  }
  for (std::size_t i = 1; i < positional.size(); ++i) {
    int start = 0, length = 0;
    awk.Match(positional[i], start, length);
    std::printf("%d %d\n", start, length);
  }
  return 0;
}
