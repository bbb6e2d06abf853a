#pragma once

#include <QString>

#include <stdexcept>
#include <string>

class IDiagnostics;
class IEventLoop;
class IDocumentReader;
class IFailureHandler;
class IFileDialogs;
class IMessageBoxes;
class IProcessRunner;
class IRandom;
class IResources;
class ISettingsStore;
class IShell;
class ISpeechEngine;
class IWorkingFolder;

/// Thrown when a procedure needs a service that its caller did not give: a test that
/// forgot one fails with the service's name instead of crashing.
class MissingService : public std::logic_error
{
public:
    using std::logic_error::logic_error;
};

namespace ServiceDetail {
template<typename T>
T &Need(T *service, const char *name)
{
    if (!service)
        throw MissingService(std::string("no ") + name + " was given to the program's procedures");
    return *service;
}
} // namespace ServiceDetail

// The services that a conversion needs and every front end gives, window or none: the
// real ones in the programs, fakes in tests.
struct CoreServices
{
    ISettingsStore *settings = nullptr;
    IEventLoop *events = nullptr;
    ISpeechEngine *speech = nullptr;
    IDocumentReader *reader = nullptr;
    IProcessRunner *processes = nullptr;
    IResources *resources = nullptr;
    IRandom *random = nullptr;
    IWorkingFolder *workingFolder = nullptr;
    /// May be missing: the real causes of failures then go nowhere.
    IDiagnostics *diagnostics = nullptr;
    /// The folder that holds the program's executable.
    QString programFolder;

    ISettingsStore &Settings() const { return ServiceDetail::Need(settings, "settings store"); }
    IEventLoop &Events() const { return ServiceDetail::Need(events, "event loop"); }
    ISpeechEngine &Speech() const { return ServiceDetail::Need(speech, "speech engine"); }
    IDocumentReader &Reader() const { return ServiceDetail::Need(reader, "document reader"); }
    IProcessRunner &Processes() const { return ServiceDetail::Need(processes, "process runner"); }
    IResources &Resources() const { return ServiceDetail::Need(resources, "resources"); }
    IRandom &Random() const { return ServiceDetail::Need(random, "random numbers"); }
    IWorkingFolder &WorkingFolder() const { return ServiceDetail::Need(workingFolder, "working folder"); }
    /// Writes the real cause of a failure on the diagnostics, when there are some.
    void Diagnose(const QString &line) const;
};

// The services of the window on top: its boxes, the error reports they show, its dialogs
// and the desktop shell. A front end without a window never needs them.
struct Services : CoreServices
{
    Services() = default;
    explicit Services(const CoreServices &core)
        : CoreServices(core)
    {
    }

    IMessageBoxes *boxes = nullptr;
    /// What follows a failed statement: the window's "Application Error" box.
    IFailureHandler *reports = nullptr;
    IFileDialogs *dialogs = nullptr;
    IShell *shell = nullptr;

    IMessageBoxes &Boxes() const { return ServiceDetail::Need(boxes, "message boxes"); }
    IFailureHandler &Reports() const { return ServiceDetail::Need(reports, "error reports"); }
    IFileDialogs &Dialogs() const { return ServiceDetail::Need(dialogs, "file dialogs"); }
    IShell &Shell() const { return ServiceDetail::Need(shell, "shell"); }
};
