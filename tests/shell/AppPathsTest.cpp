#include "shell/AppPaths.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

TEST(AppPaths, DataDirectoryChoiceAndItsFiles)
{
    DataDirInputs in { "", "/opt/sentrel/", true, "", "/home/ann", "/home/ann/work" };
    EXPECT_EQ(ChooseDataDir(in), "/opt/sentrel/");
    in.executableDirWritable = false;
    EXPECT_EQ(ChooseDataDir(in), "/home/ann/.local/share/Sentrel");
    in.xdgDataHome = "/data";
    EXPECT_EQ(ChooseDataDir(in), "/data/Sentrel");
    in.sentrelHome = "mine";
    EXPECT_EQ(ChooseDataDir(in), "/home/ann/work/mine");

    EXPECT_EQ(MakeAppPaths("/").AppDir, "/");
    const AppPaths paths = MakeAppPaths("/opt/sentrel//");
    EXPECT_EQ(paths.AppDir, "/opt/sentrel/");
    EXPECT_EQ(paths.LogDir, "/opt/sentrel/Log/");
    EXPECT_EQ(paths.ProjectFile, "/opt/sentrel/Sentrel.prj");
    EXPECT_EQ(paths.IgnoreFile, "/opt/sentrel/Ignore.ini");
}

} // namespace
} // namespace sentrel
