#pragma once

#include <QString>

class IMainWindow;
class IWorkingFolder;
class Speak;
struct Services;

/// The start button: converts every document of the list, one after another, into one MP3
/// each, refreshing the progress bar throughout, and ends with "Done.". Does nothing while
/// the window is busy. An MP3 is made under a name of its own beside its output path and
/// takes that path's place only when complete; every failure is reported.
void PushButton1_Click(const Services &services, IMainWindow &window, Speak &speak);

// The one-line join command, built step by step:
// copy /y "seg1" /b + "seg2" /b ... "target".
class JoinCommand
{
public:
    /// "copy /y " and a double quote.
    void Start();
    /// The segment's path (a double quote in it written as three), a double quote, " /b + ", a double quote.
    void AddSegment(const QString &segmentPath);
    /// Drops the last 7 characters: the last " /b + " and the double quote after it.
    void DropLastJoint();
    /// " /b " and the target path in double quotes.
    void SetTarget(const QString &targetPath);
    const QString &Text() const { return m_text; }

private:
    QString m_text;
};

/// The whole join command for the working folder's segment MP3s 1 to segmentCount.
QString JoinCommandText(IWorkingFolder &working, int segmentCount, const QString &targetPath);

/// Writes the join command file: in the code page with CR LF; as UTF-8 with a byte-order
/// mark when the code page cannot hold a path, so no path is ever written wrong.
void WriteCommandFile(const QString &text, const QString &path);
