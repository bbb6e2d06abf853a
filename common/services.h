#pragma once

#include <QString>

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

// The platform services that the program's procedures use, passed in by whoever
// builds the window: the real ones in the program, fakes in tests.
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
    IDiagnostics *diagnostics = nullptr;
    /// The folder that holds the program's executable.
    QString programFolder;
};
