#include "reportengine/text/hyphenation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "reportengine/text/text_constants.h"

namespace re {
namespace {

using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

class HyphenationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(hyphenator_.Load(text::kRussianHyphenationDictionary, &error)) << error;
  }
  // The word with "-" at every point found.
  std::string Marked(const std::string& word) const {
    std::string out;
    size_t from = 0;
    for (size_t p : hyphenator_.Points(word)) {
      out += word.substr(from, p - from) + "-";
      from = p;
    }
    return out + word.substr(from);
  }
  Hyphenator hyphenator_;
};

TEST_F(HyphenationTest, SplitsRussianWordsAtSyllables) {
  EXPECT_EQ(Marked("заболевание"), "за-бо-ле-ва-ние");
  EXPECT_EQ(Marked("больница"), "боль-ни-ца");
  EXPECT_EQ(Marked("лекарство"), "ле-кар-ство");
}

TEST_F(HyphenationTest, CapitalsSplitLikeSmallLetters) {
  EXPECT_EQ(Marked("ЗАБОЛЕВАНИЕ"), "ЗА-БО-ЛЕ-ВА-НИЕ");
  EXPECT_EQ(Marked("Больница"), "Боль-ни-ца");
  EXPECT_THAT(hyphenator_.Points("Ёлочка"), ElementsAreArray(hyphenator_.Points("ёлочка")));
}

TEST_F(HyphenationTest, NeverLeavesASingleLetterOnEitherSide) {
  for (const std::string word : {"яблоко", "оборона", "идея", "учение", "пациент", "автоматизация"}) {
    const std::vector<size_t> points = hyphenator_.Points(word);
    for (size_t p : points) {
      EXPECT_GE(p, 4u) << word;               // two letters of two bytes
      EXPECT_LE(p, word.size() - 4) << word;
    }
  }
}

TEST_F(HyphenationTest, OnlyWordsOfRussianLettersAreSplit) {
  for (const std::string word : {"", "да", "дом", "hello", "забо1левание", "больницаx", "日本語日本語"}) {
    EXPECT_THAT(hyphenator_.Points(word), IsEmpty()) << word;
  }
}

TEST(HyphenatorLoadTest, MissingDictionaryIsAnErrorAndSplitsNothing) {
  Hyphenator h;
  std::string error;
  EXPECT_FALSE(h.Load("/nonexistent/hyph_ru_RU.dic", &error));
  EXPECT_NE(error.find("/nonexistent/hyph_ru_RU.dic"), std::string::npos);
  EXPECT_THAT(h.Points("заболевание"), IsEmpty());
}

}  // namespace
}  // namespace re
