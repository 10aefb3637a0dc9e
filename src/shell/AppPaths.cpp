#include "shell/AppPaths.h"

namespace sentrel {

namespace {
std::string WithOneTrailingSlash(std::string dir)
{
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

std::string Join(const std::string& dir, const std::string& name)
{
    return WithOneTrailingSlash(dir) + name;
}
} // namespace

std::string ChooseDataDir(const DataDirInputs& in)
{
    if (!in.sentrelHome.empty()) {
        if (in.sentrelHome.front() == '/' || in.workingDir.empty())
            return in.sentrelHome;
        return Join(in.workingDir, in.sentrelHome);
    }
    if (!in.executableDir.empty() && in.executableDirWritable)
        return in.executableDir;
    const std::string dataHome
        = !in.xdgDataHome.empty() && in.xdgDataHome.front() == '/' ? in.xdgDataHome : Join(in.home, ".local/share");
    return Join(dataHome, "Sentrel");
}

AppPaths MakeAppPaths(std::string dataDir)
{
    AppPaths paths;
    paths.AppDir = WithOneTrailingSlash(std::move(dataDir));
    paths.LogDir = paths.AppDir + "Log/";
    paths.ProjectFile = paths.AppDir + "Sentrel.prj";
    paths.IgnoreFile = paths.AppDir + "Ignore.ini";
    paths.StateFile = paths.AppDir + "Sentrel.state";
    paths.TempJournal = paths.AppDir + "Temporary.lst";
    return paths;
}

} // namespace sentrel
