#pragma once

#include <QString>

class IDocumentList;
class IEventLoop;
struct Services;

/// The key of the scrambled sample snapshot.
inline constexpr char16_t kSnapshotKey[] = u"vocaleaf";

/// Each character's code-page code plus the key's, less 255 from 256 on, the key repeating
/// every eight characters. Yields to the event loop once per character.
QString ScrambleText(IEventLoop &events, const QString &text, const QString &key);
/// The reverse of ScrambleText for every character with a code from 1 to 255.
QString UnscrambleText(IEventLoop &events, const QString &text, const QString &key);

/// True when some entry's text equals the path exactly.
bool IsInFileList(const IDocumentList &list, const QString &path);

/// True when no sample snapshot has been taken: "Snapshot" is empty, or it was taken under
/// another program folder and none of its files exists any more (a build run from the
/// source tree before the package was installed, say).
bool NoSampleSnapshot(const Services &services);

/// Records the files of the program's Samples folder, scrambled, in the setting "Snapshot".
void TakeSampleSnapshot(const Services &services);

/// Appends the recorded sample files that still exist and are not in the list yet, then
/// offers to open the Samples folder.
void LoadSampleFiles(const Services &services, IDocumentList &list);
