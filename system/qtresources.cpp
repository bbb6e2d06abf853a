#include "common/runtimeerror.h"
#include "system/qtresources.h"
#include "api/resources.h"

#include <QFile>

using namespace Qt::StringLiterals;

QByteArray QtResources::Load(const QString &type, int id)
{
    QFile file(u":/"_s + type + u'/' + QString::number(id));
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(u"Resource with identifier '"_s + QString::number(id) + u"' not found"_s,
                           ErrorNumber::ResourceNotFound);
    return file.readAll();
}
