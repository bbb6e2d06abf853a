#include "qtui/qtdialogs.h"
#include "common/helpers.h"

#include "common/runtimeerror.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>
#include <QUrl>

using namespace Qt::StringLiterals;

QString FileDialogResult(const QStringList &paths)
{
    if (paths.isEmpty())
        return QString();
    if (paths.size() == 1)
        return paths.first();
    auto folderOf = [](const QString &path) { return path.left(path.lastIndexOf(u'/')); };
    const QString folder = folderOf(paths.first());
    const bool oneFolder = std::all_of(paths.begin(), paths.end(),
                                       [&](const QString &path) { return folderOf(path) == folder; });
    // Files from several folders (typed with their folders, or chosen from the dialog's
    // recent or search views) come as paths below the root, so that every one is rebuilt
    // exactly as "/" + "/" + path.
    QString result = oneFolder && !folder.isEmpty() ? folder : QStringLiteral("/");
    for (const QString &path : paths) {
        result += QChar(u'\0');
        result += oneFolder ? path.mid(path.lastIndexOf(u'/') + 1) : path.mid(1);
    }
    return result;
}

namespace {

// "Description (*.odt)|*.odt" as Qt writes a filter: the description with its patterns.
QString QtFilter(const QString &filter)
{
    QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString pattern = QString(parts[i + 1]).replace(u';', u' ');
        filters.append(parts[i].contains(u'(') ? parts[i] : parts[i] + u" ("_s + pattern + u')');
    }
    return filters.join(u";;"_s);
}

} // namespace

void QtFileDialogs::SetParent(QWidget *parent)
{
    m_parent = parent;
}

QString QtFileDialogs::OpenFiles(const QString &fileName, int /*options*/, const QString &title, const QString &filter)
{
    const QStringList paths = QFileDialog::getOpenFileNames(m_parent, title, fileName, QtFilter(filter));
    const QString result = FileDialogResult(paths);
    if (result.size() > kFileDialogCapacity)
        throw RuntimeError(u"The selection does not fit into the dialog's result"_s, ErrorNumber::BufferTooSmall);
    return result;
}

QString QtFileDialogs::PickFolder(const QString &prompt, const QString &start)
{
    return QFileDialog::getExistingDirectory(m_parent, prompt, start);
}

bool QtShell::Open(const QString &folderOrAddress)
{
    const QString target = folderOrAddress;
    const QUrl url = target.startsWith(u'/') ? QUrl::fromLocalFile(target) : QUrl(target);
    return QDesktopServices::openUrl(url);
}

QString QtShell::DesktopFolder()
{
    return DesktopOrHomeFolder();
}
