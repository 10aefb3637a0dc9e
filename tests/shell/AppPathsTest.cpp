#include "shell/AppPaths.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

TEST(AppPaths, DataDirectoryChoice)
{
    DataDirInputs in;
    in.executableDir = "/opt/sentrel/";
    in.executableDirWritable = true;
    in.home = "/home/ann";
    in.workingDir = "/home/ann/work";

    EXPECT_EQ(ChooseDataDir(in), "/opt/sentrel/");
    in.executableDirWritable = false;
    EXPECT_EQ(ChooseDataDir(in), "/home/ann/.local/share/Sentrel");
    in.xdgDataHome = "/data";
    EXPECT_EQ(ChooseDataDir(in), "/data/Sentrel");
    in.xdgDataHome = "relative/ignored";
    EXPECT_EQ(ChooseDataDir(in), "/home/ann/.local/share/Sentrel");
    in.sentrelHome = "/srv/bak";
    EXPECT_EQ(ChooseDataDir(in), "/srv/bak");
    in.sentrelHome = "mine";
    EXPECT_EQ(ChooseDataDir(in), "/home/ann/work/mine");
}

TEST(AppPaths, AppDirEndsWithExactlyOneSlash)
{
    EXPECT_EQ(MakeAppPaths("/opt/sentrel").AppDir, "/opt/sentrel/");
    EXPECT_EQ(MakeAppPaths("/opt/sentrel//").AppDir, "/opt/sentrel/");
    EXPECT_EQ(MakeAppPaths("/").AppDir, "/");
    const AppPaths paths = MakeAppPaths("/opt/sentrel/");
    EXPECT_EQ(paths.LogDir, "/opt/sentrel/Log/");
    EXPECT_EQ(paths.ProjectFile, "/opt/sentrel/Sentrel.prj");
    EXPECT_EQ(paths.IgnoreFile, "/opt/sentrel/Ignore.ini");
}

} // namespace
} // namespace sentrel
