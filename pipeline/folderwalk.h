#pragma once

#include <QString>
#include <QStringList>

class IDocumentList;
class IFailureHandler;
class Statements;
struct CoreServices;

// The folder walk of the AddFolder module, which every front end's batch goes through: the
// breadth-first walk of a folder tree and the listing of the files a scan appends, with
// the attributes that decide what is left out.

/// Attribute flags as the program compares them.
namespace FileAttribute {
constexpr int ReadOnly = 1;
constexpr int Hidden = 2;
constexpr int System = 4;
constexpr int Directory = 16;
constexpr int Archive = 32;
constexpr int Link = 1024;
} // namespace FileAttribute

/// The attribute sum of a path: read-only when the user may not write it, hidden when the
/// name begins with ".", directory, archive for everything that is not a directory, link
/// for a symbolic link; the desktop's trash folders are hidden and system. Throws
/// RuntimeError when the path cannot be examined.
int FileAttributes(const QString &path);

/// Sorts names as a file manager shows them: natural and case-insensitive in the user's locale.
void SortForListing(QStringList &names);

/// A listed file is appended unless its attribute sum is exactly 34 (hidden and archive).
constexpr bool IsAcceptedFileAttributes(int attributes)
{
    return attributes != 34;
}
/// A folder is walked unless its attribute sum is 22 or 1046 (hidden and system, with or
/// without link); a root folder is always walked.
constexpr bool IsWalkedFolderAttributes(int attributes, bool root)
{
    return root || (attributes != 22 && attributes != 1046);
}

/// True when the path names an existing regular file whose attributes can be read.
bool CanOpenFile(const QString &path);

/// True at the first character of the code page whose code is below 32, 63 ("?") or 127 to
/// 159, or the first other character that is a control character, unassigned, or a byte
/// that is no text (a name's bytes that are not UTF-8). Letters of every script are fine.
bool HasUnsafeChars(const QString &name);

/// The names of the files of one folder that match the pattern (letter case ignored;
/// "*.*" is every file) and that can be opened, hidden ones included, in listing order
/// (natural and case-insensitive, as a file manager shows them).
QStringList ListFolderFiles(const QString &folder, const QString &pattern);

/// Extends the folder list (each entry ending in "/") level by level with every accepted
/// sub-folder, and takes out the folders that cannot be listed.
void GetSubDirectories2016(IFailureHandler &reports, const CoreServices &services, QStringList &folders,
                           bool recurse);

/// Walks the tree under the folder and appends its accepted files to the list; failures are
/// reported under the caller's procedure, with statement numbers 112 to 130.
void AddFolderFiles(Statements &run, const CoreServices &services, IDocumentList &list, const QString &folder,
                    const QString &pattern);
