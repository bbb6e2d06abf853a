#pragma once

#include <QByteArray>
#include <QString>

// The program's own resources, by type and id.
class IResources
{
public:
    virtual ~IResources() = default;
    /// The bytes of resource type/id; throws RuntimeError when there is none.
    virtual QByteArray Load(const QString &type, int id) = 0;
};
