#pragma once

#include <string>

namespace sentrel {

// Where the program keeps its data; every directory ends in exactly one "/".
struct AppPaths {
    std::string AppDir;
    std::string LogDir; // AppDir + "Log/"
    std::string ProjectFile; // AppDir + "Sentrel.prj"
    std::string IgnoreFile; // AppDir + "Ignore.ini"
    std::string StateFile; // AppDir + "Sentrel.state": what the program keeps about each project
    std::string TempJournal; // AppDir + "Temporary.lst": folders that may hold a copy's temporary file
};

struct DataDirInputs {
    std::string sentrelHome; // $SENTREL_HOME
    std::string executableDir;
    bool executableDirWritable = false;
    std::string xdgDataHome; // $XDG_DATA_HOME
    std::string home; // $HOME
    std::string workingDir; // for a relative $SENTREL_HOME
};

// $SENTREL_HOME if set, else the executable's directory if writable, else
// $XDG_DATA_HOME/Sentrel (~/.local/share/Sentrel).
std::string ChooseDataDir(const DataDirInputs& in);

AppPaths MakeAppPaths(std::string dataDir);

} // namespace sentrel
