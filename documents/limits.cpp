#include "documents/limits.h"

#include "common/eventloop.h"
#include "filesystem/filesystem.h"

#include <cerrno>

using namespace Qt::StringLiterals;

RuntimeError TooLarge(const QString &path)
{
    return RuntimeError(u"The document is too large: "_s + path, ErrorNumber::OutOfMemory);
}

RuntimeError PasswordProtected(const QString &path)
{
    return RuntimeError(u"The document is password-protected: "_s + path, ErrorNumber::PermissionDenied);
}

RuntimeError Damaged(const QString &cause, const QString &path)
{
    return RuntimeError(u"The document is damaged ("_s + cause + u"): "_s + path, ErrorNumber::PathFileAccessError);
}

RuntimeError NestedTooDeeply(const QString &path)
{
    return Damaged(u"elements nested too deeply"_s, path);
}

RuntimeError CannotOpen(int errnoValue, const QString &path)
{
    if (errnoValue == ENOENT)
        return RuntimeError(u"File not found: "_s + path, ErrorNumber::FileNotFound);
    return FileSystemError(errnoValue, path);
}

void OpenDocument(QFile &file, const QString &path)
{
    auto opened = FileSystem::OpenForReading(path);
    if (!opened)
        throw CannotOpen(opened.Error(), path);
    if (!file.open(opened->Descriptor(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        throw CannotOpen(EACCES, path);
    opened->Release();
}

bool EntryRefusedBySize(quint64 size, quint64 compressed)
{
    using namespace DocumentLimits;
    if (size > static_cast<quint64>(kMaxEntryBytes))
        return true;
    return size > static_cast<quint64>(kRatioFreeBytes) && size / static_cast<quint64>(kMaxInflationRatio) > compressed;
}

YieldClock::YieldClock(IEventLoop *events)
    : m_events(events)
{
    m_since.start();
}

void YieldClock::Check()
{
    if (m_events && m_since.elapsed() >= DocumentLimits::kYieldMs) {
        m_events->Yield();
        m_since.restart();
    }
}
