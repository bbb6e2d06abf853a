#include "common/apptitle.h"

namespace {

QString CutBeforeLastBlank(const QString &text)
{
    const qsizetype blank = text.lastIndexOf(u' ');
    return blank < 0 ? text : text.left(blank);
}

} // namespace

QString ApplicationTitle(const QString &productName)
{
    QString title = CutBeforeLastBlank(productName);
    while (title.size() > 40) {
        const QString shorter = CutBeforeLastBlank(title);
        if (shorter == title)
            break; // no blank left to cut at
        title = shorter;
    }
    return title;
}
