#pragma once

#include "filesystem/filesystem.h"

#include <QString>

// Where a document's output goes, and how it is made there: under a short hidden name of
// its own beside its place, held while it is made, and put in place only when complete.

/// Where the outputs go, as the window's save option says.
struct OutputRule
{
    enum class Place {
        DocumentFolder, // neither option: the document's folder
        Folder,         // "Save results to this folder:"
        Beside,         // "Save results in folder of original file"
    };
    Place place = Place::DocumentFolder;
    QString folder; // for Folder
};

/// The document's base name: its file name without the last extension.
QString BaseName(const QString &documentPath);
/// The output path when no option is selected: the document's folder (short form), the
/// base name, ".mp3".
QString DefaultOutputPath(const QString &documentPath, const QString &baseName);
/// "Save results to this folder:": the folder, one "/", the MP3's name.
QString OutputPathInFolder(const QString &folder, const QString &defaultPath);
/// "Save results in folder of original file": the document's folder, one "/", the MP3's name.
QString OutputPathBeside(const QString &documentPath, const QString &defaultPath);
/// The output path of the document under the rule, with extension in place of "mp3".
QString OutputPathFor(const QString &documentPath, const OutputRule &rule, const QString &extension = QStringLiteral("mp3"));

/// Why an output cannot be put at the path, or "": a folder, a pipe or a device there is
/// never replaced, nor a file the user may not write (a link is: its target is left alone).
QString OutputPathProblem(const QString &outputPath);

/// Removes the partial files that a conversion killed before its end left in the folder of
/// outputPath (see FileSystem::RemoveLeftTemporaries).
void RemoveLeftPartials(const QString &outputPath);

// A file beside an output path while it is made: a short hidden name (".vt-" + eight
// letters + ".part", so every name the folder can hold converts), held so that another
// run's sweep leaves it alone, and removed when it is dropped before it took its place.
class PartialFile
{
public:
    PartialFile() = default;
    ~PartialFile();
    PartialFile(PartialFile &&other) noexcept;
    PartialFile &operator=(PartialFile &&other) noexcept;

    /// Creates the file beside outputPath (readable as the output will be); throws
    /// RuntimeError in words for the user when the folder cannot be written.
    void Create(const QString &outputPath);
    /// Only names a file beside outputPath, for a program that writes it.
    void Name(const QString &outputPath);
    /// Holds what stands at the name now (a program wrote it afresh).
    void Hold();
    /// Puts the file in place of outputPath; throws RuntimeError in words when it cannot
    /// (the file is removed).
    void PutInPlace(const QString &outputPath);
    /// Removes the file; nothing when there is none.
    void Remove();

    const QString &Path() const { return m_path; }
    bool IsEmpty() const { return m_path.isEmpty(); }

private:
    QString m_path;
    FileSystem::File m_held;
};
