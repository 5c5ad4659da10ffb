#include "pattern/nfa.h"

#include <algorithm>
#include <stdexcept>

#include "core/system_text.h"

namespace tarn::pattern {

void TRE_NFA::Build() {
  StateList_.clear();
  TransitionCount_ = 0;
  UsesLineHead = UsesLineTail = false;
  EntryState = NewState();
  FinalState = NewState();
  GenerateStateList(Parser_->Tree().Root, EntryState, FinalState);
}

std::uint32_t TRE_NFA::NewState() {
  StateList_.emplace_back();
  return static_cast<std::uint32_t>(StateList_.size() - 1);
}

void TRE_NFA::AddTransition(std::uint32_t from, std::uint32_t to, RE_Char_t low, RE_Char_t high) {
  if (++TransitionCount_ > kMaxNFATransitions) throw ERegExpParser(SystemText("正規表現が複雑すぎます"), 1);
  StateList_[from].push_back(RE_NFATransition_t{low, high, to});
}

void TRE_NFA::GenerateStateList(const RE_Node_t* root, std::uint32_t from, std::uint32_t to) {
  struct Task {
    const RE_Node_t* node;  // nullptr: an empty move
    std::uint32_t a, b;
  };
  std::vector<Task> stack{{root, from, to}};
  while (!stack.empty()) {
    const Task task = stack.back();
    stack.pop_back();
    const RE_Node_t* node = task.node;
    const auto [a, b] = std::pair{task.a, task.b};
    if (node == nullptr) {
      AddTransition(a, b, kEmptyMoveSymbol, kEmptyMoveSymbol);
      continue;
    }
    switch (node->Kind) {
      case reop_CharClass: {
        const RE_Char_t low = std::max<RE_Char_t>(node->Low, 1);
        const RE_Char_t high = std::min(node->High, kMaxSubjectCode);
        if (low <= high) AddTransition(a, b, low, high);
        break;
      }
      case reop_LHead:
        if (a == EntryState) {
          UsesLineHead = true;
          AddTransition(a, b, LineHeadSymbol, LineHeadSymbol);
        } else {
          AddTransition(a, b, node->Low, node->High);
        }
        break;
      case reop_LTail:
        if (b == FinalState) {
          UsesLineTail = true;
          AddTransition(a, b, LineTailSymbol, LineTailSymbol);
        } else {
          AddTransition(a, b, node->Low, node->High);
        }
        break;
      case reop_Concat: {
        const std::uint32_t c = NewState();
        stack.push_back({node->Right, c, b});
        stack.push_back({node->Left, a, c});
        break;
      }
      case reop_Union:
        stack.push_back({node->Right, a, b});
        stack.push_back({node->Left, a, b});
        break;
      case reop_Closure: {
        const std::uint32_t c = NewState();
        const std::uint32_t d = NewState();
        AddTransition(a, c, kEmptyMoveSymbol, kEmptyMoveSymbol);
        stack.push_back({nullptr, c, b});
        stack.push_back({nullptr, d, c});
        stack.push_back({node->Left, c, d});
        break;
      }
      case reop_Empty:
        AddTransition(a, b, kEmptyMoveSymbol, kEmptyMoveSymbol);
        break;
      case reop_Nothing:
        break;
      default:
        throw std::logic_error("This cannot happen in TRE_NFA.GenerateStateList");
    }
  }
}

}  // namespace tarn::pattern
