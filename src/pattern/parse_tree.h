// The parse tree: operator nodes over leaves that are ranges of character codes. Leaves are
// shared (find-or-create) and are made pairwise disjoint before the automata are built.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "core/sjis.h"

namespace tarn::pattern {

using tarn::RE_Char_t;

inline constexpr std::size_t kMaxLeafWork = 10'000'000;

enum TREParseTree_NodeKind : std::uint8_t {
  reop_CharClass = 0,
  reop_LHead = 1,
  reop_LTail = 2,
  reop_Concat = 3,
  reop_Union = 4,
  reop_Closure = 5,
  reop_Empty = 6,
  // Matches no string at all: what a negative class that excludes every character stands for.
  reop_Nothing = 7,
};

struct RE_Node_t {
  TREParseTree_NodeKind Kind = reop_Empty;
  RE_Node_t* Left = nullptr;   // not owned: the tree's lists own every node
  RE_Node_t* Right = nullptr;
  RE_Char_t Low = 0;
  RE_Char_t High = 0;
};

class TREParseTree {
 public:
  using NodeVector = std::vector<std::unique_ptr<RE_Node_t>>;

  TREParseTree() = default;
  TREParseTree(const TREParseTree&) = delete;
  TREParseTree& operator=(const TREParseTree&) = delete;
  virtual ~TREParseTree() = default;

  RE_Node_t* MakeNode(TREParseTree_NodeKind kind, RE_Node_t* left, RE_Node_t* right);
  RE_Node_t* MakeLeaf(RE_Char_t low, RE_Char_t high);
  RE_Node_t* MakeLeafIfNonEmpty(RE_Char_t low, RE_Char_t high);
  RE_Node_t* MakeLHeadNode(RE_Char_t ch);
  RE_Node_t* MakeLTailNode(RE_Char_t ch);
  // What "." means: every character but code 0, line feed and carriage return.
  virtual RE_Node_t* MakeAnyCharNode();
  // Turns the leaf itself into Union(left, right), so every parent of the leaf sees the union.
  void ConvertLeafToUnion(RE_Node_t* leaf, RE_Node_t* left, RE_Node_t* right);
  // Throws ERegExpParser ("too complex", position 1) once the work (comparisons, and list
  // lengths for every split) passes kMaxLeafWork: hundreds of nested ranges would otherwise take
  // minutes.
  void SplitOverlappingLeaves();
  // Removes leaf index i from LeafList and frees it; only for leaves no node refers to.
  void RemoveLeaf(std::size_t i);
  void Clear();

  const NodeVector& NodeList() const noexcept { return NodeList_; }
  const NodeVector& LeafList() const noexcept { return LeafList_; }

  RE_Node_t* Root = nullptr;

 private:
  static std::uint32_t Key(RE_Char_t low, RE_Char_t high) { return std::uint32_t{low} << 16 | high; }
  bool SplitPair(std::size_t i, std::size_t j);

  NodeVector NodeList_;
  NodeVector LeafList_;
  std::unordered_map<std::uint32_t, RE_Node_t*> LeafIndex_;  // range -> leaf of LeafList_
};

}  // namespace tarn::pattern
