#pragma once

// What the files of one document's job share: the way each step turns what went wrong into
// its outcome, and the small judgements of files and failures that several steps make.

#include "common/helpers.h"
#include "common/statements.h"
#include "filesystem/filesystem.h"
#include "pipeline/documentjob.h"
#include "pipeline/outcome.h"

#include <exception>

namespace JobParts {

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

// A file that a program wrote: a regular file with something in it.
inline bool HoldsSomething(const QString &path)
{
    const auto status = Fs::LinkStat(path);
    return status && status->kind == Fs::Kind::Regular && status->size > 0;
}

inline QString WithCause(const QString &what, const QString &errorOutput)
{
    const QString line = LastErrorLine(errorOutput);
    return line.isEmpty() ? what : what + u": "_s + line;
}

inline JobOutcome Failed(JobStep step, const QString &description)
{
    return JobOutcome::Failure(step, ErrorNumber::PathFileAccessError, description);
}

} // namespace JobParts

template<typename F>
JobOutcome DocumentJob::Step(JobStep step, F &&work)
{
    try {
        work();
        return JobOutcome::Done();
    } catch (const StepStopped &stopped) {
        JobOutcome outcome = stopped.outcome();
        outcome.step = step;
        return outcome;
    } catch (const Stop &) {
        throw;
    } catch (...) {
        return JobOutcome::Of(step, std::current_exception());
    }
}
