// The private-profile reader under the configuration file.
#include "platform/PrivateProfile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

class PrivateProfileTest : public ::testing::Test {
protected:
    std::string Get(const std::string& section, const std::string& key, const std::string& fallback = "",
                    size_t size = 750)
    {
        std::string buffer(size, 'X');
        const size_t n = GetPrivateProfileString(section, key, fallback, buffer.data(), size, dir_.File("a.ini"));
        EXPECT_EQ(buffer[n], '\0');
        return buffer.substr(0, n);
    }

    TempDir dir_;
};

TEST_F(PrivateProfileTest, FindsKeysOfTheirOwnSectionInAnyLetterCase)
{
    dir_.Write("a.ini", "[One]\nkey=first\n[two]\nKEY = second \n");
    EXPECT_EQ(Get("one", "KEY"), "first");
    EXPECT_EQ(Get("TWO", "key"), "second");
    EXPECT_EQ(Get(" two ", " key "), "second");
}

TEST_F(PrivateProfileTest, MissingFileSectionOrKeyGivesTheDefault)
{
    EXPECT_EQ(Get("One", "key", "dflt"), "dflt");
    dir_.Write("a.ini", "[One]\nkey=first\n");
    EXPECT_EQ(Get("Two", "key", "dflt"), "dflt");
    EXPECT_EQ(Get("One", "other", "dflt"), "dflt");
    EXPECT_EQ(Get("One", "other"), "");
}

TEST_F(PrivateProfileTest, ValuesLoseSurroundingBlanksAndMatchingQuotes)
{
    dir_.Write("a.ini", "[S]\na=\t value with blanks \t\r\nb=\"quoted \"\nc='single'\nd=\"unbalanced\ne=\n");
    EXPECT_EQ(Get("S", "a"), "value with blanks");
    EXPECT_EQ(Get("S", "b"), "quoted ");
    EXPECT_EQ(Get("S", "c"), "single");
    EXPECT_EQ(Get("S", "d"), "\"unbalanced");
    EXPECT_EQ(Get("S", "e", "dflt"), "");
}

TEST_F(PrivateProfileTest, CommentsAreSkippedAndTheFirstOfDuplicatesCounts)
{
    dir_.Write("a.ini", "; note\n[S]\n;k=commented\n# k=also\nk=one\nk=two\n[S]\nk=three\nother=x\n");
    EXPECT_EQ(Get("S", "k"), "one");
    EXPECT_EQ(Get("S", "other", "none"), "none");
}

TEST_F(PrivateProfileTest, KeysBeforeAnySectionAndLinesWithoutEqualsAreIgnored)
{
    dir_.Write("a.ini", "k=orphan\n[S]\njunk line\nk=value=with=equals\n");
    EXPECT_EQ(Get("S", "k"), "value=with=equals");
    EXPECT_EQ(Get("", "k", "dflt"), "dflt");
}

TEST_F(PrivateProfileTest, CopiesAtMostOneCharacterLessThanTheBuffer)
{
    dir_.Write("a.ini", "[S]\nk=" + std::string(1000, 'v') + "\n");
    EXPECT_EQ(Get("S", "k").size(), 749u);
    EXPECT_EQ(Get("S", "k", "", 4), "vvv");
    EXPECT_EQ(Get("S", "none", "default", 4), "def");
}

TEST_F(PrivateProfileTest, EightBitBytesComeBackUnchanged)
{
    dir_.Write("a.ini", "[S]\nk=Caf\xE9 \xFF\n");
    EXPECT_EQ(Get("S", "k"), "Caf\xE9 \xFF");
}

}  // namespace
