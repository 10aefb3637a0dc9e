#include "scheduler/Scheduler.h"

namespace sentrel {

void Scheduler::TimerMain() { }

void Scheduler::TimerBackup() { }

void Scheduler::TimerCurrent() { }

void Scheduler::CheckStartup() { }

} // namespace sentrel
