#include "engine/IgnoreList.h"

#include "support/TempDir.h"

#include <clocale>
#include <gtest/gtest.h>

namespace sentrel {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::vector<std::string> Texts(const IgnoreList& list)
{
    std::vector<std::string> texts;
    for (const IgnoreEntry& entry : list.rows())
        texts.push_back(entry.text);
    return texts;
}

TEST(IgnoreList, LoadTrimsSpacesSkipsBlankLinesAndKeepsDuplicates)
{
    TempDir dir;
    const std::string file = dir / "Ignore.ini";
    WriteFile(file, "\r\n   \r\n  *.bak  \r\n\tx \nThumbs.db\r\nThumbs.db\r\n");
    IgnoreList list;
    list.LoadIgnoreList(file);
    EXPECT_EQ(Texts(list), (std::vector<std::string> { "*.bak", "\tx", "Thumbs.db", "Thumbs.db" }));

    ASSERT_FALSE(list.SaveIgnoreList(file));
    EXPECT_EQ(ReadFile(file), "*.bak\r\n\tx\r\nThumbs.db\r\nThumbs.db\r\n");

    list.LoadIgnoreList(dir / "missing.ini");
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(list.Matches("missing.ini"));
}

TEST(IgnoreList, EditsTrimRefuseQuotesAndDuplicatesAndSaveAtOnce)
{
    TempDir dir;
    const std::string file = dir / "Ignore.ini";
    WriteFile(file, "Thumbs.db\r\n");
    IgnoreList list;
    list.LoadIgnoreList(file);

    EXPECT_EQ(list.AddEntry("   ").result, IgnoreAddResult::Empty);
    const IgnoreAdd hint = list.AddEntry(R"(Input filename here then press "+" or Enter)");
    EXPECT_EQ(hint.result, IgnoreAddResult::HasQuote);
    const IgnoreAdd duplicate = list.AddEntry(" thumbs.DB ");
    EXPECT_EQ(duplicate.result, IgnoreAddResult::Duplicate);
    EXPECT_EQ(duplicate.text, "thumbs.DB");
    EXPECT_EQ(ReadFile(file), "Thumbs.db\r\n");

    const IgnoreAdd added = list.AddEntry("  *.tmp ");
    EXPECT_EQ(added.result, IgnoreAddResult::Added);
    EXPECT_EQ(added.text, "*.tmp");
    EXPECT_EQ(ReadFile(file), "Thumbs.db\r\n*.tmp\r\n");
    EXPECT_TRUE(list.Matches("x.TMP"));

    EXPECT_FALSE(list.RemoveSelected());
    EXPECT_EQ(list.size(), 2u);
    for (std::size_t i : { 1, 0 }) {
        list.setSelected(i, true);
        EXPECT_TRUE(list.RemoveSelected());
    }
    EXPECT_FALSE(list.Matches("x.tmp"));
    EXPECT_TRUE(test::Exists(file));
    EXPECT_EQ(ReadFile(file), "");
}

TEST(IgnoreList, MatchesSuffixesAndWholeNamesWithoutCase)
{
    ASSERT_TRUE(std::setlocale(LC_CTYPE, "C.UTF-8"));
    TempDir dir;
    const std::string file = dir / "Ignore.ini";
    WriteFile(file, "*.bak\r\nthumbs.db\r\n*.*\r\nfile?.txt\r\nÄpfel.txt\r\ncaf\xe9\r\n");
    IgnoreList list;
    list.LoadIgnoreList(file);

    for (const char* name : { "X.BAK", ".bak", "Thumbs.db", "notes.*", "file?.txt", "äPFEL.TXT", "caf\xe9" })
        EXPECT_TRUE(list.Matches(name)) << name;
    for (const char* name : { "a.bakx", "bak", "my thumbs.db", "notes.txt", "file1.txt", "Apfel.txt", "caf\xc9" })
        EXPECT_FALSE(list.Matches(name)) << name;
}

} // namespace
} // namespace sentrel
