#pragma once

#include <QString>

#include <exception>
#include <type_traits>
#include <utility>

// A statement of a guarded procedure that failed: where, and what.
struct StatementFailure
{
    QString siteTag;
    int line = 0;
    QString description;
    int number = 0; // the error's number
};

// Decides what follows a failed statement. Returning goes on with the next statement
// (the window shows its error report first); throwing a Stop ends every procedure that
// runs, so a front end that stops at the first failure does so.
class IFailureHandler
{
public:
    virtual ~IFailureHandler() = default;
    virtual void Failed(const StatementFailure &failure) = 0;
};

// Ends the guarded procedures that run: no statement runner catches it. Front ends derive
// their own (a document that failed, a run cancelled).
class Stop
{
public:
    virtual ~Stop() = default;
};

// Project tags of the error reports' site tags.
inline constexpr char16_t kMainProjectTag[] = u"Lectorn2021/08/31";
inline constexpr char16_t kFolderWalkProjectTag[] = u"Brindle2021/08/31";

/// "in " + project + "." + module + "." + procedure + " ", as an error report shows it.
QString SiteTag(const QString &module, const QString &procedure,
                const QString &project = QString::fromUtf16(kMainProjectTag));

/// The text of the "Application Error" box for a failure at a numbered statement.
QString ErrorReportText(const QString &description, const QString &siteTag, int line);

/// The description of whatever a statement threw.
QString DescribeFailure(std::exception_ptr failure);
/// The error number of whatever a statement threw (RuntimeError's; others: unexpected error).
int FailureNumber(std::exception_ptr failure);

// Runs the numbered statements of one guarded procedure: a statement that fails is handed
// to the failure handler with the procedure and the statement's number (the window shows
// one "Application Error" box), and the procedure goes on with its next statement. A
// statement without a number of its own reports the last number passed. A conditional
// test that fails counts as passed, so what it guards runs. A Stop passes through.
class Statements
{
public:
    Statements(IFailureHandler &handler, QString siteTag);

    /// Runs the statement numbered line.
    template<typename F>
    void operator()(int line, F &&statement)
    {
        m_line = line;
        (*this)(std::forward<F>(statement));
    }

    /// Runs a statement that has no number of its own.
    template<typename F>
    void operator()(F &&statement)
    {
        try {
            statement();
        } catch (const Stop &) {
            throw;
        } catch (...) {
            Report(std::current_exception());
        }
    }

    /// Runs the statement numbered line for the value it gives; a failing statement gives
    /// the value's default, so locals need not be declared outside their lambdas.
    template<typename F>
    auto Value(int line, F &&statement) -> std::decay_t<decltype(statement())>
    {
        std::decay_t<decltype(statement())> value{};
        (*this)(line, [&] { value = statement(); });
        return value;
    }

    /// Runs the test of a conditional numbered line; a failing test answers true.
    template<typename F>
    bool If(int line, F &&test)
    {
        m_line = line;
        try {
            return static_cast<bool>(test());
        } catch (const Stop &) {
            throw;
        } catch (...) {
            Report(std::current_exception());
            return true;
        }
    }

    /// Sets the number reported for the statements that follow.
    void At(int line) { m_line = line; }
    int Line() const { return m_line; }
    const QString &Tag() const { return m_siteTag; }

    /// Hands a failure at the current line to the handler.
    void Report(std::exception_ptr failure);
    IFailureHandler &Handler() const { return m_handler; }

private:
    IFailureHandler &m_handler;
    QString m_siteTag;
    int m_line = 0;
};

/// Runs a step whose failure goes unreported: the handlers without an error report of
/// their own, whose store may fail to be written, go on regardless.
template<typename F>
void Quietly(F &&step)
{
    try {
        step();
    } catch (const std::exception &) {
    }
}

// Runs steps that each may fail without a report: every step runs, and a failure only
// marks the whole as failed and keeps the first failure's description.
class Attempts
{
public:
    template<typename F>
    void operator()(F &&step)
    {
        try {
            step();
        } catch (const Stop &) {
            throw;
        } catch (...) {
            if (!m_failed)
                m_cause = DescribeFailure(std::current_exception());
            m_failed = true;
        }
    }
    bool Failed() const { return m_failed; }
    /// The description of the first failure; "" when none failed.
    const QString &Cause() const { return m_cause; }

private:
    bool m_failed = false;
    QString m_cause;
};
