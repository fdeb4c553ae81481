// The check shared by the converter's and the inspector's text tables.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <string>

#include "run/console_text.hpp"
#include "support/expected.hpp"

// Every text of the table decodes from Shift_JIS to its intended Japanese, and its UTF-8 form is
// that same text; intended is written in the test, independently of the table.
template <std::size_t N>
void ExpectTextsAsIntended(const bloktar::text::NamedText (&texts)[N],
                           const std::map<std::string, std::string>& intended) {
    ASSERT_EQ(N, intended.size());
    for (const auto& [name, text] : texts) {
        SCOPED_TRACE(std::string(name));
        const auto wanted = intended.find(std::string(name));
        ASSERT_NE(wanted, intended.end());
        EXPECT_EQ(testing_support::Utf8FromSjis(text.sjis), wanted->second);
        EXPECT_EQ(text.utf8, wanted->second);
        EXPECT_EQ(std::string(text.sjis), testing_support::Sjis(wanted->second));
    }
}
