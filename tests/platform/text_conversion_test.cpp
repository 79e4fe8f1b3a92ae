#include "platform/text_conversion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wavfx {
namespace {

TEST(Utf16ToUtf8, EncodesEveryLengthClass) {
  struct Case {
    std::u16string wide;
    std::string narrow;
  };
  const Case cases[] = {
      {u"", ""},
      {u"echo", "echo"},
      {u"\u007f", "\x7F"},
      {u"\u0080", "\xC2\x80"},
      {u"\u00e9", "\xC3\xA9"},
      {u"\u07ff", "\xDF\xBF"},
      {u"\u0800", "\xE0\xA0\x80"},
      {u"\u20ac", "\xE2\x82\xAC"},
      {u"\ud7ff", "\xED\x9F\xBF"},
      {u"\ue000", "\xEE\x80\x80"},
      {u"\uffff", "\xEF\xBF\xBF"},
      {u"\U00010000", "\xF0\x90\x80\x80"},
      {u"\U0001F3B5", "\xF0\x9F\x8E\xB5"},
      {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
      {u"a/\u00e9\U0001F3B5.wav", "a/\xC3\xA9\xF0\x9F\x8E\xB5.wav"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.narrow);
    ASSERT_EQ(Utf8Length(c.wide.c_str()), static_cast<std::ptrdiff_t>(c.narrow.size()));
    std::vector<char> out(c.narrow.size() + 1, 'x');
    WriteUtf8(c.wide.c_str(), out.data());
    EXPECT_EQ(std::string(out.data(), out.size()), c.narrow + '\0');

    std::u16string back;
    EXPECT_TRUE(Utf8ToUtf16(c.narrow, back));
    EXPECT_EQ(back, c.wide);
  }
}

TEST(Utf16ToUtf8, LoneSurrogatesHaveNoUtf8Form) {
  const std::u16string cases[] = {
      u"\xD800",
      u"\xDBFF",
      u"\xDC00",
      u"\xDFFF",
      u"ab\xD800-",
      u"ab\xDC00\xD800",
      u"\xD800\xD800\xDC00",
      u"x\U0001F3B5\xDC00",
  };
  for (const std::u16string& wide : cases) {
    EXPECT_EQ(Utf8Length(wide.c_str()), -1) << wide.size();
  }
}

TEST(Utf8ToUtf16, RefusesInvalidUtf8AndLeavesTheResultEmpty) {
  struct Case {
    const char* name;
    std::string text;
  };
  const Case cases[] = {
      {"stray continuation byte", "\x80"},
      {"two-byte lead at the end", "a\xC3"},
      {"three-byte form cut short", "\xE2\x82"},
      {"four-byte form cut short", "\xF0\x9F\x8E"},
      {"lead followed by ASCII", "\xC3-"},
      {"overlong NUL", "\xC0\x80"},
      {"overlong slash", "\xC1\xAF"},
      {"overlong three-byte", "\xE0\x80\xAF"},
      {"overlong four-byte", "\xF0\x80\x80\xAF"},
      {"encoded high surrogate", "\xED\xA0\x80"},
      {"encoded low surrogate", "\xED\xBF\xBF"},
      {"above U+10FFFF", "\xF4\x90\x80\x80"},
      {"five-byte lead", "\xF8\x88\x80\x80\x80"},
      {"0xFF byte", "\xFF"},
      {"Latin-1 e acute", "caf\xE9"},
  };
  for (const Case& c : cases) {
    std::u16string out = u"previous";
    EXPECT_FALSE(Utf8ToUtf16(c.text, out)) << c.name;
    EXPECT_EQ(out, u"") << c.name;
  }
}

}  // namespace
}  // namespace wavfx
