// CommaText: the one-line encoding of a list of strings used by file masks, histories, help
// entries and result-line records.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarn {

// Joins items by ","; an item holding a byte 0-32, a double quote or a comma is enclosed in double
// quotes with inner quotes doubled (none of these bytes is ever a trail byte). A list of one
// empty item gives a pair of double quotes; an empty list gives the empty text.
std::string ToCommaText(const std::vector<std::string>& items);

// Appends one item to a CommaText being built, as ToCommaText writes it, with the separating
// comma unless it is the first item.
void AppendCommaTextItem(std::string& out, std::string_view item, bool first);

// Splits a CommaText line: blanks (codes 1-32) around items are skipped, a quoted item runs to
// its closing quote whatever byte precedes it (a doubled quote is one quote), any other item
// runs to the next comma or byte 0-32; two commas in a row give an empty item, and a comma as
// the last character adds a final empty item.
std::vector<std::string> ParseCommaText(std::string_view text);

// The first maxItems items as ParseCommaText gives them; an item is cut at maxItemBytes, and
// one that reaches it is the last read, so that a record with a huge field costs only what
// the caller needs of it.
std::vector<std::string> ParseCommaTextHead(std::string_view text, std::size_t maxItems, std::size_t maxItemBytes);

}  // namespace tarn
