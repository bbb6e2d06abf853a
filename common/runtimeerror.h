#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// Numbers of the run-time errors that the program raises itself.
namespace ErrorNumber {
constexpr int Overflow = 6;
constexpr int OutOfMemory = 7;
constexpr int TypeMismatch = 13;
constexpr int FileNotFound = 53;
constexpr int FileAlreadyOpen = 55;
constexpr int DiskFull = 61;
constexpr int PermissionDenied = 70;
constexpr int PathFileAccessError = 75;
constexpr int PathNotFound = 76;
constexpr int InvalidProcedureCall = 5;
constexpr int DivisionByZero = 11;
constexpr int InputPastEndOfFile = 62;
constexpr int ObjectVariableNotSet = 91;
constexpr int ResourceNotFound = 326;
constexpr int InvalidPropertyValue = 380;
constexpr int CannotCreateObject = 429;
constexpr int UnexpectedError = 440;
constexpr int BufferTooSmall = 20476;
// The speech engine cannot create the selected voice (REGDB_E_CLASSNOTREG).
constexpr int ClassNotRegistered = -2147221164;
} // namespace ErrorNumber

// The one run-time error type of the program: a description and a number, as an
// error report shows them. The platform layer throws it; the statement runner catches it.
class RuntimeError : public std::exception
{
public:
    explicit RuntimeError(QString description, int number = ErrorNumber::UnexpectedError);

    const QString &description() const noexcept { return m_description; }
    int number() const noexcept { return m_number; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_description;
    int m_number;
    QByteArray m_what;
};

// The error for a failed file operation on path, from the C errno value.
RuntimeError FileSystemError(int errnoValue, const QString &path);
/// "Path/File access error: " + path, with the cause in brackets when there is one.
RuntimeError FileAccessError(const QString &path, const QString &cause = QString());
