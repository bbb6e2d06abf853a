#pragma once

#include <QString>

#include <stdexcept>
#include <string>

class IDiagnostics;
class IEventLoop;
class IDocumentReader;
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

// The platform services that the program's procedures use, passed in by whoever builds
// the window or another front end: the real ones in the program, fakes in tests.
struct Services
{
    IMessageBoxes *boxes = nullptr;
    ISettingsStore *settings = nullptr;
    IEventLoop *events = nullptr;
    ISpeechEngine *speech = nullptr;
    IDocumentReader *reader = nullptr;
    IProcessRunner *processes = nullptr;
    IResources *resources = nullptr;
    IShell *shell = nullptr;
    IFileDialogs *dialogs = nullptr;
    IRandom *random = nullptr;
    IWorkingFolder *workingFolder = nullptr;
    /// May be missing: the real causes of failures then go nowhere.
    IDiagnostics *diagnostics = nullptr;
    /// The folder that holds the program's executable.
    QString programFolder;

    IMessageBoxes &Boxes() const { return Need(boxes, "message boxes"); }
    ISettingsStore &Settings() const { return Need(settings, "settings store"); }
    IEventLoop &Events() const { return Need(events, "event loop"); }
    ISpeechEngine &Speech() const { return Need(speech, "speech engine"); }
    IDocumentReader &Reader() const { return Need(reader, "document reader"); }
    IProcessRunner &Processes() const { return Need(processes, "process runner"); }
    IResources &Resources() const { return Need(resources, "resources"); }
    IShell &Shell() const { return Need(shell, "shell"); }
    IFileDialogs &Dialogs() const { return Need(dialogs, "file dialogs"); }
    IRandom &Random() const { return Need(random, "random numbers"); }
    IWorkingFolder &WorkingFolder() const { return Need(workingFolder, "working folder"); }
    /// Writes the real cause of a failure on the diagnostics, when there are some.
    void Diagnose(const QString &line) const;

private:
    template<typename T>
    static T &Need(T *service, const char *name)
    {
        if (!service)
            throw MissingService(std::string("no ") + name + " was given to the program's procedures");
        return *service;
    }
};
