#include "app/DataFileSave.h"

#include <string>

namespace sentrel {

bool CheckWritten(const WriteError& error, std::string_view path, Dialogs& dialogs, ActivityLog& log)
{
    if (LogWriteError(log, path, error))
        return true;
    dialogs.message(WriteFailureText(path, *error), "Error", MessageIcon::Error);
    return false;
}

} // namespace sentrel
