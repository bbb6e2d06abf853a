#include "pipeline/encoder.h"

#include "api/workingfolder.h"
#include "common/helpers.h"

using namespace Qt::StringLiterals;

void EncoderProgram::Install(IEventLoop &events, IWorkingFolder &working, const QByteArray &bytes)
{
    m_program = FileSystem::File();
    m_path = WorkingPath(working, u"lame.exe"_s);
    // An encoder already there is used only when it is the program's own, byte for byte;
    // anything else (a planted program) is removed first and written afresh.
    if (!FileHoldsBytes(m_path, bytes)) {
        KillFile(events, m_path);
        WriteBinaryFile(events, bytes, m_path, 0700);
    }
    m_program = working.OpenProgram(u"lame.exe"_s, bytes);
}

void EncoderProgram::Remove(IEventLoop &events)
{
    m_program = FileSystem::File();
    if (!m_path.isEmpty())
        KillFile(events, m_path);
}
