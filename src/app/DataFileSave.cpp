#include "app/DataFileSave.h"

#include <string>

namespace sentrel {

bool CheckWritten(const WriteError& error, std::string_view path, Dialogs& dialogs, ActivityLog& log)
{
    if (!error)
        return true;
    const std::string text = "Can not write " + std::string(path) + ", " + *error;
    log.AddLog(kProgramName, text);
    dialogs.message(text, "Error", MessageIcon::Error);
    return false;
}

} // namespace sentrel
