#pragma once

#include "common/statements.h"

#include <QString>

// What a front end that stops a document at its first failure learns of it: the stage
// that failed, the error's number and its description.

/// The stages of one document's conversion, in their order.
enum class Stage { Text, Segments, Speech, Encoding, Joining, Output };

/// The stage in a few words: "reading its text", "speaking it", ...
QString StageWords(Stage stage);

struct StageFailure
{
    Stage stage = Stage::Text;
    int number = 0;
    QString description;
};

// Ends the procedures of a document at the failure: no statement runner catches it.
class StageStopped final : public Stop
{
public:
    explicit StageStopped(StageFailure failure)
        : m_failure(std::move(failure))
    {
    }
    const StageFailure &failure() const { return m_failure; }

private:
    StageFailure m_failure;
};

// The failure handler of the headless converter: the first failed statement stops the
// document, named with the stage it was in.
class FailFast final : public IFailureHandler
{
public:
    explicit FailFast(Stage stageNow)
        : stage(stageNow)
    {
    }
    [[noreturn]] void Failed(const StatementFailure &failure) override
    {
        throw StageStopped({stage, failure.number, failure.description});
    }

    Stage stage;
};
