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

// Resources compiled into the program with Qt's resource system, at ":/type/id".
class QtResources final : public IResources
{
public:
    QByteArray Load(const QString &type, int id) override;
};
