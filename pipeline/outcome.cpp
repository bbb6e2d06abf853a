#include "pipeline/outcome.h"

#include "common/runtimeerror.h"

using namespace Qt::StringLiterals;

QString StepWords(JobStep step)
{
    switch (step) {
    case JobStep::Text:
        return u"reading its text"_s;
    case JobStep::Segments:
        return u"cutting its text into segments"_s;
    case JobStep::Speech:
        return u"speaking it"_s;
    case JobStep::Encoding:
        return u"encoding its speech"_s;
    case JobStep::Joining:
        return u"joining its pieces"_s;
    case JobStep::Tags:
        return u"writing its tags"_s;
    case JobStep::Packing:
        return u"making its audiobook"_s;
    case JobStep::Output:
        return u"saving it"_s;
    }
    return QString();
}

JobOutcome JobOutcome::Of(JobStep step, std::exception_ptr failure)
{
    return Failure(step, FailureNumber(failure), DescribeFailure(failure));
}

bool JobOutcome::VoiceCannotLoad() const
{
    return failed && number == ErrorNumber::ClassNotRegistered;
}

void FailFast::Failed(const StatementFailure &failure)
{
    throw StepStopped(JobOutcome::Failure(step, failure.number, failure.description));
}
