#pragma once

#include <QString>

class IMainWindow;
class Speak;
struct Services;

/// The start button: converts every document of the list, one after another, into one MP3
/// each, refreshing the progress bar throughout, and ends with "Done.". Does nothing while
/// the window is busy.
void PushButton1_Click(const Services &services, IMainWindow &window, Speak &speak);

/// The one-line join command: copy /y "seg1" /b + "seg2" /b ... "output".
QString JoinCommandText(int segmentCount, const QString &outputPath);

/// Writes the join command file: in the code page with CR LF; as UTF-8 with a byte-order
/// mark when the code page cannot hold a path, so no path is ever written wrong.
void WriteCommandFile(const QString &text, const QString &path);
