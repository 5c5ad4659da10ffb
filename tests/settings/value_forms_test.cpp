#include "settings/value_forms.h"

#include <gtest/gtest.h>

#include "settings/shortcut_text.h"

namespace tarn::settings {
namespace {

TEST(ValueForms, ReadsDecimalAndBothHexadecimalForms) {
  EXPECT_EQ(ParseInteger("42"), 42);
  EXPECT_EQ(ParseInteger("-7"), -7);
  EXPECT_EQ(ParseInteger("$FF"), 255);
  EXPECT_EQ(ParseInteger("0x1f"), 31);
  EXPECT_EQ(ParseInteger("0X00FF0000"), 0x00FF0000);
  EXPECT_EQ(ParseInteger("$80000005"), static_cast<std::int32_t>(0x80000005u));
  EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
  EXPECT_EQ(ParseInteger("-2147483648"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(ParseInteger("0"), 0);
}

TEST(ValueForms, RejectsWhatIsNotA32BitInteger) {
  for (const char* bad : {"", "-", "$", "0x", "12a", "1 2", "2147483648", "$100000000", "abc", "1.5", "0xG"})
    EXPECT_FALSE(ParseInteger(bad).has_value()) << bad;
}

TEST(ValueForms, WritesColoursAsDollarAndEightUpperCaseDigits) {
  EXPECT_EQ(FormatColor(0x00FF0000), "$00FF0000");
  EXPECT_EQ(FormatColor(0x80000005), "$80000005");
  EXPECT_EQ(FormatColor(0x1FFFFFFF), "$1FFFFFFF");
  EXPECT_EQ(FormatBool(true), "1");
  EXPECT_EQ(FormatInteger(-3), "-3");
}

TEST(ValueForms, UnquotesOldValues) {
  EXPECT_EQ(UnquoteOldValue("\"abc\""), "abc");
  EXPECT_EQ(UnquoteOldValue("\""), "");
  EXPECT_EQ(UnquoteOldValue("\"\""), "");
  EXPECT_EQ(UnquoteOldValue("\"a"), "\"a");
  EXPECT_EQ(UnquoteOldValue("a,b"), "a,b");
  EXPECT_EQ(UnquoteOldValue(""), "");
}

TEST(ValueForms, NamesCompareWithoutLetterCaseButKeepDoubleByteCharacters) {
  EXPECT_EQ(FoldedName("FindResult"), FoldedName("findRESULT"));
  EXPECT_NE(FoldedName("Find"), FoldedName("Finds"));
  // "ア" (83 41) and "ヂ" (83 61) differ only in a trail byte that looks like a letter.
  EXPECT_NE(FoldedName("\x83\x41"), FoldedName("\x83\x61"));
  EXPECT_EQ(FoldedName("\x83\x41x"), FoldedName("\x83\x41X"));
}

TEST(ShortcutText, FormatsModifiersInOrderAndKeyNames) {
  EXPECT_EQ(FormatShortcut(scCtrl | 'O'), "Ctrl+O");
  EXPECT_EQ(FormatShortcut(key::F1 + 2), "F3");
  EXPECT_EQ(FormatShortcut(scAlt | scCtrl | scShift | (key::F1 + 23)), "Shift+Ctrl+Alt+F24");
  EXPECT_EQ(FormatShortcut(scCtrl | key::Delete), "Ctrl+Del");
  EXPECT_EQ(FormatShortcut(key::Escape), "Esc");
  EXPECT_EQ(FormatShortcut(key::Keypad0 + 5), "5");
  EXPECT_EQ(FormatShortcut(0), "");
  EXPECT_EQ(FormatShortcut(scCtrl | 0xFF), "");
}

TEST(ShortcutText, ParsesPrefixesInAnyOrderAndCase) {
  EXPECT_EQ(ParseShortcut("Ctrl+O"), scCtrl | 'O');
  EXPECT_EQ(ParseShortcut("alt+shift+pgdn"), scAlt | scShift | key::PageDown);
  EXPECT_EQ(ParseShortcut("^S"), scCtrl | 'S');
  EXPECT_EQ(ParseShortcut("Ctrl+Ctrl+Left"), scCtrl | key::Left);
  EXPECT_EQ(ParseShortcut("5"), '5');
  EXPECT_EQ(ParseShortcut("f12"), key::F1 + 11);
  EXPECT_EQ(ParseShortcut(""), 0);
  EXPECT_EQ(ParseShortcut("Ctrl+"), 0);
  EXPECT_EQ(ParseShortcut("Ctrl+Nothing"), 0);
  for (unsigned code = 8; code < 256; ++code) {
    const std::string text = FormatShortcut(static_cast<TShortCut>(scShift | code));
    if (!text.empty() && (code < key::Keypad0 || code > key::Keypad0 + 9)) {
      EXPECT_EQ(ParseShortcut(text), scShift | code) << text;
    }
  }
}

}  // namespace
}  // namespace tarn::settings
