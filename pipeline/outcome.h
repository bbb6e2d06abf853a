#pragma once

#include "common/statements.h"

#include <QString>

#include <exception>

// What a step of one document's conversion answers: done, or the step that failed with the
// error's number and the words a person reads. Callers decide by the step and the number,
// never by the words.

/// The steps of one document's conversion, in their order.
enum class JobStep { Text, Segments, Speech, Encoding, Joining, Tags, Packing, Output };

/// The step in a few words: "reading its text", "speaking it", ...
QString StepWords(JobStep step);

struct JobOutcome
{
    bool failed = false;
    JobStep step = JobStep::Text;
    int number = 0;
    QString description;

    static JobOutcome Done() { return {}; }
    static JobOutcome Failure(JobStep step, int number, QString description)
    {
        return {true, step, number, std::move(description)};
    }
    /// The failure of whatever a step threw (a RuntimeError's number and description).
    static JobOutcome Of(JobStep step, std::exception_ptr failure);
    /// The chosen voice is listed but cannot be loaded.
    bool VoiceCannotLoad() const;
};

// Ends a step at the failure of one of its statements: no statement runner catches it, the
// step answers it as its outcome.
class StepStopped final : public Stop
{
public:
    explicit StepStopped(JobOutcome outcome)
        : m_outcome(std::move(outcome))
    {
    }
    const JobOutcome &outcome() const { return m_outcome; }

private:
    JobOutcome m_outcome;
};

// The failure handler of a front end that stops a document at its first failure (the
// headless converter): the first failed statement ends the step under way.
class FailFast final : public IFailureHandler
{
public:
    [[noreturn]] void Failed(const StatementFailure &failure) override;

    /// The step whose statements run now.
    JobStep step = JobStep::Text;
};
