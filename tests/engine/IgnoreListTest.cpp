#include "engine/IgnoreList.h"

#include "support/TempDir.h"

#include <clocale>
#include <filesystem>
#include <gtest/gtest.h>

namespace sentrel {
namespace {

using namespace test;

TEST(IgnoreList, LoadsMatchesEditsAndSavesToItsFile)
{
    ASSERT_TRUE(std::setlocale(LC_CTYPE, "C.UTF-8"));
    TempDir dir;
    const std::string file = dir / "Ignore.ini";
    const std::string loaded = "\r\n  \r\n *.bak \r\nthumbs.db\r*.*\r\n\tfile?.txt \nÄpfel\r\ncaf\xe9\r\nthumbs.db\r\n";
    WriteFile(file, loaded);
    IgnoreList list;
    list.LoadIgnoreList(file);
    std::string error;
    list.LoadIgnoreList(dir / "missing.ini", &error);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(error, "");
    list.LoadIgnoreList(dir.path(), &error);
    EXPECT_EQ(error, "Not a regular file");
    EXPECT_FALSE(list.Matches("X.BAK"));
    list.LoadIgnoreList(file);
    // Suffixes for "*." entries, else whole names, either without regard to case.
    for (const char* name : { "X.BAK", ".bak", "Thumbs.db", "notes.*", "\tfile?.txt", "äPFEL", "caf\xe9" })
        EXPECT_TRUE(list.Matches(name)) << name;
    for (const char* name : { "a.bakx", "bak", "my thumbs.db", "notes.txt", "\tfile1.txt", "Apfel", "caf\xc9" })
        EXPECT_FALSE(list.Matches(name)) << name;

    EXPECT_EQ(list.AddEntry("   ").result, IgnoreAddResult::Empty);
    EXPECT_EQ(list.AddEntry(R"(Input filename here then press "+" or Enter)").result, IgnoreAddResult::HasQuote);
    for (const char* typed : { " THUMBS.db ", "äPFEL" })
        EXPECT_EQ(list.AddEntry(typed).result, IgnoreAddResult::Duplicate) << typed;
    EXPECT_EQ(list.AddEntry("  *.tmp ").text, "*.tmp");
    EXPECT_TRUE(list.Matches("x.TMP"));
    EXPECT_EQ(ReadFile(file), loaded);
    EXPECT_EQ(list.Save(), std::nullopt);
    EXPECT_EQ(ReadFile(file), "*.bak\r\nthumbs.db\r\n*.*\r\n\tfile?.txt\r\nÄpfel\r\ncaf\xe9\r\nthumbs.db\r\n*.tmp\r\n");

    EXPECT_FALSE(list.RemoveSelected());
    for (std::size_t n = list.size(); n > 0; --n) {
        list.setSelected(n - 1, true);
        EXPECT_TRUE(list.RemoveSelected());
    }
    EXPECT_FALSE(list.Matches("x.tmp"));
    EXPECT_EQ(list.Save(), std::nullopt);
    EXPECT_EQ(std::filesystem::file_size(file), 0u);

    // The file's place taken by a directory: the reason comes back, the list stays.
    std::filesystem::remove(file);
    MakeDirs(file);
    list.AddEntry("*.log");
    EXPECT_EQ(list.Save(), "Is a directory");
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(IgnoreList().Save(), std::nullopt); // never loaded: nothing to write
}

TEST(IgnoreList, AMatcherInHandStaysAsItWasWhileTheListIsEdited)
{
    IgnoreList list;
    list.LoadFromText("*.tmp\r\n");
    const auto before = list.matcher();
    list.AddEntry("cache.db");
    list.setSelected(0, true);
    list.RemoveSelected();
    EXPECT_TRUE(before->Matches("a.tmp"));
    EXPECT_FALSE(before->Matches("cache.db"));
    EXPECT_FALSE(list.matcher()->Matches("a.tmp"));
    EXPECT_TRUE(list.matcher()->Matches("cache.db"));
    list.LoadFromText("");
    EXPECT_FALSE(list.matcher()->Matches("cache.db"));
}

} // namespace
} // namespace sentrel
