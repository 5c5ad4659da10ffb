#include "pattern/parse_tree.h"

#include <algorithm>
#include <stdexcept>

#include "core/system_text.h"
#include "pattern/scanner.h"

namespace tarn::pattern {

RE_Node_t* TREParseTree::MakeNode(TREParseTree_NodeKind kind, RE_Node_t* left, RE_Node_t* right) {
  auto node = std::make_unique<RE_Node_t>();
  node->Kind = kind;
  node->Left = left;
  node->Right = right;
  NodeList_.push_back(std::move(node));
  return NodeList_.back().get();
}

RE_Node_t* TREParseTree::MakeLeaf(RE_Char_t low, RE_Char_t high) {
  const auto found = LeafIndex_.find(Key(low, high));
  if (found != LeafIndex_.end()) return found->second;
  auto leaf = std::make_unique<RE_Node_t>();
  leaf->Kind = reop_CharClass;
  leaf->Low = low;
  leaf->High = high;
  LeafList_.push_back(std::move(leaf));
  RE_Node_t* made = LeafList_.back().get();
  LeafIndex_.emplace(Key(low, high), made);
  return made;
}

RE_Node_t* TREParseTree::MakeLeafIfNonEmpty(RE_Char_t low, RE_Char_t high) {
  if (high < low) return nullptr;
  return MakeLeaf(low, high);
}

RE_Node_t* TREParseTree::MakeLHeadNode(RE_Char_t ch) {
  RE_Node_t* node = MakeNode(reop_LHead, nullptr, nullptr);
  node->Low = node->High = ch;
  return node;
}

RE_Node_t* TREParseTree::MakeLTailNode(RE_Char_t ch) {
  RE_Node_t* node = MakeNode(reop_LTail, nullptr, nullptr);
  node->Low = node->High = ch;
  return node;
}

RE_Node_t* TREParseTree::MakeAnyCharNode() {
  RE_Node_t* vtFf = MakeLeaf(0x0B, 0x0C);
  RE_Node_t* belowLf = MakeLeaf(0x01, 0x09);
  RE_Node_t* aboveCr = MakeLeaf(0x0E, kMaxCharCode);
  return MakeNode(reop_Union, MakeNode(reop_Union, belowLf, vtFf), aboveCr);
}

void TREParseTree::ConvertLeafToUnion(RE_Node_t* leaf, RE_Node_t* left, RE_Node_t* right) {
  if (left == nullptr || right == nullptr) throw std::runtime_error(SystemText("TREParseTree : 致命的エラー"));
  const auto it = std::find_if(LeafList_.begin(), LeafList_.end(), [leaf](const auto& p) { return p.get() == leaf; });
  if (it == LeafList_.end()) throw std::runtime_error(SystemText("TREParseTree : 致命的エラー"));
  LeafIndex_.erase(Key(leaf->Low, leaf->High));
  NodeList_.push_back(std::move(*it));
  LeafList_.erase(it);
  leaf->Kind = reop_Union;
  leaf->Left = left;
  leaf->Right = right;
  leaf->Low = leaf->High = 0;
}

void TREParseTree::RemoveLeaf(std::size_t i) {
  LeafIndex_.erase(Key(LeafList_[i]->Low, LeafList_[i]->High));
  LeafList_.erase(LeafList_.begin() + static_cast<std::ptrdiff_t>(i));
}

bool TREParseTree::SplitPair(std::size_t i, std::size_t j) {
  RE_Node_t* l = LeafList_[j].get();
  RE_Node_t* r = LeafList_[i].get();
  if (r->Low < l->Low) std::swap(l, r);
  if (l->High < r->Low || (l->Low == r->Low && l->High == r->High)) return false;
  // Copies: converting a leaf below clears its range.
  const unsigned lLow = l->Low, lHigh = l->High, rHigh = r->High;
  const unsigned a = r->Low;
  const unsigned b = std::min(lHigh, rHigh);
  const unsigned d = std::max(lHigh, rHigh);
  const unsigned c = lLow;
  RE_Node_t* p1 = c < a ? MakeLeaf(static_cast<RE_Char_t>(c), static_cast<RE_Char_t>(a - 1)) : nullptr;
  RE_Node_t* p2 = MakeLeaf(static_cast<RE_Char_t>(a), static_cast<RE_Char_t>(b));
  RE_Node_t* p3 = b < d ? MakeLeaf(static_cast<RE_Char_t>(b + 1), static_cast<RE_Char_t>(d)) : nullptr;
  if (p1 != nullptr && p3 == nullptr) {
    ConvertLeafToUnion(l, p1, p2);
  } else if (p1 != nullptr && lHigh == d) {
    ConvertLeafToUnion(l, MakeNode(reop_Union, p1, p2), p3);
  } else if (p1 != nullptr) {
    ConvertLeafToUnion(l, p1, p2);
    ConvertLeafToUnion(r, p2, p3);
  } else if (lHigh == d) {
    ConvertLeafToUnion(l, p2, p3);
  } else {
    ConvertLeafToUnion(r, p2, p3);
  }
  return true;
}

void TREParseTree::SplitOverlappingLeaves() {
  // Most patterns have no overlapping leaves at all; finding that out is cheap.
  {
    std::vector<std::pair<RE_Char_t, RE_Char_t>> ranges;
    ranges.reserve(LeafList_.size());
    for (const auto& leaf : LeafList_) ranges.emplace_back(leaf->Low, leaf->High);
    std::sort(ranges.begin(), ranges.end());
    bool overlap = false;
    for (std::size_t k = 1; k < ranges.size() && !overlap; ++k) overlap = ranges[k].first <= ranges[k - 1].second;
    if (!overlap) return;
  }
  std::size_t comparisons = 0;
  std::size_t i = 0;
  while (i < LeafList_.size()) {
    bool split = false;
    for (std::size_t j = i + 1; j < LeafList_.size() && i < LeafList_.size(); ++j) {
      if (++comparisons > kMaxLeafWork) throw ERegExpParser(SystemText("正規表現が複雑すぎます"), 1);
      if (SplitPair(i, j)) {
        comparisons += LeafList_.size();  // what the conversions cost
        split = true;
        break;
      }
    }
    if (!split) ++i;
  }
}

void TREParseTree::Clear() {
  Root = nullptr;
  NodeList_.clear();
  LeafList_.clear();
  LeafIndex_.clear();
}

}  // namespace tarn::pattern
