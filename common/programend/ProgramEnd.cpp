#include "common/programend/ProgramEnd.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {
std::vector<void (*)()>& programEndWork()
{
    static std::vector<void (*)()> work;
    return work;
}
}  // namespace

void AddProgramEndWork(void (*work)())
{
    auto& all = programEndWork();
    if (std::find(all.begin(), all.end(), work) == all.end())
        all.push_back(work);
}

void RunProgramEndWork()
{
    const std::vector<void (*)()> work = std::exchange(programEndWork(), {});
    for (auto* w : work)
        w();
}
